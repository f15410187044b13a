#include "framework/app/XfApplication.h"

#include <memory>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/notify/XfNotificationWithPrompt.h"
#include "framework/strings/XfStringLookup.h"
#include "framework/tests/app/TestApplication.h"
#include "framework/tests/notify/NotifyTestSupport.h"
#include "framework/tests/strings/StringsFileFixture.h"
#include "platform/registry/XpRegistry.h"
#include "platform/system/XpSystemInfo.h"
#include "platform/text/XpStringA.h"

namespace {

using framework_test::Dict;
using framework_test::KindNotification;
using framework_test::MakePlain;
using framework_test::MakeProgress;
using framework_test::MakeQuestion;
using framework_test::NotificationPtr;
using framework_test::Probe;
using framework_test::StartTestApplication;
using framework_test::TestApplication;
using framework_test::TestStartUp;
using framework_test::Text;

constexpr const char16_t* kRegistryBase = u"Software\\Kavo Corporation\\QMV";
constexpr const char16_t* kAccessorKey = u"Software\\Kavo Corporation\\QMV\\Accessor\\K2\\1.0";
constexpr const char16_t* kNameKey = u"Strings/ApplicationName";

std::string Strings(const std::string& name, const std::string& onlyKey) {
  return Dict("Strings", Text("ApplicationName", name) + Text(onlyKey, onlyKey + " text"));
}

bool KeyExists(const XpString& path, uint32_t root) {
  XpRegistry key;
  return key.Open(path, root, XpRegistry::kAccessRead) == kXpOk;
}

class ApplicationTest : public framework_test::StringsFileFixture {
 protected:
  void TearDown() override {
    application_.reset();
    StringsFileFixture::TearDown();
  }

  TestApplication& MakeApplication() {
    application_ = std::make_unique<TestApplication>();
    XfSetApplication(application_.get());
    return *application_;
  }

  std::unique_ptr<TestApplication> application_;
};
using XfApplication = ApplicationTest;

TEST_F(XfApplication, BeforeLoadStringsEveryLookUpIsEmpty) {
  TestApplication& application = MakeApplication();

  ASSERT_EQ(application.GetStringsManagers().size(), 1u);
  EXPECT_TRUE(application.GetFirstStringsManager());
  EXPECT_TRUE(XfGetString(kNameKey).IsEmpty());
  EXPECT_TRUE(XfGetStringItem(u"Strings", u"ApplicationName").IsEmpty());
}

TEST_F(XfApplication, LoadStringsKeepsEveryFileThatLoaded) {
  TestApplication& application = MakeApplication();
  const std::string good1 = WriteStrings("good1.xml", Strings("First", "OnlyFirst"));
  const std::string good2 = WriteStrings("good2.xml", Strings("Second", "OnlySecond"));
  const std::string missing = (Root() / "missing.xml").string();
  const XpResult missingError = XfStringsManager().Load(XpString::FromUtf8(missing));
  ASSERT_NE(missingError, kXpOk);

  EXPECT_EQ(application.LoadStrings({XpString::FromUtf8(good1), XpString::FromUtf8(missing),
                                     XpString::FromUtf8(good2)}),
            missingError);

  EXPECT_EQ(application.GetStringsManagers().size(), 2u);
  EXPECT_EQ(XfGetString(u"Strings/OnlyFirst").ToMultiByte().ToStdString(), "OnlyFirst text");
  EXPECT_EQ(XfGetString(u"Strings/OnlySecond").ToMultiByte().ToStdString(), "OnlySecond text");
  EXPECT_EQ(XfGetString(kNameKey).ToMultiByte().ToStdString(), "First");
  EXPECT_EQ(application.GetFirstStringsManager()->GetString(kNameKey).ToMultiByte().ToStdString(),
            "First");
}

TEST_F(XfApplication, LoadStringsWithNothingLoadedLeavesOneEmptyManager) {
  TestApplication& application = MakeApplication();
  const std::string good = WriteStrings("good.xml", Strings("First", "OnlyFirst"));
  ASSERT_EQ(application.LoadStrings({XpString::FromUtf8(good)}), kXpOk);

  for (const XpString& path : {XpString::FromUtf8((Root() / "missing.xml").string()), XpString()}) {
    EXPECT_NE(application.LoadStrings({path}), kXpOk);
    ASSERT_EQ(application.GetStringsManagers().size(), 1u);
    EXPECT_FALSE(application.GetFirstStringsManager()->HasString(u"Strings"));
    EXPECT_TRUE(XfGetString(kNameKey).IsEmpty());
  }
}

// OnNotification called directly, as the oldest observer would be.
TEST_F(XfApplication, HandsOnNotificationsByKind) {
  struct Case {
    const char* name;
    XfNotificationKind kind;
    bool handledBefore;
    bool consumed;
    bool dispatched;
  };
  const Case cases[] = {
      {"internal, handled", 0, true, false, true},
      {"kind 6, handled", 6, true, false, true},
      {"progress, unhandled", 2, false, false, true},
      {"progress, handled", 2, true, false, false},
      {"error, unhandled", 4, false, false, true},
      {"kind 7", 7, false, false, false},
      {"error, consumed", 4, false, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestApplication& application = MakeApplication();
    const NotificationPtr notification(new KindNotification(c.kind, 1, false, false));
    notification->SetHandled(c.handledBefore);
    if (c.consumed) notification->SetConsumed();

    application.OnNotification(notification);

    EXPECT_EQ(application.Dispatched().size(), c.dispatched ? 1u : 0u);
    EXPECT_EQ(notification->IsHandled(), c.handledBefore || !c.consumed);
    application_.reset();
  }
}

TEST_F(XfApplication, ProgressHandledByAnEarlierObserverDoesNotReachTheHandler) {
  TestApplication& application = MakeApplication();
  Probe handling("handling", nullptr);
  handling.SetAction([](const NotificationPtr& n) {
    if (n->GetCode() == 1) n->SetHandled(true);
  });
  application.GetNotificationManager().AddObserver(&handling);

  XfPostNotification(MakeProgress(1));
  XfPostNotification(MakePlain(2));

  ASSERT_TRUE(application.WaitForDispatched(1));
  ASSERT_EQ(application.Dispatched().size(), 1u);
  EXPECT_EQ(application.Dispatched()[0]->GetCode(), 2u);
  application.GetNotificationManager().RemoveObserver(&handling);
}

TEST_F(XfApplication, SetRegistryRootCreatesTheKeyUnderTheCurrentUser) {
  TestApplication& application = MakeApplication();

  EXPECT_EQ(application.SetRegistryRoot(kRegistryBase, u"Accessor/K2\\1.0"), kXpOk);

  EXPECT_TRUE(KeyExists(kAccessorKey, XpRegistry::kRootCurrentUser));
  EXPECT_TRUE(KeyExists(u"Software\\Kavo Corporation\\QMV\\Accessor\\K2",
                        XpRegistry::kRootCurrentUser));
  EXPECT_FALSE(KeyExists(kAccessorKey, XpRegistry::kRootLocalMachine));
  EXPECT_EQ(application.GetRegistryRootPath().ToMultiByte().ToStdString(),
            XpString(kAccessorKey).ToMultiByte().ToStdString());
  EXPECT_EQ(application.GetRegistryBasePath().ToMultiByte().ToStdString(),
            XpString(kRegistryBase).ToMultiByte().ToStdString());
  EXPECT_EQ(application.GetRegistrySubPath().ToMultiByte().ToStdString(), "Accessor/K2\\1.0");
  const XfRegistryKey sub = XfOpenAppRegistrySubKeyForRead(u"Missing");
  EXPECT_FALSE(sub);
  EXPECT_TRUE(XfOpenAppRegistrySubKey(u"Made"));
  EXPECT_TRUE(XfOpenAppRegistrySubKeyForRead(u"Made"));
}

TEST_F(XfApplication, WithoutRegistryRootSubKeysAreNull) {
  MakeApplication();
  EXPECT_FALSE(XfOpenAppRegistrySubKey(u"CheckFlags"));
  EXPECT_FALSE(XfOpenAppRegistrySubKeyForRead(u"CheckFlags"));
}

TEST_F(XfApplication, OpenAppRegistryKeyFollowsCurrentVersion) {
  struct Case {
    const char* name;
    bool machineVersion;
    bool useCurrentVersion;
    const char16_t* expected;
  };
  const Case cases[] = {
      {"with version", true, true, u"Software\\Kavo Corporation\\QMV\\Settings\\1.0"},
      {"without version", false, true, u"Software\\Kavo Corporation\\QMV\\Settings"},
      {"version not asked", true, false, u"Software\\Kavo Corporation\\QMV\\Settings"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestApplication& application = MakeApplication();
    ASSERT_EQ(application.SetRegistryRoot(kRegistryBase, u"Accessor/K2\\1.0"), kXpOk);
    const XpString machinePath = u"Software\\Kavo Corporation\\QMV\\Settings";
    (void)XpRegistry::DeleteKeyTree(machinePath, XpRegistry::kRootLocalMachine);  // may be missing
    if (c.machineVersion) {
      XpRegistry machine;
      ASSERT_EQ(machine.Open(machinePath, XpRegistry::kRootLocalMachine, kXfRegistryReadWrite),
                kXpOk);
      ASSERT_EQ(machine.SetString(u"CurrentVersion", u"1.0"), kXpOk);
    }

    const XfRegistryKey key = XfOpenAppRegistryKey(u"Settings", c.useCurrentVersion,
                                                   XpRegistry::kRootCurrentUser,
                                                   kXfRegistryReadWrite);

    ASSERT_TRUE(key);
    EXPECT_EQ(key->GetPath().ToMultiByte().ToStdString(),
              XpString(c.expected).ToMultiByte().ToStdString());
    EXPECT_EQ(key->GetRoot(), XpRegistry::kRootCurrentUser);
    EXPECT_TRUE(KeyExists(c.expected, XpRegistry::kRootCurrentUser));
    application_.reset();
  }
}

TEST_F(XfApplication, OpenForReadNeedsAnExistingKey) {
  TestApplication& application = MakeApplication();
  ASSERT_EQ(application.SetRegistryRoot(kRegistryBase, u"Accessor/K2\\1.0"), kXpOk);

  EXPECT_FALSE(XfOpenAppRegistryKeyForRead(u"Nowhere", false));
  EXPECT_FALSE(XfOpenMachineRegistryKeyForRead(u"Nowhere", false));
  EXPECT_TRUE(XfOpenAppRegistryKeyForWrite(u"Nowhere", false));
  EXPECT_TRUE(XfOpenAppRegistryKeyForRead(u"Nowhere", false));
  EXPECT_TRUE(XfOpenAppRegistryKeyForRead(u"", false));
}

TEST_F(XfApplication, RegistryReadsLeaveTheOutputAloneWhenThereIsNoValue) {
  TestApplication& application = MakeApplication();
  ASSERT_EQ(application.SetRegistryRoot(kRegistryBase, u"Accessor/K2\\1.0"), kXpOk);
  const XfRegistryKey key = XfOpenAppRegistryKeyForWrite(u"Values", false);
  ASSERT_TRUE(key);
  ASSERT_EQ(key->SetDword(u"Count", 12), kXpOk);
  ASSERT_EQ(key->SetDword(u"Flag", 1), kXpOk);
  ASSERT_EQ(key->SetString(u"Name", u"Kavo"), kXpOk);
  ASSERT_EQ(key->SetStringList(u"Recent", {u"a", u"b"}), kXpOk);

  uint32_t number = 5;
  bool flag = false;
  XpString name = u"unset";
  XpStringVector list = {u"x"};
  EXPECT_TRUE(XfRegistryReadDword(key.get(), u"Count", number));
  EXPECT_TRUE(XfRegistryReadBool(key.get(), u"Flag", flag));
  EXPECT_TRUE(XfRegistryReadString(key.get(), u"Name", name));
  EXPECT_TRUE(XfRegistryReadStringList(key.get(), u"Recent", list));
  EXPECT_EQ(number, 12u);
  EXPECT_TRUE(flag);
  EXPECT_EQ(name.ToMultiByte().ToStdString(), "Kavo");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].ToMultiByte().ToStdString(), "b");

  const XpRegistry* const keys[] = {key.get(), nullptr};
  for (const XpRegistry* from : keys) {
    EXPECT_FALSE(XfRegistryReadDword(from, u"Absent", number));
    EXPECT_FALSE(XfRegistryReadBool(from, u"Absent", flag));
    EXPECT_FALSE(XfRegistryReadString(from, u"Absent", name));
    EXPECT_FALSE(XfRegistryReadStringList(from, u"Absent", list));
  }
  EXPECT_EQ(number, 12u);
  EXPECT_TRUE(flag);
  EXPECT_EQ(name.ToMultiByte().ToStdString(), "Kavo");
  EXPECT_EQ(list.size(), 2u);
}

TEST_F(XfApplication, SupportedSystemNeedsNtFiveOrLater) {
  struct Case {
    const char* version;
    bool supported;
  };
  const Case cases[] = {
      {nullptr, true}, {"2.5.0", true}, {"2.4.0", false}, {"1.4.10", false}, {"fail", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version != nullptr ? c.version : "default");
    if (c.version != nullptr) SetEnv(kXpOsVersionVariable, c.version);
    EXPECT_EQ(XfIsSupportedSystem(), c.supported);
  }
}

TEST_F(XfApplication, GlobalApplicationComesAndGoes) {
  EXPECT_EQ(XfGetApplication(), nullptr);
  EXPECT_EQ(XfGetNotificationManager(), nullptr);
  EXPECT_FALSE(XfPostNotification(MakePlain(1)));
  EXPECT_FALSE(XfOpenAppRegistryKeyForWrite(u"Any", false));

  TestApplication& application = MakeApplication();
  EXPECT_EQ(XfGetApplication(), &application);
  EXPECT_EQ(XfGetNotificationManager(), &application.GetNotificationManager());
  EXPECT_FALSE(application.GetNotificationManager().IsObserverAbsent(&application));

  application_.reset();
  EXPECT_EQ(XfGetApplication(), nullptr);
  EXPECT_TRUE(XfGetStringsManagers().empty());
}

TEST_F(XfApplication, HoldsThePathConverter) {
  TestApplication& application = MakeApplication();
  const XpSharedPtr<XpFilePathConverter> converter = application.GetPathConverter();
  ASSERT_TRUE(converter);
  const XpString documents = XpString::FromUtf8((Root() / "home/Documents").string());
  EXPECT_EQ(converter->ToPortablePath(documents + u"/a.jpg"), XpString(u"<MYDOCUMENTS>/a.jpg"));
  EXPECT_EQ(converter->ToRealPath(u"<MYDOCUMENTS>/a.jpg"), documents + u"/a.jpg");
}

TEST_F(XfApplication, BaseHooksFail) {
  ::XfApplication base;
  EXPECT_EQ(base.Start(u""), kXpErrGeneric);
  EXPECT_EQ(base.Stop(u""), kXpErrGeneric);
}

TEST_F(XfApplication, StartUpWithAMissingStringsFile) {
  WriteStrings("Strings.xml", Strings("Kavo Viewer", "OnlyCurrent"));
  WriteStrings("PreviousCommonStrings.xml", Strings("Old Viewer", "OnlyCommon"));

  TestStartUp startUp = StartTestApplication(Root());
  TestApplication& application = *startUp.application;
  // A question queues behind the start-up's error on the reply queue.
  XfPostNotification(MakeQuestion(2));

  EXPECT_EQ(startUp.startResult, kXpOk);
  ASSERT_TRUE(application.WaitForDispatched(2));
  const auto dispatched = application.Dispatched();
  ASSERT_EQ(dispatched.size(), 2u);
  const XpSharedPtr<XfNotificationWithPrompt> error(dispatched[0]);
  ASSERT_TRUE(error);
  EXPECT_EQ(error->GetKind(), kXfKindError);
  EXPECT_EQ(error->GetMessage().ToMultiByte().ToStdString(), "Can't load Strings.xml");
  EXPECT_EQ(error->GetCode(), 0u);
  EXPECT_EQ(error->GetPromptStyle(), 0x3001u);
  EXPECT_EQ(error->GetCaption().ToMultiByte().ToStdString(), "Kavo Viewer");
  EXPECT_FALSE(error->GetSubject());
  EXPECT_FALSE(error->GetTarget());
  EXPECT_FALSE(error->GetObject());
  EXPECT_EQ(dispatched[1]->GetCode(), 2u);
  EXPECT_EQ(XfGetString(u"Strings/OnlyCurrent").ToMultiByte().ToStdString(), "OnlyCurrent text");
  EXPECT_EQ(XfGetString(u"Strings/OnlyCommon").ToMultiByte().ToStdString(), "OnlyCommon text");
  EXPECT_TRUE(KeyExists(kAccessorKey, XpRegistry::kRootCurrentUser));
  application_ = std::move(startUp.application);
}

TEST_F(XfApplication, StartUpWithEveryStringsFilePostsNothing) {
  for (const char* name : framework_test::kStringsFileNames) {
    WriteStrings(name, Strings(name, "Only"));
  }

  TestStartUp startUp = StartTestApplication(Root());
  application_ = std::move(startUp.application);
  XfPostNotification(MakeQuestion(2));

  ASSERT_TRUE(application_->WaitForDispatched(1));
  ASSERT_EQ(application_->Dispatched().size(), 1u);
  EXPECT_EQ(application_->Dispatched()[0]->GetCode(), 2u);
  EXPECT_EQ(application_->GetStringsManagers().size(), 3u);
  EXPECT_EQ(XfGetString(kNameKey).ToMultiByte().ToStdString(), "Strings.xml");
}

}  // namespace
