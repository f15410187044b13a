#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskMemory.h"
#include "outside/fsk/tests/FskTestMachine.h"

namespace {

using fsk::Value;

class FskMachine : public FskTestMachine {
 protected:
  // The name of the error value of an exception.
  std::string ErrorName(const FskException& error) {
    return fsk::ToString(the_, fsk::Get(the_, Value(error.Value()), "name"));
  }

  Value Closure(fsk::Closure closure, int32_t length = 0) {
    return fsk::NewFunction(the_, std::move(closure), length);
  }
};

struct IntegerCase {
  const char* label;
  std::function<void(::FskMachine*, FskSlot*)> set;
  int64_t expected;
};

TEST_F(FskMachine, ToIntegerGivesInt32OfEverythingButIntegers) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double infinity = std::numeric_limits<double>::infinity();
  const IntegerCase cases[] = {
      {"2147483648.0", [](auto the, auto slot) { fxNumber(the, slot, 2147483648.0); }, -2147483648LL},
      {"-1.5", [](auto the, auto slot) { fxNumber(the, slot, -1.5); }, -1},
      {"NaN", [nan](auto the, auto slot) { fxNumber(the, slot, nan); }, 0},
      {"Infinity", [infinity](auto the, auto slot) { fxNumber(the, slot, -infinity); }, 0},
      {"4294967301.0", [](auto the, auto slot) { fxNumber(the, slot, 4294967301.0); }, 5},
      {"-4294967297.0", [](auto the, auto slot) { fxNumber(the, slot, -4294967297.0); }, -1},
      {"undefined", [](auto the, auto slot) { fxUndefined(the, slot); }, 0},
      {"null", [](auto the, auto slot) { fxNull(the, slot); }, 0},
      {"true", [](auto the, auto slot) { fxBoolean(the, slot, true); }, 1},
      {"\"42\"", [](auto the, auto slot) { fxString(the, slot, "42"); }, 42},
      {"\" -7 \"", [](auto the, auto slot) { fxString(the, slot, " -7 "); }, -7},
      {"\"0x10\"", [](auto the, auto slot) { fxString(the, slot, "0x10"); }, 16},
      {"\"1e3\"", [](auto the, auto slot) { fxString(the, slot, "1e3"); }, 1000},
      {"\"\"", [](auto the, auto slot) { fxString(the, slot, ""); }, 0},
      {"\"12abc\"", [](auto the, auto slot) { fxString(the, slot, "12abc"); }, 0},
      {"\"2147483648\"", [](auto the, auto slot) { fxString(the, slot, "2147483648"); }, -2147483648LL},
      {"integer 0x123456789", [](auto the, auto slot) { fxInteger(the, slot, 0x123456789LL); }, 0x123456789LL},
      {"integer -1", [](auto the, auto slot) { fxInteger(the, slot, -1); }, -1},
  };
  for (const IntegerCase& test : cases) {
    FskSlot slot;
    test.set(the_, &slot);
    EXPECT_EQ(fxToInteger(the_, &slot), test.expected) << test.label;
  }
}

struct TextCase {
  double number;
  const char* text;
};

TEST_F(FskMachine, NumbersBecomeTextAsInEcmaScript) {
  const TextCase cases[] = {
      {1.5, "1.5"},       {-0.0, "0"},        {100, "100"},          {1e21, "1e+21"},
      {1e20, "100000000000000000000"},       {123456789.125, "123456789.125"},
      {0.000001, "0.000001"},                {1e-7, "1e-7"},        {-2.5e-10, "-2.5e-10"},
      {0.1, "0.1"},       {1.0 / 3, "0.3333333333333333"},           {1.7976931348623157e308, "1.7976931348623157e+308"},
      {std::numeric_limits<double>::infinity(), "Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "NaN"},
  };
  for (const TextCase& test : cases) {
    FskSlot slot;
    fxNumber(the_, &slot, test.number);
    EXPECT_STREQ(fxToString(the_, &slot), test.text) << test.number;
    EXPECT_EQ(fxTypeOf(the_, &slot), kFskStringType);
  }
}

TEST_F(FskMachine, OtherValuesBecomeText) {
  FskSlot slot;
  fxInteger(the_, &slot, -5000000000LL);
  EXPECT_STREQ(fxToString(the_, &slot), "-5000000000");
  fxBoolean(the_, &slot, false);
  EXPECT_STREQ(fxToString(the_, &slot), "false");
  fxNull(the_, &slot);
  EXPECT_STREQ(fxToString(the_, &slot), "null");
  fxUndefined(the_, &slot);
  EXPECT_STREQ(fxToString(the_, &slot), "undefined");
  slot = fsk::NewObject(the_).Slot();
  EXPECT_STREQ(fxToString(the_, &slot), "[object Object]");
  slot = fsk::New(the_, fsk::Global(the_), "Error", "boom").Slot();
  EXPECT_STREQ(fxToString(the_, &slot), "Error: boom");
}

TEST_F(FskMachine, TruthOfValues) {
  FskSlot slot;
  fxString(the_, &slot, "");
  EXPECT_FALSE(fxToBoolean(the_, &slot));
  fxString(the_, &slot, "0");
  EXPECT_TRUE(fxToBoolean(the_, &slot));
  fxNumber(the_, &slot, std::numeric_limits<double>::quiet_NaN());
  EXPECT_FALSE(fxToBoolean(the_, &slot));
  fxInteger(the_, &slot, 0);
  EXPECT_FALSE(fxToBoolean(the_, &slot));
  fxInteger(the_, &slot, 1LL << 40);
  EXPECT_TRUE(fxToBoolean(the_, &slot));
  slot = fsk::NewObject(the_).Slot();
  EXPECT_TRUE(fxToBoolean(the_, &slot));
}

TEST_F(FskMachine, CallIdTakesArgumentsLastToFirstAndLeavesTheResult) {
  std::vector<int64_t> seen;
  int32_t argc = -1;
  Value receiver = fsk::NewObject(the_);
  FskSlot seenThis;
  fsk::Set(the_, receiver, "method", Closure([&](::FskMachine* the, const Value&, const std::vector<Value>&) {
             argc = fxArgc(the);
             for (int32_t i = 0; i < argc; ++i) {
               seen.push_back(fxToInteger(the, fxCheckArg(the, i)));
             }
             seenThis = *fxThis(the);
             return Value::Integer(99);
           }));
  size_t start = fxStackDepth(the_);
  fxOverflow(the_, -5, __FILE__, __LINE__);
  fxInteger(the_, fxPush(the_), 30);
  fxInteger(the_, fxPush(the_), 20);
  fxInteger(the_, fxPush(the_), 10);
  fxInteger(the_, fxPush(the_), 3);
  fxPushSlot(the_, &receiver.Slot());
  fxCallID(the_, fxID(the_, "method"));

  EXPECT_EQ(argc, 3);
  EXPECT_EQ(seen, (std::vector<int64_t>{10, 20, 30}));
  uint32_t a[4];
  uint32_t b[4];
  fxGetValueRecord(the_, &seenThis, a);
  fxGetValueRecord(the_, &receiver.Slot(), b);
  EXPECT_EQ(std::memcmp(a, b, sizeof a), 0);
  ASSERT_EQ(fxStackDepth(the_), start + 1);
  EXPECT_EQ(fxToInteger(the_, fxTop(the_)), 99);
  fxPop(the_, nullptr);
  EXPECT_EQ(fxStackDepth(the_), start);
}

TEST_F(FskMachine, BadReceiversAndMethodsThrowTypeErrors) {
  Value object = fsk::NewObject(the_);
  fsk::Set(the_, object, "notFunction", Value::Integer(1));
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"method of undefined", [&] { fsk::Call(the_, Value(), "close"); }},
      {"method of null", [&] { fsk::Call(the_, Value::Null(), "close"); }},
      {"missing method", [&] { fsk::Call(the_, object, "close"); }},
      {"not a function", [&] { fsk::Call(the_, object, "notFunction"); }},
      {"property of undefined", [&] { fsk::Get(the_, Value(), "size"); }},
      {"property of null", [&] { fsk::Get(the_, Value::Null(), "size"); }},
      {"construct a non-constructor", [&] { fsk::New(the_, object, "notFunction"); }},
  };
  for (const auto& [label, action] : cases) {
    size_t depth = fxStackDepth(the_);
    try {
      action();
      ADD_FAILURE() << label << " did not throw";
    } catch (const FskException& error) {
      EXPECT_EQ(ErrorName(error), "TypeError") << label;
    }
    EXPECT_EQ(fxStackDepth(the_), depth) << label;
  }
}

TEST_F(FskMachine, MissingPropertyReadsUndefined) {
  Value object = fsk::NewObject(the_);
  EXPECT_TRUE(fsk::Get(the_, object, "nothing").IsUndefined());
  EXPECT_TRUE(fsk::GetAt(the_, object, 7).IsUndefined());
  EXPECT_TRUE(fsk::Get(the_, Value::Integer(3), "nothing").IsUndefined());
}

TEST_F(FskMachine, ThrowInInnerBracketCaughtInOuterLeavesOuterDepth) {
  size_t before = fxStackDepth(the_);
  fxBeginHost(the_);
  fxVars(the_, 1);
  fxInteger(the_, fxCheckVar(the_, 0), 5);
  fxInteger(the_, fxPush(the_), 1);
  size_t outerDepth = fxStackDepth(the_);
  try {
    fsk::HostBracket inner(the_);
    fxVars(the_, 3);
    for (int i = 0; i < 10; ++i) {
      fxInteger(the_, fxPush(the_), i);
    }
    fxThrowError(the_, kFskError, "inner");
  } catch (const FskException& error) {
    EXPECT_STREQ(error.what(), "Error: inner");
  }
  EXPECT_EQ(fxStackDepth(the_), outerDepth);
  EXPECT_EQ(fxToInteger(the_, fxCheckVar(the_, 0)), 5);
  EXPECT_THROW(fxCheckVar(the_, 1), FskException);
  fxEndHost(the_);
  EXPECT_EQ(fxStackDepth(the_), before);
}

TEST_F(FskMachine, EndHostRestoresDepthAfterACaughtException) {
  size_t before = fxStackDepth(the_);
  Value thrower = Closure([](::FskMachine* the, const Value&, const std::vector<Value>&) -> Value {
    fxInteger(the, fxPush(the), 1);
    fxInteger(the, fxPush(the), 2);
    fxError(the, EIO);
  });
  fxBeginHost(the_);
  fxVars(the_, 2);
  try {
    fxInteger(the_, fxPush(the_), 7);
    fsk::CallFunction(the_, thrower, Value(), {Value::Integer(1)});
    ADD_FAILURE() << "no exception";
  } catch (const FskException& error) {
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, Value(error.Value()), "code")), EIO);
  }
  fxEndHost(the_);
  EXPECT_EQ(fxStackDepth(the_), before);
}

int gBuffersFreed = 0;

struct OwnedBuffer {
  OwnedBuffer() : bytes(new char[4096]) {}
  ~OwnedBuffer() { ++gBuffersFreed; }
  std::unique_ptr<char[]> bytes;
};

// Owns a buffer while it calls its argument.
void CallWithBuffer(::FskMachine* the) {
  OwnedBuffer buffer;
  std::memset(buffer.bytes.get(), 1, 4096);
  fxOverflow(the, -3, __FILE__, __LINE__);
  fxInteger(the, fxPush(the), 0);
  fxUndefined(the, fxPush(the));
  fxPushSlot(the, fxCheckArg(the, 0));
  fxCall(the);
  fxPop(the, fxResult(the));
}

TEST_F(FskMachine, ExceptionFreesTheBufferOfANativeItPasses) {
  gBuffersFreed = 0;
  fxNewHostFunction(the_, CallWithBuffer, 1);
  Value native;
  fxPop(the_, &native.Slot());
  Value thrower = Closure([](::FskMachine* the, const Value&, const std::vector<Value>&) -> Value {
    fsk::Throw(the, kFskRangeError, "from the closure");
  });
  size_t depth = fxStackDepth(the_);
  try {
    fsk::CallFunction(the_, native, Value(), {thrower});
    ADD_FAILURE() << "no exception";
  } catch (const FskException& error) {
    EXPECT_STREQ(error.what(), "RangeError: from the closure");
  }
  EXPECT_EQ(gBuffersFreed, 1);
  EXPECT_EQ(fxStackDepth(the_), depth);
}

TEST_F(FskMachine, VariablesAndArgumentsAreChecked) {
  fxBeginHost(the_);
  EXPECT_THROW(fxCheckVar(the_, 0), FskException);
  fxVars(the_, 2);
  EXPECT_NO_THROW(fxCheckVar(the_, 1));
  EXPECT_THROW(fxCheckVar(the_, 2), FskException);
  EXPECT_THROW(fxCheckVar(the_, -1), FskException);
  EXPECT_THROW(fxVars(the_, 1), FskException);
  fxEndHost(the_);

  Value probe = Closure([](::FskMachine* the, const Value&, const std::vector<Value>&) {
    EXPECT_NO_THROW(fxCheckArg(the, 0));
    EXPECT_THROW(fxCheckArg(the, 1), FskException);
    return Value();
  });
  fsk::CallFunction(the_, probe, Value(), {Value::Integer(1)});
}

TEST_F(FskMachine, OverflowRefusesPastTheLimit) {
  EXPECT_NO_THROW(fxOverflow(the_, -1000, __FILE__, __LINE__));
  try {
    fxOverflow(the_, -static_cast<int32_t>(kFskStackLimit) - 1, __FILE__, __LINE__);
    ADD_FAILURE() << "no exception";
  } catch (const FskException& error) {
    EXPECT_STREQ(error.what(), "RangeError: stack overflow");
  }
}

TEST_F(FskMachine, RunawayRecursionIsAnErrorNotACrash) {
  Value recurse;
  recurse = Closure([&recurse](::FskMachine* the, const Value&, const std::vector<Value>&) {
    return fsk::CallFunction(the, recurse, Value(), {});
  });
  EXPECT_THROW(fsk::CallFunction(the_, recurse, Value(), {}), FskException);
  recurse = Value();
}

TEST_F(FskMachine, RememberingASlotTwiceCountsOnce) {
  FskSlot slot = fsk::NewObject(the_).Slot();
  EXPECT_EQ(fxRememberedCount(the_), 0);
  fxRemember(the_, &slot);
  fxRemember(the_, &slot);
  EXPECT_EQ(fxRememberedCount(the_), 1);
  fxForget(the_, &slot);
  EXPECT_EQ(fxRememberedCount(the_), 0);
}

TEST_F(FskMachine, TeardownClearsRememberedSlots) {
  ::FskMachine* other = fxNewMachine("other");
  FskSlot slot;
  fxNewObject(other);
  fxPop(other, &slot);
  fxRemember(other, &slot);
  fxDeleteMachine(other);
  EXPECT_EQ(slot.Type(), kFskUndefinedType);
}

TEST_F(FskMachine, ValueRecordsNeverRepeat) {
  FskSlot first = fsk::NewObject(the_).Slot();
  FskSlot second = fsk::NewObject(the_).Slot();
  uint32_t a[4];
  uint32_t b[4];
  fxGetValueRecord(the_, &first, a);
  fxGetValueRecord(the_, &second, b);
  EXPECT_NE(std::memcmp(a, b, sizeof a), 0);
  EXPECT_EQ(a[2], static_cast<uint32_t>(kFskObjectType));
  EXPECT_EQ(a[3], 0u);

  int64_t live = fxLiveObjectCount(the_);
  std::set<uint64_t> seen;
  for (int i = 0; i < 100000; ++i) {
    FskSlot object = fsk::NewObject(the_).Slot();
    uint32_t record[4];
    fxGetValueRecord(the_, &object, record);
    seen.insert(static_cast<uint64_t>(record[0]) | (static_cast<uint64_t>(record[1]) << 32));
  }
  EXPECT_EQ(seen.size(), 100000u);
  EXPECT_EQ(seen.count(static_cast<uint64_t>(a[0])), 0u);
  EXPECT_EQ(fxLiveObjectCount(the_), live);
}

TEST_F(FskMachine, ValueRecordsOfOtherValuesCarryTheirPayload) {
  FskSlot slot;
  uint32_t record[4];
  fxInteger(the_, &slot, 0x123456789LL);
  fxGetValueRecord(the_, &slot, record);
  EXPECT_EQ(record[0], 0x23456789u);
  EXPECT_EQ(record[1], 0x1u);
  EXPECT_EQ(record[2], static_cast<uint32_t>(kFskIntegerType));
  fxNull(the_, &slot);
  fxGetValueRecord(the_, &slot, record);
  EXPECT_EQ(record[0] | record[1] | record[3], 0u);
  EXPECT_EQ(record[2], static_cast<uint32_t>(kFskNullType));
}

TEST_F(FskMachine, ALongChainIsFreedWithoutRecursion) {
  int64_t live = fxLiveObjectCount(the_);
  {
    Value head = fsk::NewObject(the_);
    Value current = head;
    for (int i = 0; i < 100000; ++i) {
      Value next = fsk::NewObject(the_);
      fsk::Set(the_, current, "next", next);
      current = next;
    }
    EXPECT_EQ(fxLiveObjectCount(the_), live + 100001);
  }
  EXPECT_EQ(fxLiveObjectCount(the_), live);
}

int gDestroyed = 0;
void CountDestruction(void* data) {
  ++gDestroyed;
  FskMemPtrDispose(data);
}

TEST_F(FskMachine, HostDestructorsRunOnceAtTheEndOrAtTeardown) {
  gDestroyed = 0;
  ::FskMachine* machine = fxNewMachine("cycles");
  fxBeginHost(machine);
  // One dropped at once.
  fxNewHostObject(machine, CountDestruction);
  fxSetHostData(machine, fxTop(machine), FskMemPtrAlloc(16));
  fxPop(machine, nullptr);
  EXPECT_EQ(gDestroyed, 1);
  // One in a cycle with a plain object, and one held by a slot outside.
  Value host;
  fxNewHostObject(machine, CountDestruction);
  fxSetHostData(machine, fxTop(machine), FskMemPtrAlloc(16));
  fxPop(machine, &host.Slot());
  Value plain = fsk::NewObject(machine);
  fsk::Set(machine, host, "peer", plain);
  fsk::Set(machine, plain, "peer", host);
  Value outside;
  fxNewHostObject(machine, CountDestruction);
  fxPop(machine, &outside.Slot());
  host = Value();
  plain = Value();
  EXPECT_EQ(gDestroyed, 1);
  fxDeleteMachine(machine);
  EXPECT_EQ(gDestroyed, 3);
  outside = Value();
  EXPECT_EQ(gDestroyed, 3);
}

TEST_F(FskMachine, MemoryServices) {
  void* block = nullptr;
  ASSERT_EQ(FskMemPtrNew(8, &block), 0);
  std::memset(block, 0xAB, 8);
  auto* grown = static_cast<unsigned char*>(FskMemPtrReallocC(block, 4096));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(grown[7], 0xAB);
  EXPECT_EQ(grown[8], 0);
  EXPECT_EQ(grown[4095], 0);
  int64_t live = FskMemLiveBlocks();

  FskMemFailNextAllocations(2);
  void* failed = reinterpret_cast<void*>(1);
  errno = 0;
  EXPECT_NE(FskMemPtrNew(8, &failed), 0);
  EXPECT_EQ(failed, nullptr);
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(FskMemPtrReallocC(grown, 8192), nullptr);
  EXPECT_EQ(grown[7], 0xAB);
  EXPECT_EQ(FskMemLiveBlocks(), live);
  void* after = FskMemPtrAlloc(4);
  EXPECT_NE(after, nullptr);
  FskMemPtrDispose(after);
  FskMemPtrDispose(grown);
  FskMemPtrDispose(nullptr);

  char text[8];
  std::memset(text, 'x', sizeof text);
  FskStrNCopy(text, "abc", 6);
  EXPECT_EQ(std::string(text, 8), std::string("abc\0\0\0xx", 8));
  EXPECT_EQ(FskStrLen("abcd"), 4u);
  EXPECT_EQ(FskStrCompareWithLength("abcX", "abcY", 3), 0);
  EXPECT_LT(FskStrCompareWithLength("abcX", "abcY", 4), 0);
  EXPECT_GT(FskStrCompareWithLength("\xC3", "a", 1), 0);
  char moved[] = "abcdef";
  FskMemMove(moved + 1, moved, 4);
  EXPECT_STREQ(moved, "aabcdf");
}

}  // namespace
