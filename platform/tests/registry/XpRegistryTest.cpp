#include "platform/registry/XpRegistry.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/registry/XpRegistryStore.h"
#include "platform/registry/XpRegistryTree.h"
#include "platform/testsupport/FaultInjection.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"
#include "platform/tests/text/XpStringPrinters.h"

namespace {

namespace fs = std::filesystem;

constexpr uint32_t kMachine = ::XpRegistry::kRootLocalMachine;
constexpr uint32_t kUser = ::XpRegistry::kRootCurrentUser;
constexpr uint32_t kRead = ::XpRegistry::kAccessRead;
constexpr uint32_t kWrite = ::XpRegistry::kAccessWrite;
constexpr uint32_t kReadWrite = kRead | kWrite;

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

struct KeyDeleter {
  void operator()(::XpRegistry* key) const { ::XpRegistry::CloseAndDelete(key); }
};
using KeyPtr = std::unique_ptr<::XpRegistry, KeyDeleter>;

class RegistryFixture : public testsupport::HermeticTest {
 protected:
  fs::path RegistryDir() const { return std::getenv("KAVO_REGISTRY_DIR"); }
  fs::path UserFile() const { return RegistryDir() / "HKEY_CURRENT_USER.reg"; }
  ::XpRegistryStore& UserStore() { return ::XpRegistryStore::ForRoot(XpRegistryRoot::kCurrentUser); }

  testsupport::FaultInjection faults_;
};
using XpRegistry = RegistryFixture;

TEST_F(XpRegistry, AccessWithoutReadOrWriteFailsAndTouchesNothing) {
  ::XpRegistry key;
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.GetPath(), u"");
  EXPECT_EQ(key.GetRoot(), 0u);
  EXPECT_EQ(key.GetAccess(), kRead);

  for (uint32_t access : {0u, ::XpRegistry::kAccessView64, ::XpRegistry::kAccessView32, 0xCu}) {
    EXPECT_EQ(key.Open(u"Software\\A", kUser, access), kXpErrGeneric) << access;
    EXPECT_FALSE(key.IsOpen());
  }
  EXPECT_TRUE(fs::is_empty(RegistryDir()));

  // A failed re-open leaves the object closed.
  ASSERT_EQ(key.Open(u"Software\\A", kUser, kWrite | ::XpRegistry::kAccessView64), kXpOk);
  EXPECT_EQ(key.GetAccess(), kWrite | ::XpRegistry::kAccessView64);
  EXPECT_EQ(key.Open(u"Software\\A", kUser, 0), kXpErrGeneric);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(key.Close(), kXpErrGeneric);
}

TEST_F(XpRegistry, ReadOnlyOpenNeedsTheKeyAndWriteAccessCreatesIt) {
  for (uint32_t access : {kWrite, kReadWrite}) {
    const XpString path = access == kWrite ? u"Software\\Two" : u"Software\\Three";
    ::XpRegistry key;
    EXPECT_EQ(key.Open(path, kUser, kRead), kXpErrGeneric);
    EXPECT_FALSE(fs::exists(UserFile()));
    ASSERT_EQ(key.Open(path, kUser, access), kXpOk);
    EXPECT_EQ(key.GetPath(), path);
    EXPECT_EQ(key.GetRoot(), kUser);
    EXPECT_EQ(key.GetAccess(), access);
    EXPECT_EQ(key.Open(path, kUser, kRead | ::XpRegistry::kAccessView32), kXpOk);
    EXPECT_EQ(key.Close(), kXpOk);
    fs::remove(UserFile());
  }
}

TEST_F(XpRegistry, GettersFallBackToTheDefault) {
  ::XpRegistry key;
  EXPECT_EQ(key.QueryDword(u"x", 7), 7u);
  EXPECT_EQ(key.QueryString(u"x", u"d"), u"d");
  EXPECT_EQ(key.SetDword(u"x", 1), kXpErrGeneric);

  ASSERT_EQ(key.Open(u"Software\\A", kUser, kReadWrite), kXpOk);
  ASSERT_EQ(key.SetString(u"Text", u"12"), kXpOk);
  ASSERT_EQ(key.SetDword(u"Number", 12), kXpOk);
  ASSERT_EQ(key.SetBool(u"Flag", true), kXpOk);
  ASSERT_EQ(key.SetString(u"Empty", u""), kXpOk);
  ASSERT_EQ(UserStore().SetValue(u"Software\\A", u"Expand", kXpRegExpandSz, {0x61, 0, 0, 0}), kXpOk);
  ASSERT_EQ(UserStore().SetValue(u"Software\\A", u"Short", kXpRegDword, {0x05}), kXpOk);
  ASSERT_EQ(UserStore().SetValue(u"Software\\A", u"Long", kXpRegDword, {1, 0, 0, 0, 0}), kXpOk);
  ASSERT_EQ(UserStore().SetValue(u"Software\\A", u"NoData", kXpRegDword, {}), kXpOk);

  EXPECT_EQ(key.QueryDword(u"Text", 99), 99u);
  EXPECT_EQ(key.QueryString(u"Number", u"def"), u"def");
  EXPECT_EQ(key.QueryString(u"Expand", u"def"), u"def");
  EXPECT_EQ(key.QueryDword(u"Missing", 99), 99u);
  EXPECT_EQ(key.QueryDword(u"Number", 99), 12u);
  EXPECT_EQ(key.QueryDword(u"Short", 99), 5u);
  EXPECT_EQ(key.QueryDword(u"Long", 99), 99u);
  EXPECT_EQ(key.QueryDword(u"NoData", 99), 99u);
  EXPECT_EQ(key.QueryString(u"Text", u"def"), u"12");
  EXPECT_EQ(key.QueryString(u"Empty", u"def"), u"");
  EXPECT_TRUE(key.QueryBool(u"Flag", false));
  EXPECT_FALSE(key.QueryBool(u"Text", false));
  EXPECT_TRUE(key.QueryBool(u"Text", true));
  EXPECT_EQ(key.QueryDword(u"Flag", 0), 1u);
  EXPECT_TRUE(key.HasValue(u"Text"));
  EXPECT_FALSE(key.HasValue(u"NoData"));
  EXPECT_FALSE(key.HasValue(u"Missing"));
}

TEST_F(XpRegistry, BinaryValuesFitTheCallersBuffer) {
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\A", kUser, kReadWrite), kXpOk);
  ASSERT_EQ(UserStore().SetValue(u"Software\\A", u"Blob", kXpRegBinary, {1, 2, 3}), kXpOk);
  ASSERT_EQ(key.SetDword(u"Number", 1), kXpOk);

  uint8_t buffer[4] = {9, 9, 9, 9};
  uint32_t size = sizeof(buffer);
  ASSERT_TRUE(key.QueryBinary(u"Blob", buffer, &size));
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(buffer[0], 1);
  EXPECT_EQ(buffer[2], 3);
  EXPECT_EQ(buffer[3], 9);

  uint8_t small[2] = {0, 0};
  size = sizeof(small);
  EXPECT_FALSE(key.QueryBinary(u"Blob", small, &size));
  EXPECT_EQ(size, 2u);
  size = sizeof(buffer);
  EXPECT_FALSE(key.QueryBinary(u"Number", buffer, &size));
  EXPECT_FALSE(key.QueryBinary(u"Missing", buffer, &size));
  EXPECT_EQ(size, 4u);
}

TEST_F(XpRegistry, StringListsAreACountAndNumberedValues) {
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\A", kUser, kReadWrite), kXpOk);
  EXPECT_EQ(key.QueryStringList(u"Recent", {u"d0", u"d1"}), (XpStringVector{u"d0", u"d1"}));
  ASSERT_EQ(key.SetStringList(u"Recent", {u"one", u"two", u"three"}), kXpOk);

  EXPECT_EQ(key.QueryDword(u"RecentCount", 0), 3u);
  EXPECT_EQ(key.QueryString(u"Recent0", u""), u"one");
  EXPECT_EQ(key.QueryString(u"Recent1", u""), u"two");
  EXPECT_EQ(key.QueryString(u"Recent2", u""), u"three");
  EXPECT_EQ(key.QueryStringList(u"Recent", {u"default"}), (XpStringVector{u"one", u"two", u"three"}));

  ASSERT_EQ(::XpRegistry::DeleteValue(u"Software\\A\\Recent2", kUser), kXpOk);
  EXPECT_EQ(key.QueryStringList(u"Recent", {u"default"}), (XpStringVector{u"one", u"two", u""}));
  EXPECT_EQ(key.QueryStringList(u"Recent", {u"d0", u"d1", u"d2"}), (XpStringVector{u"one", u"two", u"d2"}));

  // A damaged count reads no further than the key can hold.
  ASSERT_EQ(key.SetDword(u"RecentCount", 0xFFFFFFFF), kXpOk);
  EXPECT_EQ(key.QueryStringList(u"Recent", {}).size(), 3u);

  ::XpRegistry closed;
  EXPECT_EQ(closed.SetStringList(u"Recent", {u"x"}), kXpErrGeneric);
  EXPECT_EQ(closed.QueryStringList(u"Recent", {u"x"}), XpStringVector{u"x"});
}

TEST_F(XpRegistry, MultiStringsReadTheirEntriesUpToTheFirstEmptyOne) {
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\A", kUser, kReadWrite), kXpOk);
  struct Case {
    std::vector<uint8_t> data;
    XpStringVector entries;
  };
  const Case cases[] = {
      {{0x61, 0, 0, 0, 0, 0}, {u"a"}},
      {{0x61, 0, 0x62, 0, 0, 0, 0x63, 0, 0, 0, 0, 0}, {u"ab", u"c"}},
      // An empty entry ends the list; a missing final terminator does not lose the entry.
      {{0x61, 0, 0, 0, 0, 0, 0x62, 0, 0, 0}, {u"a"}},
      {{0x61, 0, 0x62, 0}, {u"ab"}},
      {{0, 0}, {}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(UserStore().SetValue(u"Software\\A", u"History", kXpRegMultiSz, c.data), kXpOk);
    XpStringVector list{u"kept"};
    EXPECT_TRUE(key.QueryMultiString(u"History", &list));
    EXPECT_EQ(list, c.entries);
  }

  ASSERT_EQ(key.SetMultiString(u"Written", {u"2601", u"3100"}), kXpOk);
  XpStringVector written;
  EXPECT_TRUE(key.QueryMultiString(u"Written", &written));
  EXPECT_EQ(written, (XpStringVector{u"2601", u"3100"}));

  // Another type, a missing value, a null list and a closed key leave the list alone.
  ASSERT_EQ(key.SetString(u"Text", u"2601"), kXpOk);
  XpStringVector list{u"kept"};
  EXPECT_FALSE(key.QueryMultiString(u"Text", &list));
  EXPECT_FALSE(key.QueryMultiString(u"Missing", &list));
  EXPECT_FALSE(key.QueryMultiString(u"Written", nullptr));
  ::XpRegistry closed;
  EXPECT_FALSE(closed.QueryMultiString(u"Written", &list));
  EXPECT_EQ(list, XpStringVector{u"kept"});
}

TEST_F(XpRegistry, SlashesAndCaseNameTheSameKey) {
  ::XpRegistry writer;
  ASSERT_EQ(writer.Open(u"Software/A/B", kUser, kWrite), kXpOk);
  EXPECT_EQ(writer.GetPath(), u"Software\\A\\B");
  ASSERT_EQ(writer.SetDword(u"Name", 5), kXpOk);

  ::XpRegistry reader;
  ASSERT_EQ(reader.Open(u"SOFTWARE\\a\\b", kUser, kRead), kXpOk);
  EXPECT_EQ(reader.QueryDword(u"NAME", 0), 5u);
  EXPECT_NE(ReadText(UserFile()).find("[HKEY_CURRENT_USER\\Software\\A\\B]\n\"Name\"=dword:00000005\n"),
            std::string::npos);

  // Value names have '/' turned into '\' as well.
  ASSERT_EQ(writer.SetDword(u"x/y", 1), kXpOk);
  XpStringVector names;
  ASSERT_EQ(UserStore().EnumValues(u"Software\\A\\B", &names), kXpOk);
  EXPECT_EQ(names, (XpStringVector{u"Name", u"x\\y"}));
}

TEST_F(XpRegistry, DeleteHelpersTakeTheirPathsAsTheyStand) {
  ::XpRegistry machine;
  ASSERT_EQ(machine.Open(u"Software\\A\\B", kMachine, kWrite), kXpOk);
  ASSERT_EQ(machine.SetDword(u"Name", 1), kXpOk);
  ::XpRegistry user;
  ASSERT_EQ(user.Open(u"Software\\A\\B", kUser, kReadWrite), kXpOk);
  ASSERT_EQ(user.SetDword(u"Name", 2), kXpOk);

  // Only the last '\' splits, so a '/' path names a value under the root.
  EXPECT_EQ(::XpRegistry::DeleteValue(u"Software/A/B/Name", 2), kXpErrGeneric);
  EXPECT_EQ(::XpRegistry::DeleteValue(u"Software\\A\\B\\Name", 2), kXpOk);
  EXPECT_FALSE(user.HasValue(u"Name"));
  EXPECT_EQ(ReadText(UserFile()).find("Name"), std::string::npos);
  EXPECT_EQ(machine.QueryDword(u"Name", 0), 0u) << "write-only access reads nothing";
  ::XpRegistry machineReader;
  ASSERT_EQ(machineReader.Open(u"Software\\A\\B", kMachine, kRead), kXpOk);
  EXPECT_EQ(machineReader.QueryDword(u"Name", 0), 1u);
  EXPECT_EQ(::XpRegistry::DeleteValue(u"Software\\A\\B\\Name", 2), kXpErrGeneric);

  ASSERT_EQ(user.SetDword(u"AtRoot", 1), kXpOk);
  ASSERT_EQ(UserStore().SetValue(u"", u"AtRoot", kXpRegDword, {1, 0, 0, 0}), kXpOk);
  EXPECT_EQ(::XpRegistry::DeleteValue(u"AtRoot", kUser), kXpOk);
  EXPECT_TRUE(user.HasValue(u"AtRoot"));

  EXPECT_EQ(::XpRegistry::DeleteKeyTree(u"Software\\A", kUser), kXpOk);
  EXPECT_TRUE(UserStore().KeyExists(u"Software"));
  EXPECT_FALSE(UserStore().KeyExists(u"Software\\A"));
  EXPECT_EQ(::XpRegistry::DeleteKeyTree(u"Software\\A", kUser), kXpErrGeneric);
  EXPECT_EQ(::XpRegistry::DeleteKeyTree(u"", kUser), kXpErrGeneric);
  EXPECT_TRUE(UserStore().KeyExists(u"Software"));
  EXPECT_TRUE(machineReader.HasValue(u"Name"));
}

TEST_F(XpRegistry, AccessBitsDecideWhatAnOpenKeyMayDo) {
  ::XpRegistry writer;
  ASSERT_EQ(writer.Open(u"Software\\A", kUser, kWrite), kXpOk);
  ASSERT_EQ(writer.SetDword(u"v", 3), kXpOk);
  EXPECT_FALSE(writer.HasValue(u"v"));

  ::XpRegistry reader;
  ASSERT_EQ(reader.Open(u"Software\\A", kUser, kRead), kXpOk);
  EXPECT_EQ(reader.QueryDword(u"v", 0), 3u);
  EXPECT_EQ(reader.SetDword(u"v", 4), kXpErrGeneric);
  EXPECT_EQ(reader.QueryDword(u"v", 0), 3u);
}

TEST_F(XpRegistry, AKeyDeletedElsewhereReadsDefaultsAndRefusesChanges) {
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\A", kUser, kReadWrite), kXpOk);
  ASSERT_EQ(key.SetDword(u"v", 3), kXpOk);
  ASSERT_EQ(::XpRegistry::DeleteKeyTree(u"Software\\A", kUser), kXpOk);
  EXPECT_TRUE(key.IsOpen());
  EXPECT_EQ(key.QueryDword(u"v", 9), 9u);
  EXPECT_EQ(key.SetDword(u"v", 4), kXpErrGeneric);
  EXPECT_FALSE(UserStore().KeyExists(u"Software\\A"));
}

TEST_F(XpRegistry, RefusedWriteIsAFailure) {
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\A", kUser, kReadWrite), kXpOk);
  ASSERT_EQ(key.SetDword(u"v", 1), kXpOk);
  faults_.Add(testsupport::Fault(testsupport::SysCall::kAccess, RegistryDir().string()).Errno(EACCES));
  EXPECT_EQ(key.SetDword(u"v", 2), kXpErrGeneric);
  EXPECT_EQ(UserStore().SetValue(u"Software\\A", u"v", kXpRegDword, {2, 0, 0, 0}), kXpErrAccessDenied);
  EXPECT_EQ(key.QueryDword(u"v", 0), 1u);
  ::XpRegistry other;
  EXPECT_EQ(other.Open(u"Software\\A", kUser, kWrite), kXpErrGeneric);
  EXPECT_EQ(other.Open(u"Software\\New", kUser, kReadWrite), kXpErrGeneric);
  EXPECT_EQ(other.Open(u"Software\\A", kUser, kRead), kXpOk);
}

TEST_F(XpRegistry, OpenNewOpenSubKeyAndCloseAndDelete) {
  EXPECT_EQ(::XpRegistry::OpenNew(u"Software\\Missing", kUser, kRead), nullptr);
  EXPECT_EQ(::XpRegistry::OpenNew(u"Software\\A", kUser, 0), nullptr);
  KeyPtr parent(::XpRegistry::OpenNew(u"Software/A", kMachine, kReadWrite | ::XpRegistry::kAccessView64));
  ASSERT_NE(parent, nullptr);
  EXPECT_TRUE(parent->IsOpen());
  EXPECT_EQ(parent->GetPath(), u"Software\\A");

  EXPECT_EQ(::XpRegistry::OpenSubKey(parent.get(), u"Sub", kRead), nullptr);
  KeyPtr child(::XpRegistry::OpenSubKey(parent.get(), u"Sub", kWrite));
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(child->GetPath(), u"Software\\A\\Sub");
  EXPECT_EQ(child->GetRoot(), kMachine);
  ASSERT_EQ(child->SetString(u"s", u"machine"), kXpOk);
  KeyPtr reader(::XpRegistry::OpenSubKey(parent.get(), u"sub", kRead));
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->QueryString(u"s", u""), u"machine");
  EXPECT_FALSE(fs::exists(UserFile()));

  EXPECT_EQ(::XpRegistry::OpenSubKey(nullptr, u"Sub", kRead), nullptr);
  ::XpRegistry closed;
  EXPECT_EQ(::XpRegistry::OpenSubKey(&closed, u"Sub", kReadWrite), nullptr);
  ::XpRegistry::CloseAndDelete(nullptr);
  ::XpRegistry::CloseAndDelete(child.release());
}

TEST_F(XpRegistry, SeparateObjectsOnSeparateThreadsShareTheStore) {
  constexpr int kThreads = 4;
  constexpr int kValuesEach = 10;
  std::vector<std::thread> threads;
  std::vector<int> failures(kThreads, 0);
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &failures] {
      ::XpRegistry key;
      if (key.Open(u"Software\\Threads", kUser, kReadWrite) != kXpOk) {
        ++failures[t];
        return;
      }
      for (int i = 0; i < kValuesEach; ++i) {
        XpString name;
        EXPECT_EQ(name.Format(u"t%d_%d", t, i), kXpOk);
        if (key.SetDword(name, static_cast<uint32_t>(i)) != kXpOk) ++failures[t];
        if (key.QueryDword(name, 999) != static_cast<uint32_t>(i)) ++failures[t];
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, std::vector<int>(kThreads, 0));
  XpStringVector names;
  ASSERT_EQ(UserStore().EnumValues(u"Software\\Threads", &names), kXpOk);
  EXPECT_EQ(names.size(), static_cast<size_t>(kThreads * kValuesEach));
}

TEST_F(XpRegistry, AValueWrittenByAChildIsReadByTheParent) {
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\A", kUser, kReadWrite), kXpOk);
  EXPECT_EQ(key.QueryString(u"FromChild", u"none"), u"none");

  testsupport::ForkedChild child;
  ASSERT_TRUE(child.Start([](testsupport::ChildChannel&) {
    ::XpRegistry childKey;
    if (childKey.Open(u"Software\\A", kUser, kWrite) != kXpOk) return 1;
    return childKey.SetString(u"FromChild", u"hello") == kXpOk ? 0 : 2;
  }));
  ASSERT_EQ(child.Wait(), 0);
  EXPECT_EQ(key.QueryString(u"FromChild", u"none"), u"hello");
}

TEST_F(XpRegistry, EnumerationListsNamesInInsertionOrderWithTheirCase) {
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\Enum", kUser, kReadWrite), kXpOk);
  for (const char16_t* name : {u"Zeta", u"alpha", u"Mid/Dle"}) {
    KeyPtr sub(::XpRegistry::OpenSubKey(&key, name, kWrite));
    ASSERT_NE(sub, nullptr);
  }
  ASSERT_EQ(key.SetDword(u"ValueB", 1), kXpOk);
  ASSERT_EQ(key.SetString(u"valueA", u"x"), kXpOk);
  ASSERT_EQ(key.SetDword(u"VALUEB", 2), kXpOk);  // the same value: no new name

  XpStringVector names{u"stale"};
  ASSERT_EQ(key.EnumSubkeys(&names), kXpOk);
  // "Mid/Dle" is two levels: only "Mid" lies directly below the key.
  EXPECT_EQ(names, (XpStringVector{u"Zeta", u"alpha", u"Mid"}));
  ASSERT_EQ(key.EnumValues(&names), kXpOk);
  EXPECT_EQ(names, (XpStringVector{u"ValueB", u"valueA"}));

  KeyPtr leaf(::XpRegistry::OpenNew(u"software\\ENUM\\zeta", kUser, kRead));
  ASSERT_NE(leaf, nullptr);
  ASSERT_EQ(leaf->EnumSubkeys(&names), kXpOk);
  EXPECT_TRUE(names.empty());
  ASSERT_EQ(leaf->EnumValues(&names), kXpOk);
  EXPECT_TRUE(names.empty());
}

TEST_F(XpRegistry, EnumerationNeedsAKeyOpenForReading) {
  ::XpRegistry writeOnly;
  ASSERT_EQ(writeOnly.Open(u"Software\\Enum\\Sub", kUser, kWrite), kXpOk);
  ASSERT_EQ(writeOnly.SetDword(u"V", 1), kXpOk);
  XpStringVector names{u"stale"};
  EXPECT_EQ(writeOnly.EnumValues(&names), kXpErrGeneric);
  EXPECT_TRUE(names.empty());

  ::XpRegistry parent;
  ASSERT_EQ(parent.Open(u"Software\\Enum", kUser, kRead), kXpOk);
  EXPECT_EQ(parent.EnumSubkeys(nullptr), kXpErrGeneric);
  ASSERT_EQ(::XpRegistry::DeleteKeyTree(u"Software\\Enum", kUser), kXpOk);
  names = {u"stale"};
  EXPECT_EQ(parent.EnumSubkeys(&names), kXpErrGeneric);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(parent.EnumValues(&names), kXpErrGeneric);

  ::XpRegistry closed;
  EXPECT_EQ(closed.EnumSubkeys(&names), kXpErrGeneric);
  EXPECT_EQ(closed.EnumValues(&names), kXpErrGeneric);
}

TEST_F(XpRegistry, NamesWithANulAndKeysTooDeepAreRefused) {
  using namespace std::string_view_literals;
  ::XpRegistry key;
  ASSERT_EQ(key.Open(u"Software\\Nul", kUser, kReadWrite), kXpOk);
  ASSERT_EQ(key.SetString(u"a", u"plain"), kXpOk);
  EXPECT_EQ(key.SetString(XpString(u"a\0b"sv), u"x"), kXpErrGeneric);
  EXPECT_EQ(key.QueryString(XpString(u"a\0b"sv), u"none"), u"none");
  EXPECT_EQ(key.QueryString(u"a", u"none"), u"plain");

  ::XpRegistry nulKey;
  EXPECT_EQ(nulKey.Open(XpString(u"Software\\Nul\\x\0y"sv), kUser, kReadWrite), kXpErrGeneric);
  EXPECT_EQ(nulKey.Open(XpString(u"Software\\Nul\0y"sv), kUser, kRead), kXpErrGeneric);

  XpString deepest(u"Software");
  for (size_t depth = 1; depth < kXpRegMaxKeyDepth; ++depth) deepest += u"\\k";
  ::XpRegistry deep;
  EXPECT_EQ(deep.Open(deepest, kUser, kReadWrite), kXpOk);
  EXPECT_EQ(deep.Open(deepest + u"\\k", kUser, kReadWrite), kXpErrGeneric);
  // Each save reloads unchanged: no duplicate sibling, no refused file.
  EXPECT_EQ(ReadText(UserFile()).find('\0'), std::string::npos);
  ::XpRegistry reread;
  ASSERT_EQ(reread.Open(u"Software\\Nul", kUser, kRead), kXpOk);
  EXPECT_EQ(reread.QueryString(u"a", u"none"), u"plain");
}

}  // namespace
