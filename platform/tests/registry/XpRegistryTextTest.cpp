#include "platform/registry/XpRegistryText.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/XpRegistryTree.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

constexpr char16_t kRootName[] = u"HKEY_CURRENT_USER";
constexpr std::string_view kHeaderLine = "Windows Registry Editor Version 5.00\n\n";
constexpr size_t kHostileDepth = 100000;

// A file with one key nested depth levels deep, named "k" at each level.
std::string NestedKeyFile(size_t depth) {
  std::string text(kHeaderLine);
  text += "[HKEY_CURRENT_USER";
  for (size_t i = 0; i < depth; ++i) text += "\\k";
  text += "]\n\"V\"=dword:00000001\n";
  return text;
}

// A chain of depth keys below root, built without the parser.
void BuildChain(XpRegKey& root, size_t depth) {
  XpRegKey* key = &root;
  for (size_t i = 0; i < depth; ++i) key = key->AddSubkey(u"k");
}

TEST(XpRegistryText, NormalFileSavesBackByteIdentical) {
  const std::string file = std::string(kHeaderLine) +
                           "[HKEY_CURRENT_USER]\n"
                           "\"AtRoot\"=dword:ffffffff\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software]\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Kavo]\n"
                           "@=\"default\"\n"
                           "\"Folder\"=\"/media/user/CAMERA/DCIM\"\n"
                           "\"Quoted\"=\"say \\\"hi\\\" C:\\\\x\"\n"
                           "\"Gr\xC3\xB6\xC3\x9F" "e\"=\"Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC\"\n"
                           "\"Count\"=dword:0000000a\n"
                           "\"Data\"=hex:00,01,fe,ff\n"
                           "\"Path\"=hex(2):25,00,00,00\n"
                           "\"List\"=hex(7):61,00,00,00,00,00\n"
                           "\"Big\"=hex(b):01,00,00,00,00,00,00,00\n"
                           "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\n"
                           "\"Long\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,\\\n"
                           "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\n"
                           "  2f,30,31\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Kavo\\Empty]\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Kavo\\Zeta]\n"
                           "\"Z\"=\"\"\n"
                           "\n"
                           "[HKEY_CURRENT_USER\\Software\\Other]\n"
                           "\"X\"=dword:00000000\n"
                           "\n";
  XpRegKey root(XpString{});
  ASSERT_EQ(XpRegistryText::Parse(file, kRootName, root), kXpOk);
  EXPECT_EQ(XpRegistryText::Write(root, kRootName), file);
}

TEST(XpRegistryText, WritesParentsBeforeChildrenInInsertionOrder) {
  XpRegKey root(XpString{});
  XpRegKey* b = root.AddSubkey(u"B");
  b->AddSubkey(u"B2")->AddSubkey(u"B2a");
  b->AddSubkey(u"B1");
  root.AddSubkey(u"A")->SetValue(u"V", kXpRegDword, {1, 0, 0, 0});
  EXPECT_EQ(XpRegistryText::Write(root, kRootName), std::string(kHeaderLine) +
                                                        "[HKEY_CURRENT_USER\\B]\n\n"
                                                        "[HKEY_CURRENT_USER\\B\\B2]\n\n"
                                                        "[HKEY_CURRENT_USER\\B\\B2\\B2a]\n\n"
                                                        "[HKEY_CURRENT_USER\\B\\B1]\n\n"
                                                        "[HKEY_CURRENT_USER\\A]\n"
                                                        "\"V\"=dword:00000001\n\n");
}

TEST(XpRegistryText, KeysUpToTheDepthLimitParseAndDeeperOnesAreRefused) {
  const struct {
    size_t depth;
    XpResult expected;
  } cases[] = {
      {kXpRegMaxKeyDepth, kXpOk},
      {kXpRegMaxKeyDepth + 1, kXpErrInvalidFile},
      {kHostileDepth, kXpErrInvalidFile},
  };
  for (const auto& row : cases) {
    XpRegKey root(XpString{});
    EXPECT_EQ(XpRegistryText::Parse(NestedKeyFile(row.depth), kRootName, root), row.expected) << row.depth;
  }

  // The deepest key allowed reads back and writes out unchanged.
  XpRegKey root(XpString{});
  const std::string file = NestedKeyFile(kXpRegMaxKeyDepth);
  ASSERT_EQ(XpRegistryText::Parse(file, kRootName, root), kXpOk);
  XpString deepest;
  for (size_t i = 0; i < kXpRegMaxKeyDepth; ++i) deepest += u"/k";
  const XpRegKey* key = root.Find(deepest);
  ASSERT_NE(key, nullptr);
  EXPECT_NE(key->FindValue(u"V"), nullptr);
}

TEST(XpRegistryText, NulInKeyOrValueNamesIsRefused) {
  using namespace std::string_literals;
  const std::string header(kHeaderLine);
  const std::string refused[] = {
      header + "[HKEY_CURRENT_USER\\A\\x\0\\y]\n"s,
      header + "[HKEY_CURRENT_USER\\A\0]\n"s,
      header + "[HKEY_CURRENT_USER\\A]\n\"na\0me\"=dword:00000001\n"s,
  };
  for (const std::string& file : refused) {
    XpRegKey root(XpString{});
    EXPECT_EQ(XpRegistryText::Parse(file, kRootName, root), kXpErrInvalidFile) << testing::PrintToString(file);
  }

  // A NUL inside a value's data is data, not a name.
  XpRegKey root(XpString{});
  ASSERT_EQ(XpRegistryText::Parse(header + "[HKEY_CURRENT_USER\\A]\n\"V\"=\"a\0b\"\n"s, kRootName, root), kXpOk);
  const XpRegValue* value = root.Find(u"A")->FindValue(u"V");
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->data, (std::vector<uint8_t>{'a', 0, 0, 0, 'b', 0, 0, 0}));
}

TEST(XpRegistryText, NamesAndPathsTheTextFormCannotHold) {
  EXPECT_TRUE(XpRegistryText::IsWritableName(u"Caf\u00e9 \"x\" \\ @"));
  EXPECT_TRUE(XpRegistryText::IsWritableName(u""));
  for (const XpString& bad : {XpString(u"a\0b", 3), XpString(u"a\nb"), XpString(u"a\rb"), XpString(u"\xD800")}) {
    EXPECT_FALSE(XpRegistryText::IsWritableName(bad)) << testing::PrintToString(bad);
  }
  EXPECT_TRUE(XpRegIsValidKeyPath(XpStringVector(kXpRegMaxKeyDepth, XpString(u"k"))));
  EXPECT_FALSE(XpRegIsValidKeyPath(XpStringVector(kXpRegMaxKeyDepth + 1, XpString(u"k"))));
  EXPECT_FALSE(XpRegIsValidKeyPath(XpStringVector{u"ok", XpString(u"n\0l", 3)}));
}

TEST(XpRegKey, DeepTreesAreDestroyedAndComparedWithoutRecursion) {
  {
    XpRegKey root(XpString{});
    BuildChain(root, kHostileDepth);
  }
  XpRegKey first(XpString{});
  XpRegKey second(XpString{});
  BuildChain(first, kHostileDepth);
  BuildChain(second, kHostileDepth);
  EXPECT_TRUE(first.SameAs(second));
  second.AddSubkey(u"k")->AddSubkey(u"other");
  EXPECT_FALSE(first.SameAs(second));
  // Removing the top of a deep chain destroys the whole chain below it.
  EXPECT_TRUE(first.RemoveSubkey(u"K"));
  EXPECT_TRUE(first.Subkeys().empty());
}

TEST(XpRegKey, NamesWithANulNeverMatchAShorterName) {
  XpRegKey root(XpString{});
  root.AddSubkey(u"a");
  ASSERT_TRUE(root.SetValue(u"v", kXpRegDword, {1, 0, 0, 0}));
  EXPECT_EQ(root.FindSubkey(XpString(u"a\0b", 3)), nullptr);
  EXPECT_EQ(root.FindValue(XpString(u"v\0w", 3)), nullptr);
  EXPECT_FALSE(root.RemoveValue(XpString(u"v\0w", 3)));
  EXPECT_FALSE(root.RemoveSubkey(XpString(u"a\0b", 3)));
  EXPECT_NE(root.FindValue(u"V"), nullptr);
}

}  // namespace
