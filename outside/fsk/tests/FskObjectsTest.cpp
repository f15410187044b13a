#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskMemory.h"
#include "outside/fsk/tests/FskTestMachine.h"

namespace {

using fsk::Value;

class FskObjects : public FskTestMachine {
 protected:
  Value Global() { return fsk::Global(the_); }

  std::string Text(const Value& value) { return fsk::ToString(the_, value); }

  bool IsInstance(const Value& object, const Value& prototype) {
    return fsk::IsInstanceOf(the_, object, prototype);
  }

  Value Prototype(const char* constructor) { return fsk::GetPath(the_, std::string(constructor) + ".prototype"); }
};

int gDestructorCalls = 0;
void* gDestroyedData = nullptr;
void RecordDestruction(void* data) {
  ++gDestructorCalls;
  gDestroyedData = data;
}

void Nothing(FskMachine*) {}

TEST_F(FskObjects, PrototypeChainAndOwnProperties) {
  Value base = fsk::NewObject(the_);
  fsk::Set(the_, base, "shared", Value::Integer(1));
  fsk::Set(the_, base, "shadowed", Value::Integer(2));
  Value derived = fsk::NewInstanceOf(the_, base);
  fsk::Set(the_, derived, "shadowed", Value::Integer(3));

  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, derived, "shared")), 1);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, derived, "shadowed")), 3);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, base, "shadowed")), 2);
  fxPushSlot(the_, &derived.Slot());
  EXPECT_FALSE(fxHasOwnID(the_, fxID(the_, "shared")));
  fxPushSlot(the_, &derived.Slot());
  EXPECT_TRUE(fxHasOwnID(the_, fxID(the_, "shadowed")));
  EXPECT_TRUE(IsInstance(derived, base));
  EXPECT_FALSE(IsInstance(base, derived));
  EXPECT_FALSE(IsInstance(derived, derived));

  fxNull(the_, fxPush(the_));
  fxNewInstanceOf(the_);
  Value bare;
  fxPop(the_, &bare.Slot());
  EXPECT_FALSE(IsInstance(bare, Prototype("Object")));
  EXPECT_TRUE(IsInstance(base, Prototype("Object")));
}

TEST_F(FskObjects, PutStoresFlagAndAttributes) {
  Value object = fsk::NewObject(the_);
  fxPushSlot(the_, &Value::Integer(5).Slot());
  fxPushSlot(the_, &object.Slot());
  fxPutID(the_, fxID(the_, "defined"), 8, 12);
  fxPushSlot(the_, &Value::Integer(6).Slot());
  fxPushSlot(the_, &object.Slot());
  fxPutID(the_, 3, 1, 2);

  int32_t flag = 0;
  int32_t attributes = 0;
  fxPushSlot(the_, &object.Slot());
  ASSERT_TRUE(fxGetPropertyFlags(the_, fxID(the_, "defined"), &flag, &attributes));
  EXPECT_EQ(flag, 8);
  EXPECT_EQ(attributes, 12);
  fxPushSlot(the_, &object.Slot());
  ASSERT_TRUE(fxGetPropertyFlags(the_, 3, &flag, &attributes));
  EXPECT_EQ(flag, 1);
  EXPECT_EQ(attributes, 2);
  fxPushSlot(the_, &object.Slot());
  EXPECT_FALSE(fxGetPropertyFlags(the_, fxID(the_, "absent"), &flag, &attributes));
  EXPECT_EQ(fsk::ToInteger(the_, fsk::GetAt(the_, object, 3)), 6);
}

TEST_F(FskObjects, InstancesOfHostObjectsAreHostObjects) {
  gDestructorCalls = 0;
  fxNewHostObject(the_, RecordDestruction);
  Value prototype;
  fxPop(the_, &prototype.Slot());
  int marker = 0;
  {
    Value instance = fsk::NewInstanceOf(the_, prototype);
    EXPECT_TRUE(fxIsHostObject(the_, &instance.Slot()));
    EXPECT_EQ(fxGetHostData(the_, &instance.Slot()), nullptr);
    fxSetHostData(the_, &instance.Slot(), &marker);
    Value grandchild = fsk::NewInstanceOf(the_, instance);
    EXPECT_TRUE(fxIsHostObject(the_, &grandchild.Slot()));
    EXPECT_EQ(fxGetHostData(the_, &grandchild.Slot()), nullptr);
  }
  EXPECT_EQ(gDestructorCalls, 2);
  EXPECT_EQ(gDestroyedData, &marker);

  Value plain = fsk::NewObject(the_);
  EXPECT_FALSE(fxIsHostObject(the_, &plain.Slot()));
  EXPECT_THROW(fxGetHostData(the_, &plain.Slot()), FskException);
  EXPECT_THROW(fxSetHostData(the_, &plain.Slot(), &marker), FskException);
}

TEST_F(FskObjects, HostFunctionsAndConstructors) {
  fxNewHostFunction(the_, Nothing, 3);
  Value function;
  fxPop(the_, &function.Slot());
  fxNewHostConstructor(the_, Nothing, 2);
  Value constructor;
  fxPop(the_, &constructor.Slot());

  EXPECT_TRUE(fxIsFunction(the_, &function.Slot()));
  EXPECT_FALSE(fxIsConstructor(the_, &function.Slot()));
  EXPECT_TRUE(fxIsConstructor(the_, &constructor.Slot()));
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, function, "length")), 3);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, constructor, "length")), 2);

  Value holder = fsk::NewObject(the_);
  fsk::Set(the_, holder, "Thing", constructor);
  Value instance = fsk::New(the_, holder, "Thing");
  EXPECT_TRUE(IsInstance(instance, fsk::Get(the_, constructor, "prototype")));
  EXPECT_TRUE(IsInstance(instance, Prototype("Object")));
}

TEST_F(FskObjects, ClosureConstructorMayReplaceTheInstance) {
  Value prototype = fsk::NewObject(the_);
  Value replacement = fsk::NewObject(the_);
  Value keeps = fsk::NewConstructor(
      the_,
      [](FskMachine* the, const Value& self, const std::vector<Value>& arguments) {
        fsk::Set(the, self, "first", arguments.at(0));
        return Value::Integer(1);
      },
      1, prototype);
  Value replaces = fsk::NewConstructor(
      the_, [&](FskMachine*, const Value&, const std::vector<Value>&) { return replacement; }, 0, prototype);
  Value holder = fsk::NewObject(the_);
  fsk::Set(the_, holder, "Keeps", keeps);
  fsk::Set(the_, holder, "Replaces", replaces);

  Value kept = fsk::New(the_, holder, "Keeps", "x");
  EXPECT_TRUE(IsInstance(kept, prototype));
  EXPECT_EQ(Text(fsk::Get(the_, kept, "first")), "x");
  Value replaced = fsk::New(the_, holder, "Replaces");
  EXPECT_FALSE(IsInstance(replaced, prototype));
}

TEST_F(FskObjects, FunctionCallPassesTheReceiver) {
  Value receiver = fsk::NewObject(the_);
  fsk::Set(the_, receiver, "name", Value::String("me"));
  Value function = fsk::NewFunction(
      the_,
      [](FskMachine* the, const Value& self, const std::vector<Value>& arguments) {
        return Value::String(fsk::ToString(the, fsk::Get(the, self, "name")) + ":" +
                             std::to_string(arguments.size()) + ":" + fsk::ToString(the, arguments.at(1)));
      },
      2);
  Value result = fsk::Call(the_, function, "call", receiver, 1, "two");
  EXPECT_EQ(Text(result), "me:2:two");
}

TEST_F(FskObjects, ChunksOwnTheirBytes) {
  int64_t blocks = FskMemLiveBlocks();
  {
    Value chunk = fsk::New(the_, Global(), "Chunk", 16);
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, chunk, "length")), 16);
    auto* bytes = static_cast<unsigned char*>(fxGetHostData(the_, &chunk.Slot()));
    ASSERT_NE(bytes, nullptr);
    unsigned char zeros[16] = {};
    EXPECT_EQ(std::memcmp(bytes, zeros, 16), 0);
    EXPECT_EQ(FskMemLiveBlocks(), blocks + 1);
    EXPECT_TRUE(IsInstance(chunk, Prototype("Chunk")));
  }
  EXPECT_EQ(FskMemLiveBlocks(), blocks);
  EXPECT_THROW(fsk::New(the_, Global(), "Chunk", -1), FskException);
  EXPECT_THROW(fsk::New(the_, Global(), "Chunk", 1.5), FskException);
}

TEST_F(FskObjects, ArraysKeepTheirLength) {
  Value sized = fsk::New(the_, Global(), "Array", 3);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, sized, "length")), 3);
  Value listed = fsk::New(the_, Global(), "Array", "a", "b");
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, listed, "length")), 2);
  EXPECT_EQ(Text(fsk::GetAt(the_, listed, 1)), "b");
  fsk::SetAt(the_, listed, 10, Value::Integer(1));
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, listed, "length")), 11);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Call(the_, listed, "push", "c")), 12);
  EXPECT_EQ(Text(fsk::GetAt(the_, listed, 11)), "c");
  EXPECT_TRUE(IsInstance(listed, Prototype("Array")));
}

TEST_F(FskObjects, ErrorsAndNativeErrors) {
  Value error = fsk::New(the_, Global(), "Error", "broken");
  EXPECT_EQ(Text(fsk::Get(the_, error, "message")), "broken");
  EXPECT_TRUE(IsInstance(error, Prototype("Error")));

  Value typeError = fsk::New(the_, Global(), "TypeError", "typed");
  EXPECT_TRUE(IsInstance(typeError, Prototype("Error")));
  EXPECT_EQ(Text(fsk::Get(the_, typeError, "name")), "TypeError");

  Value native = fsk::New(the_, fsk::GetPath(the_, "Fsk.Error"), "Native", 1001);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, native, "code")), 1001);
  EXPECT_TRUE(IsInstance(native, fsk::GetPath(the_, "Fsk.Error.Native.prototype")));
  EXPECT_TRUE(IsInstance(native, Prototype("Error")));

  try {
    fxError(the_, ENOENT);
  } catch (const FskException& thrown) {
    Value value(thrown.Value());
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, value, "code")), ENOENT);
    EXPECT_TRUE(IsInstance(value, fsk::GetPath(the_, "Fsk.Error.Native.prototype")));
    EXPECT_STREQ(thrown.what(), ("Fsk.Error.Native: code " + std::to_string(ENOENT)).c_str());
  }
}

TEST_F(FskObjects, ThrowThrowsTheValueOnTop) {
  fxString(the_, fxPush(the_), "plain text");
  try {
    fxThrow(the_);
  } catch (const FskException& thrown) {
    EXPECT_EQ(Text(Value(thrown.Value())), "plain text");
    EXPECT_STREQ(thrown.what(), "plain text");
  }
}

TEST_F(FskObjects, TraceWritesToTheSink) {
  fsk::Call(the_, Global(), "trace", "hello ");
  fxTrace(the_, "world\n");
  EXPECT_EQ(trace_, "hello world\n");
}

TEST_F(FskObjects, SymbolsAreNegativeAndNamed) {
  FskID id = fxID(the_, "someName");
  EXPECT_LT(id, 0);
  EXPECT_EQ(fxID(the_, "someName"), id);
  EXPECT_STREQ(fxName(the_, id), "someName");
  EXPECT_EQ(fxFindID(the_, "neverSeenBefore"), kFskNoID);
  EXPECT_EQ(fxName(the_, 5), nullptr);
  int32_t count = fxSymbolCount(the_);
  fxID(the_, "anotherName");
  EXPECT_EQ(fxSymbolCount(the_), count + 1);
}

// Objects with many properties find them another way than small ones: every
// property must stay findable, and no other, however far the object grows.
TEST_F(FskObjects, EveryPropertyStaysFindableAsAnObjectGrows) {
  constexpr int kCount = 70;
  Value object = fsk::NewObject(the_);
  auto name = [](int index) { return "field" + std::to_string(index); };
  for (int added = 0; added < kCount; ++added) {
    fsk::Set(the_, object, name(added), Value::Integer(added));
    for (int index = 0; index <= added; ++index) {
      ASSERT_EQ(fsk::ToInteger(the_, fsk::Get(the_, object, name(index))), index) << added;
    }
    ASSERT_EQ(fsk::Get(the_, object, name(added + 1)).Slot().Type(), kFskUndefinedType) << added;
  }
  // A property set again keeps its place and takes the new value.
  fsk::Set(the_, object, name(3), Value::Integer(-3));
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, object, name(3))), -3);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, object, name(kCount - 1))), kCount - 1);
  Value derived = fsk::NewInstanceOf(the_, object);
  EXPECT_EQ(fsk::ToInteger(the_, fsk::Get(the_, derived, name(kCount / 2))), kCount / 2);
  fxPushSlot(the_, &derived.Slot());
  EXPECT_FALSE(fxHasOwnID(the_, fxID(the_, name(0).c_str())));
}

// Look-ups remember where a name lay; a buffer that later holds another name
// of the same length must still get that name's symbol, whichever byte
// differs.
TEST_F(FskObjects, ANameInAReusedBufferGetsItsOwnSymbol) {
  for (size_t length = 1; length <= 24; ++length) {
    for (size_t changed : {size_t{0}, length / 2, length - 1}) {
      std::string buffer(length, 'a');
      const FskID first = fxID(the_, buffer.c_str());
      buffer[changed] = 'b';
      const FskID second = fxID(the_, buffer.c_str());
      EXPECT_NE(first, second) << length << " " << changed;
      EXPECT_STREQ(fxName(the_, second), buffer.c_str()) << length << " " << changed;
      buffer[changed] = 'a';
      EXPECT_EQ(fxID(the_, buffer.c_str()), first) << length << " " << changed;
    }
  }
}

}  // namespace
