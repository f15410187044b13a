#include "discrec/DiscRecordingProvider.h"

#include <gtest/gtest.h>

#include "FakeDiscRecordingProvider.h"
#include "platform/testsupport/HermeticTest.h"

namespace discrec {
namespace {

using DiscRecordingProvider = testsupport::HermeticTest;

TEST_F(DiscRecordingProvider, LinuxPreparesTheThreadButProvidesNothing) {
  LinuxDiscRecordingProvider provider;
  EXPECT_EQ(provider.InitializeThread(), kOk);
  EXPECT_EQ(provider.UninitializeThread(), kOk);

  std::unique_ptr<IDiscMaster> master;
  EXPECT_EQ(provider.CreateDiscMaster(&master), kClassNotRegistered);
  EXPECT_EQ(master, nullptr);
  std::unique_ptr<IDiscRecorder> recorder;
  EXPECT_EQ(provider.CreateDiscRecorder(&recorder), kClassNotRegistered);
  EXPECT_EQ(recorder, nullptr);
  EXPECT_EQ(provider.CreateDataWriter(), kClassNotRegistered);
  EXPECT_FALSE(Succeeded(kClassNotRegistered));
}

TEST_F(DiscRecordingProvider, TheLinuxProviderIsInUseUnlessOneIsInstalled) {
  std::unique_ptr<IDiscMaster> master;
  EXPECT_EQ(CurrentDiscRecordingProvider().CreateDiscMaster(&master), kClassNotRegistered);
  FakeDiscRecordingProvider fake;
  {
    ScopedDiscRecordingProvider scoped(fake);
    EXPECT_EQ(&CurrentDiscRecordingProvider(), &fake);
    EXPECT_EQ(CurrentDiscRecordingProvider().CreateDiscMaster(&master), kOk);
    EXPECT_NE(master, nullptr);
  }
  EXPECT_NE(&CurrentDiscRecordingProvider(), &fake);
  EXPECT_EQ(CurrentDiscRecordingProvider().CreateDiscMaster(&master), kClassNotRegistered);
}

TEST_F(DiscRecordingProvider, FakeWalksItsRecordersAndFailsWhereTold) {
  FakeDiscRecordingProvider fake;
  fake.recorders = {{u"A", kOk, kOk, kOk, {u"/media/cd/"}, kOk},
                    {u"B", kOk, kOk, static_cast<HResult>(0x80004005), {}, kOk}};
  std::unique_ptr<IDiscMaster> master;
  ASSERT_EQ(fake.CreateDiscMaster(&master), kOk);
  int32_t count = -1;
  ASSERT_EQ(master->GetCount(&count), kOk);
  EXPECT_EQ(count, 2);

  std::u16string id;
  ASSERT_EQ(master->GetItem(1, &id), kOk);
  EXPECT_EQ(id, u"B");
  EXPECT_FALSE(Succeeded(master->GetItem(2, &id)));

  std::unique_ptr<IDiscRecorder> recorder;
  ASSERT_EQ(fake.CreateDiscRecorder(&recorder), kOk);
  std::vector<std::u16string> names;
  EXPECT_FALSE(Succeeded(recorder->GetVolumePathNames(&names)));
  EXPECT_FALSE(Succeeded(recorder->InitializeDiscRecorder(u"C")));
  ASSERT_EQ(recorder->InitializeDiscRecorder(u"A"), kOk);
  ASSERT_EQ(recorder->GetVolumePathNames(&names), kOk);
  EXPECT_EQ(names, std::vector<std::u16string>{u"/media/cd/"});

  ASSERT_EQ(fake.CreateDiscRecorder(&recorder), kOk);
  ASSERT_EQ(recorder->InitializeDiscRecorder(u"B"), kOk);
  EXPECT_EQ(recorder->GetVolumePathNames(&names), static_cast<HResult>(0x80004005));

  fake.countResult = static_cast<HResult>(0x80004005);
  EXPECT_EQ(master->GetCount(&count), static_cast<HResult>(0x80004005));
  fake.masterIsNull = true;
  EXPECT_EQ(fake.CreateDiscMaster(&master), kOk);
  EXPECT_EQ(master, nullptr);
}

}  // namespace
}  // namespace discrec
