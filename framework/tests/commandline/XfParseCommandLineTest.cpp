#include "framework/commandline/XfCommandLineInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/tests/text/XpStringPrinters.h"

namespace {

struct Call {
  std::u16string param;
  bool isFlag;
  bool isLast;

  bool operator==(const Call&) const = default;
};

void PrintTo(const Call& call, std::ostream* out) {
  *out << "{" << XpUtf16ToUtf8(call.param) << (call.isFlag ? ", flag" : ", plain")
       << (call.isLast ? ", last}" : "}");
}

// Records every call; "salvage" is its one known flag.
class RecordingInfo : public XfCommandLineInfo {
 public:
  void ParseParam(const char16_t* param, bool isFlag, bool isLast) override {
    XfCommandLineInfo::ParseParam(param, isFlag, isLast);
    calls.push_back({param, isFlag, isLast});
  }
  XpStringVector GetKnownFlags() const override { return {XpString(u"salvage")}; }

  std::vector<Call> calls;
};

std::vector<Call> Parse(std::vector<const char*> arguments, RecordingInfo& info) {
  arguments.insert(arguments.begin(), "TLVK2Accessor");
  XfParseCommandLine(static_cast<int>(arguments.size()), arguments.data(), info);
  return info.calls;
}

TEST(XfParseCommandLine, SplitsFlagsFromPlainParameters) {
  struct Case {
    std::vector<const char*> arguments;
    std::vector<Call> expected;
  };
  const Case cases[] = {
      {{}, {}},
      {{"-a"}, {{u"a", true, true}}},
      {{"--Export", "x"}, {{u"Export", true, false}, {u"x", false, true}}},
      {{"---x"}, {{u"-x", true, true}}},
      // "/" marks a flag only before a known name.
      {{"/SALVAGE", "/salvage2", "/tmp/x.xml", "/"},
       {{u"SALVAGE", true, false},
        {u"/salvage2", false, false},
        {u"/tmp/x.xml", false, false},
        {u"/", false, true}}},
      // A dash needs a name after it.
      {{"-", "--", ""}, {{u"-", false, false}, {u"--", false, false}, {u"", false, true}}},
      // Bytes that are not UTF-8 survive as surrogate escapes.
      {{"/tmp/\xff"}, {{u"/tmp/\xdcff", false, true}}},
  };
  for (const Case& c : cases) {
    RecordingInfo info;
    EXPECT_EQ(Parse(c.arguments, info), c.expected)
        << "first argument: " << (c.arguments.empty() ? "(none)" : c.arguments[0]);
  }
}

TEST(XfParseCommandLine, BaseKeepsTheFirstPlainParameterAsFileName) {
  RecordingInfo info;
  Parse({"-a", "first", "/salvage", "second"}, info);
  EXPECT_EQ(info.m_strFileName, u"first");
}

TEST(XfParseCommandLine, ToleratesNoArguments) {
  RecordingInfo info;
  XfParseCommandLine(0, nullptr, info);
  XfParseCommandLine(1, nullptr, info);
  EXPECT_TRUE(info.calls.empty());
  EXPECT_TRUE(info.m_strFileName.IsEmpty());
}

}  // namespace
