#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskXml.h"
#include "outside/fsk/tests/FskTestMachine.h"

namespace {

using fsk::Value;

class FskXml : public FskTestMachine {
 protected:
  // Both passes; checks that they agree.
  std::string Serialize(const Value& object) {
    fxPushSlot(the_, &object.Slot());
    size_t length = fxSerializeBuffer(the_, nullptr, 0, 0);
    std::string text(length, '\0');
    fxPushSlot(the_, &object.Slot());
    EXPECT_EQ(fxSerializeBuffer(the_, text.data(), text.size(), 0), length);
    return text;
  }

  Value Parse(const std::string& text, int grammars = 0) {
    for (int i = 0; i < grammars; ++i) {
      fxPushSlot(the_, &fsk::NewObject(the_).Slot());
    }
    fxInteger(the_, fxPush(the_), grammars);
    fxParseBuffer(the_, text.data(), text.size(), "test.xml", 1, 0);
    Value value;
    fxPop(the_, &value.Slot());
    return value;
  }

  std::string Nested(int depth) {
    std::string text;
    for (int i = 1; i < depth; ++i) {
      text += "<object><property><name>n</name>";
    }
    text += "<object/>";
    for (int i = 1; i < depth; ++i) {
      text += "</property></object>";
    }
    return text;
  }

  int64_t Integer(const Value& value) { return fsk::ToInteger(the_, value); }
  std::string Text(const Value& value) { return fsk::ToString(the_, value); }
};

TEST_F(FskXml, ValuesRoundTrip) {
  Value object = fsk::NewObject(the_);
  fsk::Set(the_, object, "a", Value::Integer(1));
  fsk::Set(the_, object, "b", Value::Number(1.5));
  fsk::Set(the_, object, "c", Value::String("x<&>"));
  fsk::Set(the_, object, "d", Value::Boolean(true));
  fsk::Set(the_, object, "e", Value::Null());
  Value inner = fsk::NewObject(the_);
  fsk::Set(the_, inner, "g", Value::String("\xC3\xA9"));
  fsk::Set(the_, object, "f", inner);

  std::string text = Serialize(object);
  Value back = Parse(text);
  EXPECT_EQ(fxTypeOf(the_, &fsk::Get(the_, back, "a").Slot()), kFskIntegerType);
  EXPECT_EQ(Integer(fsk::Get(the_, back, "a")), 1);
  EXPECT_EQ(fxTypeOf(the_, &fsk::Get(the_, back, "b").Slot()), kFskNumberType);
  EXPECT_EQ(fsk::ToNumber(the_, fsk::Get(the_, back, "b")), 1.5);
  EXPECT_EQ(Text(fsk::Get(the_, back, "c")), "x<&>");
  EXPECT_EQ(fxTypeOf(the_, &fsk::Get(the_, back, "d").Slot()), kFskBooleanType);
  EXPECT_TRUE(fsk::ToBoolean(the_, fsk::Get(the_, back, "d")));
  EXPECT_TRUE(fsk::Get(the_, back, "e").IsNull());
  EXPECT_EQ(Text(fsk::Get(the_, fsk::Get(the_, back, "f"), "g")), "\xC3\xA9");
  EXPECT_EQ(Serialize(back), text);
}

TEST_F(FskXml, TheWrittenFormKeepsPropertyOrder) {
  Value object = fsk::NewObject(the_);
  fsk::Set(the_, object, "z", Value::Integer(1));
  fsk::Set(the_, object, "a", Value::Undefined());
  fsk::SetAt(the_, object, 2, Value::String("two"));
  EXPECT_EQ(Serialize(object),
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<object><property><index>2</index><string>two</string></property>"
            "<property><name>z</name><integer>1</integer></property>"
            "<property><name>a</name><undefined/></property></object>\n");
}

TEST_F(FskXml, ArraysAndDatesRoundTrip) {
  Value array = fsk::New(the_, fsk::Global(the_), "Array", "first", 2);
  fsk::SetAt(the_, array, 4, fsk::New(the_, fsk::Global(the_), "Date", -1000.0));
  Value back = Parse(Serialize(array));
  EXPECT_TRUE(fsk::IsInstanceOf(the_, back, fsk::GetPath(the_, "Array.prototype")));
  EXPECT_EQ(Integer(fsk::Get(the_, back, "length")), 5);
  EXPECT_EQ(Text(fsk::GetAt(the_, back, 0)), "first");
  EXPECT_TRUE(fsk::GetAt(the_, back, 3).IsUndefined());
  EXPECT_EQ(fsk::ToNumber(the_, fsk::Call(the_, fsk::GetAt(the_, back, 4), "valueOf")), -1000.0);
}

TEST_F(FskXml, GrammarObjectsAreAcceptedAndUnused) {
  size_t depth = fxStackDepth(the_);
  Value back = Parse("<object><property><name>k</name><integer>3</integer></property></object>", 3);
  EXPECT_EQ(Integer(fsk::Get(the_, back, "k")), 3);
  EXPECT_EQ(fxStackDepth(the_), depth);
}

TEST_F(FskXml, NestingIsBounded) {
  EXPECT_NO_THROW(Parse(Nested(kFskXmlDepthLimit)));
  EXPECT_THROW(Parse(Nested(kFskXmlDepthLimit + 1)), FskException);

  Value object = fsk::NewObject(the_);
  Value current = object;
  for (int i = 1; i < kFskXmlDepthLimit + 1; ++i) {
    Value next = fsk::NewObject(the_);
    fsk::Set(the_, current, "n", next);
    current = next;
  }
  EXPECT_THROW(Serialize(object), FskException);
  Value cycle = fsk::NewObject(the_);
  fsk::Set(the_, cycle, "self", cycle);
  EXPECT_THROW(Serialize(cycle), FskException);
  fsk::Set(the_, cycle, "self", Value());
}

TEST_F(FskXml, ExternalEntitiesAreRefusedUnread) {
  std::string secret = (Dir("xml") / "secret.txt").string();
  std::ofstream(secret) << "SECRET-CONTENT";
  std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE object [<!ENTITY x SYSTEM \"file://" + secret +
                     "\">]>\n<object><property><name>a</name><string>&x;</string></property></object>";
  try {
    Parse(text);
    ADD_FAILURE() << "the entity was accepted";
  } catch (const FskException& error) {
    EXPECT_EQ(std::string(error.what()).find("SECRET"), std::string::npos);
    EXPECT_NE(std::string(error.what()).find("test.xml:1"), std::string::npos) << error.what();
  }
}

TEST_F(FskXml, MalformedTextsAreRefused) {
  const std::vector<std::string> texts = {
      "not xml",
      "<string>x</string>",
      "<object><item/></object>",
      "<object><property><name>a</name></property></object>",
      "<object><property><index>-1</index><null/></property></object>",
      "<object><property><name>a</name><integer>1.5</integer></property></object>",
      "<object><property><name>a</name><boolean>yes</boolean></property></object>",
      "<object>text<property><name>a</name><null/></property></object>",
  };
  for (const std::string& text : texts) {
    EXPECT_THROW(Parse(text), FskException) << text;
  }
}

TEST_F(FskXml, ASmallBufferIsRefusedUnwritten) {
  Value object = fsk::NewObject(the_);
  fsk::Set(the_, object, "a", Value::Integer(1));
  std::string buffer(10, '#');
  fxPushSlot(the_, &object.Slot());
  EXPECT_THROW(fxSerializeBuffer(the_, buffer.data(), buffer.size(), 0), FskException);
  EXPECT_EQ(buffer, std::string(10, '#'));
}

TEST_F(FskXml, FunctionsAndHostObjectsAreNotWritten) {
  Value object = fsk::NewObject(the_);
  fsk::Set(the_, object, "f", fsk::Get(the_, fsk::Global(the_), "trace"));
  EXPECT_THROW(Serialize(object), FskException);
  fsk::Set(the_, object, "f", fsk::New(the_, fsk::Global(the_), "Chunk", 4));
  EXPECT_THROW(Serialize(object), FskException);
}

}  // namespace
