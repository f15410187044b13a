#include "outside/fsk/testsupport/FskScriptedDbManager.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>

#include "fsk/FskScript.h"

namespace fsktest {

namespace {

using fsk::Value;
using Words = std::array<int64_t, 4>;

constexpr int64_t kIntegerIndex = 64;
constexpr double kIntegralLimit = 1e15;

const char* const kMasterMethods[] = {
    "open",          "close",         "createIndex",      "deleteIndex",
    "deleteDatabase", "flush",        "addPhoto",         "addPhotoToGroup",
    "deletePhoto",   "createAlbum",   "deleteAlbum",      "updatePhoto",
    "updateAlbumInfo", "compact",     "getRecord",        "getRecordA",
    "search",        "rangeSearch",   "searchGroup",      "searchAlbumInfo",
    "searchPhoto",   "searchPhotoByYearAndMonth", "removePhotoFromGroup", "getLimit",
};
const char* const kSetMethods[] = {"getID", "getRecord", "count", "sort", "or", "and", "unique"};
const char* const kContentFields[] = {"date", "folderID", "fileID", "albumID", "misc", "guid"};
const char* const kAlbumFields[] = {"albumDate", "title", "preference"};

uint64_t SerialOf(FskMachine* the, const Value& value) {
  uint32_t record[4];
  fxGetValueRecord(the, &value.Slot(), record);
  return static_cast<uint64_t>(record[0]) | (static_cast<uint64_t>(record[1]) << 32);
}

}  // namespace

struct ScriptedDbManager::State {
  FskMachine* machine = nullptr;
  std::map<std::string, std::deque<ScriptedAnswer>> answers;
  std::vector<ScriptedCall> calls;
  std::map<uint64_t, std::string> names;
  std::map<std::string, int> made;
  std::map<Words, Value> cache;
  Value contentMaster;
  Value masterPrototype;
  Value setPrototype;
  Value cachePrototype;

  std::string Name(const Value& value) {
    if (!value.IsObject()) {
      return "";
    }
    auto found = names.find(SerialOf(machine, value));
    return found != names.end() ? found->second : "object";
  }

  void Baptise(const Value& value, const std::string& kind) {
    names[SerialOf(machine, value)] = kind + "#" + std::to_string(++made[kind]);
  }

  ScriptedValue Describe(const Value& value) {
    FskSlot slot = value.Slot();
    switch (value.Type()) {
      case kFskNullType:
        return ScriptedValue::Null();
      case kFskBooleanType:
        return ScriptedValue::Boolean(fxToBoolean(machine, &slot));
      case kFskIntegerType:
        return ScriptedValue::Integer(fxToInteger(machine, &slot));
      case kFskNumberType:
        return ScriptedValue::Number(fxToNumber(machine, &slot));
      case kFskStringType:
        return ScriptedValue::String(fsk::ToString(machine, value));
      case kFskObjectType: {
        ScriptedValue object;
        object.type = kFskObjectType;
        object.text = Name(value);
        return object;
      }
      default:
        return ScriptedValue::Undefined();
    }
  }

  void Log(const std::string& receiver, const std::string& method, const std::vector<Value>& arguments) {
    ScriptedCall call;
    call.receiver = receiver;
    call.method = method;
    for (const Value& argument : arguments) {
      call.arguments.push_back(Describe(argument));
    }
    calls.push_back(std::move(call));
  }

  std::optional<ScriptedAnswer> Next(const std::string& key) {
    auto found = answers.find(key);
    if (found == answers.end() || found->second.empty()) {
      return std::nullopt;
    }
    ScriptedAnswer answer = std::move(found->second.front());
    found->second.pop_front();
    return answer;
  }

  Value ToScript(FskMachine* the, const ScriptedValue& value) {
    switch (value.type) {
      case kFskNullType:
        return Value::Null();
      case kFskBooleanType:
        return Value::Boolean(value.boolean);
      case kFskIntegerType:
        return Value::Integer(value.integer);
      case kFskNumberType:
        return Value::Number(value.number);
      case kFskStringType:
        return Value::String(value.text);
      default:
        (void)the;
        return Value();
    }
  }

  Value Apply(FskMachine* the, const ScriptedAnswer& answer) {
    switch (answer.kind) {
      case ScriptedAnswer::Kind::kThrow:
        fsk::Throw(the, kFskError, answer.message);
      case ScriptedAnswer::Kind::kSet: {
        Value set = fsk::NewInstanceOf(the, setPrototype);
        Baptise(set, "set");
        return set;
      }
      case ScriptedAnswer::Kind::kObject: {
        Value object = answer.contentRecord ? fsk::NewInstanceOf(the, contentMaster) : fsk::NewObject(the);
        Baptise(object, answer.contentRecord ? "record" : "object");
        for (const auto& [name, value] : answer.properties) {
          fsk::Set(the, object, name, ToScript(the, value));
        }
        return object;
      }
      default:
        return ToScript(the, answer.value);
    }
  }
};

namespace {

using StatePointer = std::shared_ptr<ScriptedDbManager::State>;
using Fallback = std::function<Value(FskMachine*, const Value&, const std::vector<Value>&)>;

Words WordsOf(FskMachine* the, const std::vector<Value>& arguments) {
  Words words{};
  for (size_t i = 0; i < words.size() && i < arguments.size(); ++i) {
    words[i] = fsk::ToInteger(the, arguments[i]);
  }
  return words;
}

fsk::Closure Method(const StatePointer& state, const std::string& kind, const std::string& method,
                    Fallback fallback = nullptr) {
  return [state, kind, method, fallback](FskMachine* the, const Value& receiver,
                                         const std::vector<Value>& arguments) {
    state->Log(state->Name(receiver), method, arguments);
    if (std::optional<ScriptedAnswer> answer = state->Next(kind + "." + method)) {
      return state->Apply(the, *answer);
    }
    return fallback ? fallback(the, receiver, arguments) : Value();
  };
}

void DefineMethods(FskMachine* the, const StatePointer& state, const Value& prototype, const std::string& kind,
                   const std::vector<std::string>& methods) {
  for (const std::string& method : methods) {
    fsk::Set(the, prototype, method, fsk::NewFunction(the, Method(state, kind, method), 0));
  }
}

void DefineCache(FskMachine* the, const StatePointer& state) {
  Value cache = fsk::NewObject(the);
  state->cachePrototype = cache;
  fsk::Set(the, cache, "push",
           fsk::NewFunction(the, Method(state, "resultCache3", "push", [state](FskMachine* machine, const Value&,
                                                                              const std::vector<Value>& arguments) {
                              if (arguments.size() >= 5) {
                                state->cache[WordsOf(machine, arguments)] = arguments[4];
                              }
                              return Value();
                            }), 5));
  fsk::Set(the, cache, "get",
           fsk::NewFunction(the, Method(state, "resultCache3", "get", [state](FskMachine* machine, const Value&,
                                                                             const std::vector<Value>& arguments) {
                              auto found = state->cache.find(WordsOf(machine, arguments));
                              return found != state->cache.end() ? found->second : Value();
                            }), 4));
  fsk::Set(the, cache, "free",
           fsk::NewFunction(the, Method(state, "resultCache3", "free", [state](FskMachine* machine, const Value&,
                                                                              const std::vector<Value>& arguments) {
                              state->cache.erase(WordsOf(machine, arguments));
                              return Value();
                            }), 4));
  fsk::Set(the, cache, "freeAll",
           fsk::NewFunction(the, Method(state, "resultCache3", "freeAll", [state](FskMachine*, const Value&,
                                                                                 const std::vector<Value>&) {
                              state->cache.clear();
                              return Value();
                            }), 0));
}

// A record constructor: logs, answers, and keeps its arguments as the
// record's fields.
fsk::Closure RecordConstructor(const StatePointer& state, const std::string& name,
                               std::vector<std::string> fields) {
  return [state, name, fields](FskMachine* the, const Value& instance, const std::vector<Value>& arguments) {
    state->Log("dbManager", "new " + name, arguments);
    if (std::optional<ScriptedAnswer> answer = state->Next("dbManager." + name)) {
      return state->Apply(the, *answer);
    }
    state->Baptise(instance, name);
    for (size_t i = 0; i < fields.size() && i < arguments.size(); ++i) {
      fsk::Set(the, instance, fields[i], arguments[i]);
    }
    return Value();
  };
}

fsk::Closure MasterConstructor(const StatePointer& state) {
  return [state](FskMachine* the, const Value& instance, const std::vector<Value>& arguments) {
    state->Log("dbManager", "new Master", arguments);
    if (std::optional<ScriptedAnswer> answer = state->Next("dbManager.Master")) {
      return state->Apply(the, *answer);
    }
    state->Baptise(instance, "master");
    Value cache = fsk::NewInstanceOf(the, state->cachePrototype);
    state->names[SerialOf(the, cache)] = "resultCache3";
    fsk::Set(the, instance, "resultCache3", cache);
    return Value();
  };
}

// Forgets the machine when its teardown finalises the sentinel.
void ForgetMachine(void* data) {
  auto* weak = static_cast<std::weak_ptr<ScriptedDbManager::State>*>(data);
  if (StatePointer state = weak->lock()) {
    state->machine = nullptr;
  }
  delete weak;
}

void Build(FskMachine* the, const StatePointer& state) {
  fsk::HostBracket bracket(the);
  Value global = fsk::Global(the);
  fxNewHostObject(the, ForgetMachine);
  fxSetHostData(the, fxTop(the), new std::weak_ptr<ScriptedDbManager::State>(state));
  Value sentinel;
  fxPop(the, &sentinel.Slot());
  fsk::Set(the, global, "scriptedSentinel", sentinel);

  Value dbManager = fsk::NewObject(the);
  fsk::Set(the, global, "dbManager", dbManager);

  state->contentMaster = fsk::NewObject(the);
  fsk::Set(the, dbManager, "contentMaster", state->contentMaster);
  Value albumPrototype = fsk::NewObject(the);

  state->masterPrototype = fsk::NewObject(the);
  DefineMethods(the, state, state->masterPrototype, "Master",
                std::vector<std::string>(std::begin(kMasterMethods), std::end(kMasterMethods)));
  state->setPrototype = fsk::NewObject(the);
  DefineMethods(the, state, state->setPrototype, "set",
                std::vector<std::string>(std::begin(kSetMethods), std::end(kSetMethods)));
  DefineCache(the, state);

  fsk::Set(the, dbManager, "Master", fsk::NewConstructor(the, MasterConstructor(state), 0, state->masterPrototype));
  fsk::Set(the, dbManager, "ContentMaster",
           fsk::NewConstructor(the,
                               RecordConstructor(state, "ContentMaster",
                                                 std::vector<std::string>(std::begin(kContentFields),
                                                                          std::end(kContentFields))),
                               6, state->contentMaster));
  fsk::Set(the, dbManager, "ContentAlbumInfo",
           fsk::NewConstructor(the,
                               RecordConstructor(state, "ContentAlbumInfo",
                                                 std::vector<std::string>(std::begin(kAlbumFields),
                                                                          std::end(kAlbumFields))),
                               3, albumPrototype));

  Value xdb = fsk::NewObject(the);
  fsk::Set(the, xdb, "integerIndex", Value::Integer(kIntegerIndex));
  fsk::Set(the, global, "xdb", xdb);
}

std::string NumberText(double number) {
  char text[64];
  if (std::isfinite(number) && std::trunc(number) == number && std::fabs(number) < kIntegralLimit) {
    std::snprintf(text, sizeof text, "%.1f", number);
  } else {
    std::snprintf(text, sizeof text, "%.17g", number);
  }
  return text;
}

}  // namespace

ScriptedValue ScriptedValue::Null() {
  ScriptedValue value;
  value.type = kFskNullType;
  return value;
}

ScriptedValue ScriptedValue::Boolean(bool boolean) {
  ScriptedValue value;
  value.type = kFskBooleanType;
  value.boolean = boolean;
  return value;
}

ScriptedValue ScriptedValue::Integer(int64_t integer) {
  ScriptedValue value;
  value.type = kFskIntegerType;
  value.integer = integer;
  return value;
}

ScriptedValue ScriptedValue::Number(double number) {
  ScriptedValue value;
  value.type = kFskNumberType;
  value.number = number;
  return value;
}

ScriptedValue ScriptedValue::String(std::string text) {
  ScriptedValue value;
  value.type = kFskStringType;
  value.text = std::move(text);
  return value;
}

std::string ScriptedValue::Text() const {
  switch (type) {
    case kFskNullType:
      return "null";
    case kFskBooleanType:
      return boolean ? "true" : "false";
    case kFskIntegerType:
      return std::to_string(integer);
    case kFskNumberType:
      return NumberText(number);
    case kFskStringType:
      return "\"" + text + "\"";
    case kFskObjectType:
      return "[" + text + "]";
    default:
      return "undefined";
  }
}

ScriptedAnswer ScriptedAnswer::Return(ScriptedValue value) {
  ScriptedAnswer answer;
  answer.value = std::move(value);
  return answer;
}

ScriptedAnswer ScriptedAnswer::ReturnObject(std::vector<std::pair<std::string, ScriptedValue>> properties,
                                            bool contentRecord) {
  ScriptedAnswer answer;
  answer.kind = Kind::kObject;
  answer.properties = std::move(properties);
  answer.contentRecord = contentRecord;
  return answer;
}

ScriptedAnswer ScriptedAnswer::ReturnSet() {
  ScriptedAnswer answer;
  answer.kind = Kind::kSet;
  return answer;
}

ScriptedAnswer ScriptedAnswer::Throw(std::string message) {
  ScriptedAnswer answer;
  answer.kind = Kind::kThrow;
  answer.message = std::move(message);
  return answer;
}

std::string ScriptedCall::Text() const {
  std::string text = method + "(";
  for (size_t i = 0; i < arguments.size(); ++i) {
    text += (i > 0 ? ", " : "") + arguments[i].Text();
  }
  return text + ")";
}

ScriptedDbManager::ScriptedDbManager() : state_(std::make_shared<State>()) {
  std::weak_ptr<State> weak = state_;
  previous_ = FskRegisterMachineFactory("dbManager", [weak](const char* name, FskMachine** out) {
    StatePointer state = weak.lock();
    *out = nullptr;
    if (!state) {
      return static_cast<FskErr>(0x8000);
    }
    FskMachine* machine = fxNewMachine(name);
    state->machine = machine;
    try {
      Build(machine, state);
    } catch (const FskException&) {
      state->machine = nullptr;
      fxDeleteMachine(machine);
      return static_cast<FskErr>(0x8000);
    }
    *out = machine;
    return static_cast<FskErr>(0);
  });
}

ScriptedDbManager::~ScriptedDbManager() {
  if (FskMainStartCount() > 0) {
    FskMainReset();
  }
  FskRegisterMachineFactory("dbManager", std::move(previous_));
}

void ScriptedDbManager::Answer(const std::string& key, ScriptedAnswer answer) {
  state_->answers[key].push_back(std::move(answer));
}

const std::vector<ScriptedCall>& ScriptedDbManager::Calls() const { return state_->calls; }

std::vector<std::string> ScriptedDbManager::CallTexts() const {
  std::vector<std::string> texts;
  for (const ScriptedCall& call : state_->calls) {
    texts.push_back(call.Text());
  }
  return texts;
}

FskMachine* ScriptedDbManager::Machine() const { return state_->machine; }

int32_t ScriptedDbManager::RememberedCount() const {
  return state_->machine != nullptr ? fxRememberedCount(state_->machine) : 0;
}

}  // namespace fsktest
