#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogdb/include/CatalogGrammarNames.h"
#include "catalogdb/tests/XdbNativeFixture.h"
#include "fsk/FskException.h"
#include "fsk/FskScript.h"

namespace xdbtest {

// The error codes of CatalogGrammarExt.
inline constexpr int64_t kIllegalDB = 1001;
inline constexpr int64_t kIdLimit = 1006;

// Blocks, cache lines and targets as C++ closures, for the natives of
// CatalogGrammarExt.
class XdbExtFixture : public XdbNativeFixture {
 protected:
  // A block object over bytes (which must outlive it): an instance of
  // prototype with pointer, length and a change() that counts its calls.
  struct TestBlock {
    fsk::Value object;
    std::shared_ptr<int> changes;
  };

  TestBlock NewBlock(Bytes& bytes, const char* prototype = CatalogGrammarNames::kExtBlock) {
    auto changes = std::make_shared<int>(0);
    fsk::Value block = fsk::NewInstanceOf(the_, Path(prototype));
    fsk::Set(the_, block, "pointer", fsk::Value::Integer(Address(bytes.data())));
    fsk::Set(the_, block, "length", fsk::Value::Integer(static_cast<int64_t>(bytes.size())));
    fsk::Set(the_, block, "change", fsk::NewFunction(the_, Counter(changes), 0));
    return TestBlock{block, changes};
  }

  // A host object whose data is memory, with the methods of prototype.
  fsk::Value NewHostObject(void* memory, const char* prototype, const std::vector<const char*>& methods) {
    fxNewHostObject(the_, [](void*) {});
    FskSlot slot;
    fxPop(the_, &slot);
    fsk::Value object(slot);
    fxSetHostData(the_, &object.Slot(), memory);
    for (const char* method : methods) {
      fsk::Set(the_, object, method, fsk::Get(the_, Path(prototype), method));
    }
    return object;
  }

  // A cache line over memory at offset of the file, with a change() that
  // counts its calls in *changes.
  fsk::Value NewLine(void* memory, int64_t offset, int64_t length, const fsk::Value& file = fsk::Value(),
                     std::shared_ptr<int> changes = std::make_shared<int>(0)) {
    fsk::Value line = NewHostObject(memory, CatalogGrammarNames::kExtCacheLine,
                                    {"pointer", "getPointer", "contains", "read", "_write"});
    fsk::Set(the_, line, "offset", fsk::Value::Integer(offset));
    fsk::Set(the_, line, "length", fsk::Value::Integer(length));
    fsk::Set(the_, line, "file", file);
    fsk::Set(the_, line, "change", fsk::NewFunction(the_, Counter(std::move(changes)), 0));
    return line;
  }

  // A target whose addID(id) appends to *ids.
  fsk::Value NewTarget(std::shared_ptr<std::vector<int64_t>> ids) {
    fsk::Value target = fsk::NewObject(the_);
    fsk::Set(the_, target, "addID",
             fsk::NewFunction(
                 the_,
                 [ids](FskMachine* the, const fsk::Value&, const std::vector<fsk::Value>& arguments) {
                   ids->push_back(fsk::ToInteger(the, arguments.at(0)));
                   return fsk::Value();
                 },
                 1));
    return target;
  }

  // Calls a native of "@" by row with a receiver.
  fsk::Value CallRow(int row, const fsk::Value& receiver, const std::vector<fsk::Value>& arguments) {
    return fsk::CallFunction(the_, fsk::GetAt(the_, Path("@"), row), receiver, arguments);
  }

  // Whether call raised ILLEGAL_DB as a new Fsk.Error.Native.
  template <typename Call>
  bool RaisedNative(Call&& call, int64_t code) {
    try {
      call();
    } catch (const FskException& error) {
      fsk::Value thrown(error.Value());
      return fsk::IsInstanceOf(the_, thrown, Path("Fsk.Error.Native.prototype")) &&
             fsk::ToInteger(the_, fsk::Get(the_, thrown, "code")) == code;
    }
    return false;
  }

 private:
  static fsk::Closure Counter(std::shared_ptr<int> count) {
    return [count](FskMachine*, const fsk::Value&, const std::vector<fsk::Value>&) {
      ++*count;
      return fsk::Value();
    };
  }
};

}  // namespace xdbtest
