#include "outside/fsk/dbmanager/XdbResultSet.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "outside/fsk/dbmanager/XdbHostCall.h"
#include "platform/result/XpResultTranslation.h"

namespace {

using fsk::Value;

constexpr char kResultPath[] = "xdb.result";

using Failure = XdbHostCall::Failure;

// The callbacks of a result object; they work on their receiver.
void SetCallbacks(FskMachine* the, const Value& object) {
  fsk::Set(the, object, "build",
           fsk::NewFunction(
               the,
               [](FskMachine* machine, const Value& self, const std::vector<Value>&) {
                 Value count = fsk::Call(machine, self, "count");
                 Value content = fsk::New(machine, fsk::GetPath(machine, kResultPath), "_Content", count);
                 fsk::Call(machine, self, "buildAux", content);
                 fsk::Set(machine, self, "contents", content);
                 return Value();
               },
               1));
  fsk::Set(the, object, "invalidate",
           fsk::NewFunction(
               the,
               [](FskMachine* machine, const Value& self, const std::vector<Value>&) {
                 fsk::Set(machine, self, "contents", Value());
                 return Value();
               },
               0));
  fsk::Set(the, object, "adjust",
           fsk::NewFunction(
               the,
               [](FskMachine* machine, const Value& self, const std::vector<Value>& arguments) {
                 Value n = arguments.empty() ? Value::Integer(0) : arguments[0];
                 return fsk::Call(machine, fsk::Get(machine, self, "data"), "adjust", n);
               },
               1));
}

// Makes object a result over data answering to database.
void MakeResult(FskMachine* the, const Value& object, const Value& data, const Value& database) {
  fsk::Set(the, object, "data", data);
  fsk::Set(the, object, "database", database);
  fsk::Set(the, object, "db", database);
  SetCallbacks(the, object);
}

// xdb.Result(database): a result over an empty bitmap in memory.
void DefineResultConstructor(FskMachine* the) {
  Value xdb = fsk::GetPath(the, "xdb");
  if (!fsk::Get(the, xdb, "Result").IsUndefined()) {
    return;
  }
  Value prototype = fsk::GetPath(the, kResultPath);
  Value constructor = fsk::NewConstructor(
      the,
      [](FskMachine* machine, const Value& self, const std::vector<Value>& arguments) {
        Value database = arguments.empty() ? Value() : arguments[0];
        Value data = fsk::New(machine, fsk::GetPath(machine, kResultPath), "_Result", 0);
        MakeResult(machine, self, data, database);
        return Value();
      },
      1, prototype);
  fsk::Set(the, xdb, "Result", constructor);
}

}  // namespace

XdbResultSet::XdbResultSet(FskMachine* the, fsk::Value database) : the_(the), database_(std::move(database)) {}

XpResult XdbResultSet::Run(const std::function<void()>& work) const {
  return XdbHostCall::Run(the_, work, kXpErrBadArgument);
}

void XdbResultSet::MakeObject(const Value& data) {
  DefineResultConstructor(the_);
  Value object = fsk::NewInstanceOf(the_, fsk::GetPath(the_, kResultPath));
  MakeResult(the_, object, data, database_);
  object_ = object;
}

XpResult XdbResultSet::Create(int32_t maxID) {
  return Run([&]() {
    if (maxID < 0) {
      throw Failure{kXpErrBadArgument};
    }
    Value data = fsk::New(the_, fsk::GetPath(the_, kResultPath), "_Result", maxID);
    if (fxGetHostData(the_, &data.Slot()) == nullptr) {
      throw Failure{kXpErrOutOfMemory};
    }
    MakeObject(data);
    maxID_ = maxID;
  });
}

XpResult XdbResultSet::Open(int32_t maxID, const std::string& path) {
  return Run([&]() {
    if (maxID < 0) {
      throw Failure{kXpErrBadArgument};
    }
    errno = 0;
    Value data = fsk::New(the_, fsk::GetPath(the_, kResultPath), "_Bitmap", maxID, path);
    if (fxGetHostData(the_, &data.Slot()) == nullptr) {
      int error = errno;
      throw Failure{error != 0 ? XpResultFromErrno(error) : kXpErrGeneric};
    }
    MakeObject(data);
    maxID_ = maxID;
  });
}

XpResult XdbResultSet::Close() {
  return Run([&]() {
    if (object_.IsUndefined()) {
      throw Failure{kXpErrNotOpen};
    }
    Value data = fsk::Get(the_, object_, "data");
    object_ = Value();
    fsk::Call(the_, data, "close");
  });
}

void XdbResultSet::RequireObject() const {
  if (object_.IsUndefined()) {
    throw Failure{kXpErrNotOpen};
  }
}

XpResult XdbResultSet::Add(int32_t id) {
  return Run([&]() {
    RequireObject();
    fsk::Call(the_, object_, "addID", id);
    maxID_ = std::max(maxID_, id);
  });
}

XpResult XdbResultSet::Remove(int32_t id) {
  return Run([&]() {
    RequireObject();
    fsk::Call(the_, object_, "removeID", id);
  });
}

XpResult XdbResultSet::Test(int32_t id, bool* present) {
  return Run([&]() {
    RequireObject();
    *present = fsk::ToBoolean(the_, fsk::Call(the_, object_, "testID", id));
  });
}

XpResult XdbResultSet::Count(int64_t* count) {
  return Run([&]() {
    RequireObject();
    *count = fsk::ToInteger(the_, fsk::Call(the_, object_, "count"));
  });
}

XpResult XdbResultSet::Combine(int32_t maxID, const char* method, const std::vector<Value>& operands) {
  XpResult made = Create(maxID);
  if (made != kXpOk) {
    return made;
  }
  return Run([&]() { fsk::CallMethod(the_, object_, method, operands); });
}

std::vector<Value> XdbResultSet::DataOf(const std::vector<const XdbResultSet*>& sets) {
  std::vector<Value> operands;
  for (const XdbResultSet* set : sets) {
    operands.push_back(set->object_.IsUndefined() ? Value() : fsk::Get(set->the_, set->object_, "data"));
  }
  return operands;
}

XpResult XdbResultSet::And(const XdbResultSet& a, const XdbResultSet& b, XdbResultSet* out) {
  return out->Combine(std::max(a.maxID_, b.maxID_), "_and", DataOf({&a, &b}));
}

XpResult XdbResultSet::Or(const XdbResultSet& a, const XdbResultSet& b, XdbResultSet* out) {
  return out->Combine(std::max(a.maxID_, b.maxID_), "_or", DataOf({&a, &b}));
}

XpResult XdbResultSet::Not(const XdbResultSet& a, XdbResultSet* out) {
  return out->Combine(a.maxID_, "_not", DataOf({&a}));
}

XpResult XdbResultSet::IdAt(int32_t position, int32_t* id) {
  return Run([&]() {
    RequireObject();
    if (fsk::Get(the_, object_, "contents").IsUndefined()) {
      fsk::Call(the_, object_, "build", 0);
    }
    Value contents = fsk::Get(the_, object_, "contents");
    *id = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Call(the_, contents, "getAt", position)));
  });
}

XpResult XdbResultSet::Ids(std::vector<int32_t>* ids) {
  ids->clear();
  return Run([&]() {
    RequireObject();
    if (fsk::Get(the_, object_, "contents").IsUndefined()) {
      fsk::Call(the_, object_, "build", 0);
    }
    Value contents = fsk::Get(the_, object_, "contents");
    int64_t length = fsk::ToInteger(the_, fsk::Get(the_, contents, "length"));
    for (int64_t position = 0; position < length; ++position) {
      ids->push_back(static_cast<int32_t>(fsk::ToInteger(the_, fsk::Call(the_, contents, "getAt", position))));
    }
  });
}

XpResult XdbResultSet::Sort(const std::vector<std::string>& keys) {
  return Run([&]() {
    RequireObject();
    std::vector<Value> arguments;
    for (const std::string& key : keys) {
      arguments.push_back(Value::String(key));
    }
    fsk::CallMethod(the_, object_, "sort", arguments);
  });
}

XpResult XdbResultSet::Unique(const std::string& key, XdbResultSet* out) {
  return Run([&]() {
    RequireObject();
    Value unique = fsk::Call(the_, object_, "unique", key);
    // Its bitmap covers up to its highest ID, the last of its contents.
    fsk::Call(the_, unique, "build", 0);
    Value contents = fsk::Get(the_, unique, "contents");
    int64_t count = fsk::ToInteger(the_, fsk::Get(the_, contents, "length"));
    int64_t highest = fsk::ToInteger(the_, fsk::Call(the_, contents, "getAt", count - 1));
    out->database_ = database_;
    out->object_ = unique;
    out->maxID_ = static_cast<int32_t>(std::max<int64_t>(highest, 0));
  });
}

XpResult XdbResultSet::Records(std::vector<fsk::Value>* records) {
  return Run([&]() {
    RequireObject();
    Value array = fsk::Call(the_, object_, "getRecords");
    int64_t length = fsk::ToInteger(the_, fsk::Get(the_, array, "length"));
    records->clear();
    for (int64_t index = 0; index < length; ++index) {
      records->push_back(fsk::GetAt(the_, array, static_cast<int32_t>(index)));
    }
  });
}
