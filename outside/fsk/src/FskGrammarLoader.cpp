#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

#include "FskBindingProgram.h"
#include "FskMachineImpl.h"
#include "fsk/FskTrace.h"
#include "fsk/Grammar.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr const char* kGrammarNames[] = {"CatalogGrammar", "CatalogGrammarExt"};

struct OpenedGrammar {
  const GrammarRecord* record = nullptr;
  std::vector<std::string> symbols;
};

std::string Hex(FskErr code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(code));
  return text;
}

FskErr Report(FskErr code, const std::string& grammar, const std::string& why) {
  FskTraceText("# grammar " + grammar + ": " + why + " (" + Hex(code) + ")\n");
  return code;
}

bool IsKnownGrammar(const std::string& name) {
  for (const char* known : kGrammarNames) {
    if (name == known) {
      return true;
    }
  }
  return false;
}

FskErr OpenGrammar(const std::string& name, OpenedGrammar* out) {
  if (!IsKnownGrammar(name)) {
    return Report(kFskErrGrammarInvalid, name, "not a grammar of this system");
  }
  std::string folder = FskGrammarFolder();
  if (folder.empty()) {
    return Report(kFskErrGrammarMissing, name, "no grammar folder");
  }
  std::string path = folder + (folder.back() == '/' ? "" : "/") + "lib" + name + ".so";
  struct stat status {};
  if (XpSysCalls::Current().Stat(path.c_str(), &status) != 0) {
    return Report(kFskErrGrammarMissing, name, "no library " + path);
  }
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) {
    const char* why = dlerror();
    return Report(kFskErrGrammarInvalid, name, why != nullptr ? why : "cannot load " + path);
  }
  void* symbol = dlsym(library, kGrammarRecordSymbol);
  if (symbol == nullptr) {
    return Report(kFskErrGrammarInvalid, name, path + " has no fskGrammar");
  }
  const GrammarRecord* record = *static_cast<const GrammarRecord* const*>(symbol);
  if (record == nullptr) {
    return Report(kFskErrGrammarInvalid, name, "fskGrammar is null");
  }
  if (record->name == nullptr || name != record->name) {
    return Report(kFskErrGrammarInvalid, name, "the record names another grammar");
  }
  if (record->builder == nullptr || (record->codeSize > 0 && record->code == nullptr)) {
    return Report(kFskErrGrammarInvalid, name, "the record lacks its builder or program");
  }
  if (FskParseSymbolTable(record->symbols, record->symbolsSize, &out->symbols) != 0) {
    return Report(kFskErrGrammarInvalid, name, "malformed symbol table");
  }
  out->record = record;
  return 0;
}

// Ends the host bracket however the build ends.
class BuildBracket {
 public:
  explicit BuildBracket(FskMachine* the) : the_(fxBeginHost(the)) {}
  BuildBracket(const BuildBracket&) = delete;
  BuildBracket& operator=(const BuildBracket&) = delete;
  ~BuildBracket() { fxEndHost(the_); }

 private:
  FskMachine* the_;
};

FskErr Build(FskMachine* the, const OpenedGrammar& grammar) {
  const GrammarRecord* record = grammar.record;
  try {
    BuildBracket bracket(the);
    record->builder(the);
    std::unordered_set<std::string> names(grammar.symbols.begin(), grammar.symbols.end());
    std::string_view program(record->code != nullptr ? record->code : "", record->codeSize);
    fskimpl::RunBindingProgram(the, program, names);
  } catch (const FskException& error) {
    return Report(kFskErrGrammarInvalid, record->name, error.what());
  } catch (const std::bad_alloc&) {
    return Report(kFskErrGrammarMemory, record->name, "out of memory");
  }
  return 0;
}

void AddSymbols(FskMachine* the, const std::vector<std::string>& symbols) {
  for (const std::string& symbol : symbols) {
    fxID(the, symbol.c_str());
  }
}

FskErr NewGrammarMachine(const char* machineName, const std::vector<std::string>& grammars, FskMachine** out) {
  std::vector<OpenedGrammar> opened(grammars.size());
  for (size_t i = 0; i < grammars.size(); ++i) {
    FskErr error = OpenGrammar(grammars[i], &opened[i]);
    if (error != 0) {
      return error;
    }
  }
  FskMachine* the = fskimpl::CreateMachine(machineName, [&opened](FskMachine* machine) {
    for (const OpenedGrammar& grammar : opened) {
      AddSymbols(machine, grammar.symbols);
    }
  });
  for (const OpenedGrammar& grammar : opened) {
    FskErr error = Build(the, grammar);
    if (error != 0) {
      fxDeleteMachine(the);
      return error;
    }
  }
  *out = the;
  return 0;
}

}  // namespace

std::string FskGrammarFolder() {
  const char* folder = std::getenv("KAVO_GRAMMAR_DIR");
  if (folder != nullptr && folder[0] != '\0') {
    return folder;
  }
  return XpGetSpecialFolder(kXpFolderProgramFolder, false).ToMultiByte().ToStdString();
}

FskErr FskParseSymbolTable(const char* symbols, uint32_t size, std::vector<std::string>* names) {
  names->clear();
  if (symbols == nullptr || size < 2) {
    return kFskErrGrammarInvalid;
  }
  size_t count = (static_cast<size_t>(static_cast<unsigned char>(symbols[0])) << 8) |
                 static_cast<unsigned char>(symbols[1]);
  size_t at = 2;
  for (size_t i = 0; i < count; ++i) {
    const void* end = at < size ? std::memchr(symbols + at, '\0', size - at) : nullptr;
    if (end == nullptr) {
      names->clear();
      return kFskErrGrammarInvalid;
    }
    size_t length = static_cast<size_t>(static_cast<const char*>(end) - (symbols + at));
    names->emplace_back(symbols + at, length);
    at += length + 1;
  }
  if (at != size) {
    names->clear();
    return kFskErrGrammarInvalid;
  }
  return 0;
}

void fxBuildGrammarNatives(FskMachine* the, const NativeRow* rows, size_t count) {
  fxNewObject(the);
  FskSlot table;
  fxPop(the, &table);
  fxPushSlot(the, &table);
  fxPushSlot(the, fxGlobal(the));
  fxPutID(the, fxID(the, "@"), kGrammarNativeFlag, kGrammarNativeAttributes);
  for (size_t n = 0; n < count; ++n) {
    const NativeRow& row = rows[n];
    switch (row.kind) {
      case kNativeFunction:
        fxNewHostFunction(the, row.address.function, row.argc);
        break;
      case kNativeConstructor:
        fxNewHostConstructor(the, row.address.function, row.argc);
        break;
      case kNativeHostObject:
        fxNewHostObject(the, row.address.destructor);
        break;
      default:
        continue;
    }
    fxPushSlot(the, &table);
    fxPutID(the, static_cast<FskID>(n), kGrammarNativeFlag, kGrammarNativeAttributes);
  }
}

FskErr FskLoadGrammar(FskMachine* the, const char* name) {
  OpenedGrammar grammar;
  try {
    FskErr error = OpenGrammar(name != nullptr ? name : "", &grammar);
    if (error != 0) {
      return error;
    }
    AddSymbols(the, grammar.symbols);
  } catch (const std::bad_alloc&) {
    return Report(kFskErrGrammarMemory, name != nullptr ? name : "", "out of memory");
  }
  return Build(the, grammar);
}

FskErr FskNewGrammarMachine(const char* machineName, const std::vector<std::string>& grammars,
                            FskMachine** out) {
  *out = nullptr;
  try {
    return NewGrammarMachine(machineName, grammars, out);
  } catch (const std::bad_alloc&) {
    return Report(kFskErrGrammarMemory, machineName != nullptr ? machineName : "", "out of memory");
  }
}
