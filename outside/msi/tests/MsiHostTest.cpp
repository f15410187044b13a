#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "msi/MsiApi.h"
#include "msi/MsiInstallation.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

constexpr uint32_t kCapacity = 262;

class MsiHost : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    install_ = msi::CreateInstallation({{u"A", u"x"}, {u"E", u""}}, {u"RU_Feature", u"EN_Feature"});
  }
  void TearDown() override {
    msi::CloseInstallation(install_);
    HermeticTest::TearDown();
  }

  struct Read {
    uint32_t result;
    std::u16string value;
    uint32_t size;
  };
  Read Get(MSIHANDLE install, const char16_t* name, uint32_t capacity) {
    std::vector<char16_t> buffer(capacity + 1, u'#');
    uint32_t size = capacity;
    const uint32_t result = MsiGetPropertyW(install, name, buffer.data(), &size);
    // The unit past the capacity must never be written.
    EXPECT_EQ(buffer[capacity], u'#');
    const std::u16string value = capacity > 0 ? std::u16string(buffer.data()) : u"";
    return Read{result, value, size};
  }

  MSIHANDLE install_ = 0;
};

TEST_F(MsiHost, GetPropertyFollowsTheInstallersBufferRules) {
  struct Case {
    const char16_t* name;
    uint32_t capacity;
    uint32_t result;
    std::u16string value;
    uint32_t size;
  } cases[] = {
      {u"A", kCapacity, kMsiSuccess, u"x", 1},
      {u"A", 2, kMsiSuccess, u"x", 1},
      {u"A", 1, kMsiMoreData, u"", 1},
      {u"B", kCapacity, kMsiUnknownProperty, u"", 0},
      {u"B", 1, kMsiUnknownProperty, u"", 0},
      {u"E", kCapacity, kMsiSuccess, u"", 0},
      {u"a", kCapacity, kMsiUnknownProperty, u"", 0},
  };
  for (const Case& c : cases) {
    const Read read = Get(install_, c.name, c.capacity);
    EXPECT_EQ(read.result, c.result) << c.capacity;
    EXPECT_EQ(read.value, c.value) << c.capacity;
    EXPECT_EQ(read.size, c.size) << c.capacity;
  }
  ASSERT_EQ(MsiSetPropertyW(install_, u"L", u"abcdef"), kMsiSuccess);
  const Read cut = Get(install_, u"L", 4);
  EXPECT_EQ(cut.result, kMsiMoreData);
  EXPECT_EQ(cut.value, u"abc");
  EXPECT_EQ(cut.size, 6u);
  // Capacity 0: nothing is written, the length is told.
  uint32_t size = 0;
  char16_t untouched = u'#';
  EXPECT_EQ(MsiGetPropertyW(install_, u"L", &untouched, &size), kMsiMoreData);
  EXPECT_EQ(untouched, u'#');
  EXPECT_EQ(size, 6u);
}

TEST_F(MsiHost, BadHandlesAndArguments) {
  char16_t buffer[kCapacity];
  uint32_t size = kCapacity;
  EXPECT_EQ(MsiGetPropertyW(0, u"A", buffer, &size), kMsiInvalidHandle);
  EXPECT_EQ(MsiGetPropertyW(install_, nullptr, buffer, &size), kMsiInvalidParameter);
  EXPECT_EQ(MsiGetPropertyW(install_, u"A", buffer, nullptr), kMsiInvalidParameter);
  EXPECT_EQ(MsiSetPropertyW(install_, nullptr, u"v"), kMsiInvalidParameter);
  EXPECT_EQ(MsiSetFeatureStateW(install_, nullptr, kMsiStateLocal), kMsiInvalidParameter);

  const MSIHANDLE closed = msi::CreateInstallation({{u"A", u"x"}}, {u"RU_Feature"});
  ASSERT_NE(closed, 0u);
  ASSERT_TRUE(msi::CloseInstallation(closed));
  EXPECT_FALSE(msi::CloseInstallation(closed));
  for (const MSIHANDLE handle : {MSIHANDLE{0}, closed}) {
    size = kCapacity;
    EXPECT_EQ(MsiGetPropertyW(handle, u"A", buffer, &size), kMsiInvalidHandle);
    EXPECT_EQ(MsiSetPropertyW(handle, u"A", u"y"), kMsiInvalidHandle);
    EXPECT_EQ(MsiSetFeatureStateW(handle, u"RU_Feature", kMsiStateLocal), kMsiInvalidHandle);
    EXPECT_EQ(MsiAskUserYesNo(handle, u"c", u"t"), kMsiAnswerNo);
    EXPECT_FALSE(msi::PropertyOf(handle, u"A"));
  }
}

TEST_F(MsiHost, SetPropertyRemovesWithNullAndKeepsEmpty) {
  ASSERT_EQ(MsiSetPropertyW(install_, u"A", nullptr), kMsiSuccess);
  EXPECT_EQ(Get(install_, u"A", kCapacity).result, kMsiUnknownProperty);
  ASSERT_EQ(MsiSetPropertyW(install_, u"A", u""), kMsiSuccess);
  const Read empty = Get(install_, u"A", kCapacity);
  EXPECT_EQ(empty.result, kMsiSuccess);
  EXPECT_EQ(empty.size, 0u);
  ASSERT_EQ(MsiSetPropertyW(install_, u"N", u"new"), kMsiSuccess);
  EXPECT_EQ(msi::PropertiesOf(install_),
            (msi::PropertyMap{{u"A", u""}, {u"E", u""}, {u"N", u"new"}}));
}

TEST_F(MsiHost, FeatureStatesOnlyForDeclaredFeaturesAndKnownStates) {
  EXPECT_EQ(MsiSetFeatureStateW(install_, u"RU_Feature", kMsiStateLocal), kMsiSuccess);
  EXPECT_EQ(MsiSetFeatureStateW(install_, u"XX_Feature", kMsiStateLocal), kMsiUnknownFeature);
  EXPECT_EQ(MsiSetFeatureStateW(install_, u"ru_feature", kMsiStateLocal), kMsiUnknownFeature);
  for (const int32_t state : {0, 5, 7, -1}) {
    EXPECT_EQ(MsiSetFeatureStateW(install_, u"RU_Feature", state), kMsiInvalidParameter) << state;
  }
  EXPECT_EQ(msi::FeatureStatesOf(install_),
            (msi::FeatureStates{{u"RU_Feature", kMsiStateLocal}, {u"EN_Feature", msi::kNoFeatureState}}));
  EXPECT_EQ(MsiSetFeatureStateW(install_, u"RU_Feature", kMsiStateAbsent), kMsiSuccess);
  EXPECT_EQ(msi::FeatureStatesOf(install_)[0].second, kMsiStateAbsent);
}

TEST_F(MsiHost, InstallationsAreSeparateAndHandlesCountUp) {
  const MSIHANDLE second = msi::CreateInstallation({{u"A", u"other"}}, {u"RU_Feature", u"RU_Feature"});
  EXPECT_GT(second, install_);
  EXPECT_EQ(msi::FeatureStatesOf(second).size(), 1u);
  ASSERT_EQ(MsiSetPropertyW(second, u"A", u"changed"), kMsiSuccess);
  EXPECT_EQ(*msi::PropertyOf(install_, u"A"), u"x");
  EXPECT_EQ(*msi::PropertyOf(second, u"A"), u"changed");
  EXPECT_TRUE(msi::CloseInstallation(second));
}

TEST_F(MsiHost, QuestionsGoToTheAnswererAndAreDeclinedWithoutOne) {
  EXPECT_EQ(MsiAskUserYesNo(install_, u"Licence", u"Accept?"), kMsiAnswerNo);
  std::u16string asked;
  ASSERT_TRUE(msi::SetYesNoAnswerer(install_, [&](const std::u16string& caption, const std::u16string& text) {
    asked = caption + u"|" + text;
    return kMsiAnswerYes;
  }));
  EXPECT_EQ(MsiAskUserYesNo(install_, u"Licence", u"Accept?"), kMsiAnswerYes);
  EXPECT_EQ(asked, u"Licence|Accept?");
  // Any other answer counts as no.
  msi::SetYesNoAnswerer(install_, [](const std::u16string&, const std::u16string&) { return 42; });
  EXPECT_EQ(MsiAskUserYesNo(install_, nullptr, nullptr), kMsiAnswerNo);
}

TEST_F(MsiHost, ThreadsShareTheTable) {
  constexpr int kThreads = 4;
  constexpr int kWrites = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      const std::u16string name = u"T" + std::u16string(1, static_cast<char16_t>(u'0' + t));
      for (int i = 0; i < kWrites; ++i) {
        const std::u16string value(static_cast<size_t>(i % 7), u'v');
        ASSERT_EQ(MsiSetPropertyW(install_, name.c_str(), value.c_str()), kMsiSuccess);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(msi::PropertiesOf(install_).size(), 2u + kThreads);
}

}  // namespace
