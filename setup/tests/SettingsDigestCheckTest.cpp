#include "setup/package/SettingsDigestCheck.h"

#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "framework/ui/backend/XfUiTranscript.h"
#include "platform/testsupport/HermeticTest.h"
#include "setup/tests/SetupTestSupport.h"
#include "setup/tests/tools/MakeInstallSet.h"
#include "setup/tests/tools/TestPackage.h"

namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr const char* kNoData = "da39a3ee5e6b4b0d3255bfef95601890afd80709";
constexpr const char* kForty = "394f28745cc4992d8d43dd5f788c3366535226e3";

std::string Utf16Le(const std::string& ascii) {
  std::string bytes;
  for (char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

std::string Digits() {
  std::string text;
  for (int i = 0; i < 4; ++i) text += "0123456789";
  return text;
}

std::string BoxStart(const char16_t* text) {
  return "box \"\" " + XfUiTranscript::Quote(XpString(text)) + " style 0x0";
}

// Fails one step of the digest.
class FailingCalls : public DigestCalls {
 public:
  explicit FailingCalls(int step) : step_(step) {}
  EVP_MD_CTX* NewContext() override { return step_ == 0 ? nullptr : DigestCalls::NewContext(); }
  bool Init(EVP_MD_CTX* context) override { return step_ != 1 && DigestCalls::Init(context); }
  bool Update(EVP_MD_CTX* context, const void* bytes, size_t count) override {
    return step_ != 2 && DigestCalls::Update(context, bytes, count);
  }
  bool Final(EVP_MD_CTX* context, unsigned char* digest) override {
    return step_ != 3 && DigestCalls::Final(context, digest);
  }

 private:
  int step_;
};

class SettingsDigestCheck : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    settings_ = (Root() / "setup.ini").string();
    digest_ = (Root() / "data.bin").string();
  }

  void Write(const std::string& settings, const std::string& digestFile) {
    ASSERT_TRUE(setuptest::WriteBytes(settings_, settings));
    ASSERT_TRUE(setuptest::WriteBytes(digest_, digestFile));
  }

  bool Verify(const char* script = "", DigestCalls* calls = nullptr) {
    host_ = setuptest::MakeScriptedHost(script, lines_);
    const XpString settings = XpString::FromUtf8(settings_);
    const XpString digest = XpString::FromUtf8(digest_);
    if (calls == nullptr) return ::SettingsDigestCheck(*host_, settings, digest).Verify();
    return ::SettingsDigestCheck(*host_, settings, digest, *calls).Verify();
  }

  std::vector<std::string> Boxes() const { return setuptest::BoxLines(*lines_); }

  std::string settings_;
  std::string digest_;
  setuptest::Lines lines_ = std::make_shared<std::vector<std::string>>();
  std::unique_ptr<XfUiHost> host_;
};

TEST_F(SettingsDigestCheck, HashesWholeTwentyByteBlocksUpToTheFirstZero) {
  const std::string first20 = Digits().substr(0, 20);
  struct Case {
    const char* label;
    std::string settings;
    std::string digestFile;
  };
  const Case cases[] = {
      {"19 bytes", std::string(19, 'a'), Utf16Le(kNoData)},
      {"45 bytes", Digits() + "ABCDE", Utf16Le(kForty)},
      {"43 bytes", Digits() + "XYZ", Utf16Le(kForty)},
      // Only the first 20 bytes count: the zero at offset 25 ends the text.
      {"zero at 25", first20 + "abcde" + std::string(1, '\0') + Digits(),
       setuptest::DigestFileText(first20)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    lines_->clear();
    Write(c.settings, c.digestFile);
    EXPECT_TRUE(Verify());
    EXPECT_THAT(Boxes(), IsEmpty());
  }
}

TEST_F(SettingsDigestCheck, StoredTextMustMatchExactly) {
  const std::string settings = Digits() + "ABCDE";
  std::string upper = kForty;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string mismatches[] = {
      kForty,                                    // 8-bit text
      std::string("\xFF\xFE", 2) + Utf16Le(kForty),  // byte-order mark
      Utf16Le(upper),                            // upper case
      Utf16Le(std::string(kForty) + "\r\n"),     // trailing line end
      Utf16Le(kNoData),                          // another digest
      "",                                        // empty
  };
  for (const std::string& digestFile : mismatches) {
    SCOPED_TRACE(digestFile);
    lines_->clear();
    Write(settings, digestFile);
    EXPECT_FALSE(Verify());
    EXPECT_THAT(Boxes(), IsEmpty());
  }
}

TEST_F(SettingsDigestCheck, EmptySettingsShowTheirBox) {
  Write(std::string("\0abc", 4), Utf16Le(kNoData));
  EXPECT_FALSE(Verify("box * press ok\n"));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_THAT(Boxes()[0], StartsWith(BoxStart(u"The date to be hashed is 0!")));
}

TEST_F(SettingsDigestCheck, EachFailingStepShowsItsOwnBoxOnce) {
  const char16_t* texts[] = {u"Failed to create context!", u"Failed to generate hash handle data!",
                             u"Failed to hash data!", u"Failed to get hash value!"};
  for (int step = 0; step < 4; ++step) {
    SCOPED_TRACE(step);
    lines_->clear();
    Write(Digits() + "ABCDE", Utf16Le(kForty));
    FailingCalls calls(step);
    EXPECT_FALSE(Verify("box * press ok\n", &calls));
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_THAT(Boxes()[0], StartsWith(BoxStart(texts[step])));
  }
}

}  // namespace
