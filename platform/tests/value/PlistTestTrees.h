#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "platform/memory/XpMemoryFile.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniArray.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpIniScalar.h"

// Trees for the property-list tests, and a text that describes a tree so
// that whole trees compare in one assertion.
namespace plisttest {

inline std::string DescribeReal(double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof(buffer), "%.17g", value);
  return buffer;
}

inline std::string DescribeBytes(const XpIniElement& element) {
  XpMemoryFile bytes;
  if (element.GetMemChunk(&bytes) != kXpOk) {
    return "?";
  }
  std::string text;
  const auto* data = static_cast<const unsigned char*>(bytes.GetBuffer());
  for (uint64_t i = 0; i < bytes.GetDataSize(); ++i) {
    char pair[3];
    std::snprintf(pair, sizeof(pair), "%02x", data[i]);
    text += pair;
  }
  return text;
}

inline std::string DescribeDate(const XpIniElement& element) {
  XpDateTime date;
  if (element.GetDate(&date) != kXpOk || !date.IsValid()) {
    return "invalid";
  }
  char buffer[32];
  std::snprintf(buffer, sizeof(buffer), "%04d-%02d-%02d %02d:%02d:%02d", date.GetYear(),
                date.GetMonth(), date.GetDay(), date.GetHour(), date.GetMinute(), date.GetSecond());
  return buffer;
}

// b:true, i:-5, r:0.10000000000000001, s:'x', d:00ab7f, t:2006-01-02
// 03:04:05, [..], {key=..}.
inline std::string Describe(const XpIniElement& element) {
  switch (element.GetType()) {
    case kXpIniTypeBool: {
      bool value = false;
      if (element.GetBool(&value) != kXpOk) return "b:unreadable";
      return value ? "b:true" : "b:false";
    }
    case kXpIniTypeInt: {
      int64_t value = 0;
      if (element.GetInt64(&value) != kXpOk) return "i:unreadable";
      return "i:" + std::to_string(value);
    }
    case kXpIniTypeReal: {
      double value = 0.0;
      if (element.GetReal(&value) != kXpOk) return "r:unreadable";
      return "r:" + DescribeReal(value);
    }
    case kXpIniTypeString: {
      XpString value;
      if (element.GetString(&value) != kXpOk) return "s:unreadable";
      return "s:'" + value.ToMultiByte().ToStdString() + "'";
    }
    case kXpIniTypeMemChunk:
      return "d:" + DescribeBytes(element);
    case kXpIniTypeDate:
      return "t:" + DescribeDate(element);
    case kXpIniTypeArray: {
      std::string text = "[";
      for (int32_t i = 0; i < element.GetCount(); ++i) {
        text += (i == 0 ? "" : ",") + Describe(*element.GetAt(i));
      }
      return text + "]";
    }
    case kXpIniTypeDict: {
      const auto& dict = static_cast<const XpIniDict&>(element);
      std::string text = "{";
      for (uint32_t i = 0; i < static_cast<uint32_t>(dict.GetCount()); ++i) {
        XpString key;
        EXPECT_EQ(dict.GetKeyAt(i, &key), kXpOk);
        text +=
            (i == 0 ? "" : ",") + key.ToMultiByte().ToStdString() + "=" + Describe(*dict.GetAt(i));
      }
      return text + "}";
    }
    default:
      return "?";
  }
}

inline void AddBytes(XpIniDict& dict, const XpString& path, std::string bytes) {
  ASSERT_EQ(dict.Add(path, kXpIniTypeMemChunk), kXpOk);
  XpMemoryFile source(bytes.data(), bytes.size(), false);
  ASSERT_EQ(dict.Find(path)->SetMemChunk(&source, 0, -1), kXpOk);
}

inline void AddReal(XpIniDict& dict, const XpString& path, double value) {
  ASSERT_EQ(dict.Add(path, kXpIniTypeReal), kXpOk);
  ASSERT_EQ(dict.Find(path)->SetReal(value), kXpOk);
}

inline void AddDate(XpIniDict& dict, const XpString& path, const XpDateTime& value) {
  ASSERT_EQ(dict.Add(path, kXpIniTypeDate), kXpOk);
  ASSERT_EQ(dict.Find(path)->SetDate(value), kXpOk);
}

// The tree of the committed golden file.
inline void BuildGolden(XpIniDict& dict) {
  ASSERT_EQ(dict.Add(u"A", kXpIniTypeInt, -5), kXpOk);
  AddReal(dict, u"B", 0.1);
  ASSERT_EQ(dict.Add(u"a", kXpIniTypeString, u"x<&>"), kXpOk);
  ASSERT_EQ(dict.Add(u"b", kXpIniTypeBool, true), kXpOk);
  AddBytes(dict, u"c", std::string("\x00\xab\x7f", 3));
  AddDate(dict, u"d", XpDateTime(2006, 1, 2, 3, 4, 5));
  ASSERT_EQ(dict.Add(u"e", kXpIniTypeArray), kXpOk);
  ASSERT_EQ(dict.Add(u"e/-1", kXpIniTypeInt, 1), kXpOk);
  ASSERT_EQ(dict.Add(u"e/-1", kXpIniTypeDict), kXpOk);
}

inline constexpr const char* kGoldenDescription =
    "{A=i:-5,B=r:0.10000000000000001,a=s:'x<&>',b=b:true,c=d:00ab7f,"
    "d=t:2006-01-02 03:04:05,e=[i:1,{}]}";

// Every type, at the top and nested, with texts that need care.
inline void BuildEveryType(XpIniDict& dict) {
  ASSERT_EQ(dict.Add(u"bool", kXpIniTypeBool, false), kXpOk);
  ASSERT_EQ(dict.Add(u"int", kXpIniTypeInt, INT64_MIN), kXpOk);
  AddReal(dict, u"real", -1234.5);
  ASSERT_EQ(dict.Add(u"string", kXpIniTypeString, u"\u00e9 \U0001D11E\r\n\t<&> \"q\""), kXpOk);
  ASSERT_EQ(dict.Add(u"empty", kXpIniTypeString), kXpOk);
  ASSERT_EQ(dict.Add(u"blanks", kXpIniTypeString, u"  "), kXpOk);
  AddBytes(dict, u"data", std::string("\x01\x02\xfe\xff", 4));
  ASSERT_EQ(dict.Add(u"nodata", kXpIniTypeMemChunk), kXpOk);
  AddDate(dict, u"date", XpDateTime(9999, 12, 31, 23, 59, 59));
  ASSERT_EQ(dict.Add(u"nodate", kXpIniTypeDate), kXpOk);
  ASSERT_EQ(dict.Add(u"list", kXpIniTypeArray), kXpOk);
  ASSERT_EQ(dict.Add(u"list/-1", kXpIniTypeString, u"one"), kXpOk);
  ASSERT_EQ(dict.Add(u"list/-1", kXpIniTypeArray), kXpOk);
  ASSERT_EQ(dict.Add(u"list/1/-1", kXpIniTypeBool, true), kXpOk);
  ASSERT_EQ(dict.Add(u"\u65e5\u672c", kXpIniTypeDict), kXpOk);
  ASSERT_EQ(dict.Add(u"\u65e5\u672c/inner", kXpIniTypeInt, INT64_MAX), kXpOk);
}

inline constexpr const char* kEveryTypeDescription =
    "{blanks=s:'  ',bool=b:false,data=d:0102feff,date=t:9999-12-31 23:59:59,empty=s:'',"
    "int=i:-9223372036854775808,list=[s:'one',[b:true]],nodata=d:,nodate=t:invalid,"
    "real=r:-1234.5,string=s:'\xc3\xa9 \xf0\x9d\x84\x9e\r\n\t<&> \"q\"',"
    "\xe6\x97\xa5\xe6\x9c\xac={inner=i:9223372036854775807}}";

}  // namespace plisttest
