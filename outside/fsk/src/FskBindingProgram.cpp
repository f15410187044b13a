#include "FskBindingProgram.h"

#include <charconv>
#include <string>
#include <vector>

#include "FskMachineImpl.h"
#include "FskValues.h"

namespace fskimpl {

namespace {

constexpr int64_t kEntryLimit = 65535;

class BindingProgram {
 public:
  BindingProgram(FskMachine* the, const std::unordered_set<std::string>& names)
      : the_(the), names_(names) {}

  void Run(std::string_view program) {
    size_t start = 0;
    while (start <= program.size()) {
      size_t end = program.find('\n', start);
      if (end == std::string_view::npos) {
        end = program.size();
      }
      ++line_;
      std::string_view statement = program.substr(start, end - start);
      if (!statement.empty() && statement.back() == '\r') {
        statement.remove_suffix(1);
      }
      if (!statement.empty() && statement.front() != '#') {
        RunStatement(statement);
      }
      start = end + 1;
    }
  }

 private:
  void RunStatement(std::string_view statement) {
    size_t space = statement.find(' ');
    std::string_view keyword = statement.substr(0, space);
    std::string_view rest = space == std::string_view::npos ? std::string_view() : statement.substr(space + 1);
    if (keyword == "constant") {
      size_t split = rest.find(' ');
      if (split == std::string_view::npos) {
        Fail("constant needs a path and a value");
      }
      Define(rest.substr(0, split), Constant(rest.substr(split + 1)));
      return;
    }
    std::vector<std::string_view> words = Split(rest);
    if (keyword == "object" && (words.size() == 1 || words.size() == 2)) {
      FskObject* prototype = words.size() == 2 ? ResolveObject(words[1]) : ObjectOf(the_->prototypes.object);
      FskSlot object;
      FskSlotAccess::SetObject(object, NewObject(the_, prototype));
      Define(words[0], object);
    } else if (keyword == "bind" && words.size() == 2) {
      Define(words[0], Entry(words[1]));
    } else if (keyword == "prototype" && words.size() == 2) {
      FskSlot constructor = Resolve(words[0]);
      if (!fxIsConstructor(the_, &constructor)) {
        Fail(std::string(words[0]) + " is not a constructor");
      }
      FskSlot prototype;
      FskSlotAccess::SetObject(prototype, ResolveObject(words[1]));
      SetOwn(the_, ObjectOf(constructor), the_->ids.prototype, prototype);
    } else {
      Fail("malformed statement");
    }
  }

  static std::vector<std::string_view> Split(std::string_view text) {
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find(' ', start);
      if (end == std::string_view::npos) {
        end = text.size();
      }
      words.push_back(text.substr(start, end - start));
      start = end + 1;
    }
    return words;
  }

  FskID Symbol(std::string_view name) {
    std::string text(name);
    if (text.empty() || names_.count(text) == 0) {
      Fail("\"" + text + "\" is not in the symbol table");
    }
    return fxID(the_, text.c_str());
  }

  FskSlot Resolve(std::string_view path) {
    FskSlot value = the_->global;
    size_t start = 0;
    while (true) {
      size_t dot = path.find('.', start);
      std::string_view name = path.substr(start, dot == std::string_view::npos ? dot : dot - start);
      FskObject* holder = ObjectOf(value);
      if (holder == nullptr) {
        Fail(std::string(path) + " does not lead through objects");
      }
      FskSlot next;
      if (!GetOwnOrInherited(holder, Symbol(name), &next)) {
        Fail(std::string(path) + " is not defined");
      }
      value = next;
      if (dot == std::string_view::npos) {
        return value;
      }
      start = dot + 1;
    }
  }

  FskObject* ResolveObject(std::string_view path) {
    FskObject* object = ObjectOf(Resolve(path));
    if (object == nullptr) {
      Fail(std::string(path) + " is not an object");
    }
    return object;
  }

  void Define(std::string_view path, const FskSlot& value) {
    size_t dot = path.rfind('.');
    FskObject* holder = dot == std::string_view::npos ? ObjectOf(the_->global) : ResolveObject(path.substr(0, dot));
    FskID id = Symbol(dot == std::string_view::npos ? path : path.substr(dot + 1));
    if (holder->FindOwn(id) != nullptr) {
      Fail(std::string(path) + " is defined already");
    }
    SetOwn(the_, holder, id, value);
  }

  FskSlot Entry(std::string_view number) {
    int64_t index = 0;
    auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), index);
    if (error != std::errc() || end != number.data() + number.size() || index < 0 || index > kEntryLimit) {
      Fail("bad entry number");
    }
    FskSlot table;
    FskID at = fxFindID(the_, "@");
    if (at == kFskNoID || !GetOwnOrInherited(ObjectOf(the_->global), at, &table) || ObjectOf(table) == nullptr) {
      Fail("no \"@\" object");
    }
    FskSlot entry;
    GetOwnOrInherited(ObjectOf(table), static_cast<FskID>(index), &entry);
    return entry;
  }

  FskSlot Constant(std::string_view text) {
    FskSlot value;
    if (!text.empty() && text.front() == '"') {
      FskSlotAccess::SetString(value, Unquote(text));
      return value;
    }
    bool point = text.find('.') != std::string_view::npos;
    if (point) {
      double number = 0;
      auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
      if (error != std::errc() || end != text.data() + text.size()) {
        Fail("bad number");
      }
      FskSlotAccess::SetNumber(value, number);
      return value;
    }
    int64_t integer = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), integer);
    if (error != std::errc() || end != text.data() + text.size()) {
      Fail("bad integer");
    }
    FskSlotAccess::SetInteger(value, integer);
    return value;
  }

  std::string Unquote(std::string_view text) {
    if (text.size() < 2 || text.back() != '"') {
      Fail("unterminated string");
    }
    std::string result;
    for (size_t i = 1; i + 1 < text.size(); ++i) {
      char c = text[i];
      if (c == '\\') {
        if (i + 2 >= text.size() || (text[i + 1] != '"' && text[i + 1] != '\\')) {
          Fail("bad escape");
        }
        c = text[++i];
      } else if (c == '"') {
        Fail("stray quote");
      }
      result += c;
    }
    return result;
  }

  [[noreturn]] void Fail(const std::string& why) {
    fxThrowError(the_, kFskSyntaxError, ("binding program line " + std::to_string(line_) + ": " + why).c_str());
  }

  FskMachine* the_;
  const std::unordered_set<std::string>& names_;
  int line_ = 0;
};

}  // namespace

void RunBindingProgram(FskMachine* the, std::string_view program,
                       const std::unordered_set<std::string>& names) {
  BindingProgram(the, names).Run(program);
}

}  // namespace fskimpl
