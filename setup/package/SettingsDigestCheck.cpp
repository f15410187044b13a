#include "setup/package/SettingsDigestCheck.h"

#include <cstdio>
#include <memory>
#include <new>
#include <utility>

#include "framework/ui/host/XfUiHost.h"
#include "setup/package/ReadFileBytes.h"

namespace {

constexpr size_t kSha1Length = 20;
constexpr uint32_t kPlainBox = 0;
constexpr const char16_t* kEmptyText = u"The date to be hashed is 0!";
constexpr const char16_t* kNoMemoryText = u"Failed to allocate memory!";
constexpr const char16_t* kContextText = u"Failed to create context!";
constexpr const char16_t* kInitText = u"Failed to generate hash handle data!";
constexpr const char16_t* kUpdateText = u"Failed to hash data!";
constexpr const char16_t* kFinalText = u"Failed to get hash value!";

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

XpString HexText(const unsigned char* digest, size_t length) {
  XpString text;
  for (size_t i = 0; i < length; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text += static_cast<char16_t>(pair[0]);
    text += static_cast<char16_t>(pair[1]);
  }
  return text;
}

}  // namespace

EVP_MD_CTX* DigestCalls::NewContext() { return EVP_MD_CTX_new(); }

bool DigestCalls::Init(EVP_MD_CTX* context) {
  return EVP_DigestInit_ex(context, EVP_sha1(), nullptr) == 1;
}

bool DigestCalls::Update(EVP_MD_CTX* context, const void* bytes, size_t count) {
  return EVP_DigestUpdate(context, bytes, count) == 1;
}

bool DigestCalls::Final(EVP_MD_CTX* context, unsigned char* digest) {
  return EVP_DigestFinal_ex(context, digest, nullptr) == 1;
}

SettingsDigestCheck::SettingsDigestCheck(XfUiHost& host, XpString settingsPath,
                                         XpString digestPath)
    : host_(host),
      settingsPath_(std::move(settingsPath)),
      digestPath_(std::move(digestPath)),
      calls_(defaultCalls_) {}

SettingsDigestCheck::SettingsDigestCheck(XfUiHost& host, XpString settingsPath,
                                         XpString digestPath, DigestCalls& calls)
    : host_(host),
      settingsPath_(std::move(settingsPath)),
      digestPath_(std::move(digestPath)),
      calls_(calls) {}

bool SettingsDigestCheck::Verify() {
  hexDigest_ = XpString();
  try {
    if (!ReadContent()) return false;
  } catch (const std::bad_alloc&) {
    return Fail(kNoMemoryText);
  }
  if (content_.empty()) return Fail(kEmptyText);
  if (!ComputeDigest()) return false;
  return StoredDigest().View() == hexDigest_.View();
}

bool SettingsDigestCheck::ReadContent() {
  content_.clear();
  std::string bytes;
  if (!ReadFileBytes(settingsPath_, &bytes)) return true;  // no text: the empty box
  content_ = bytes.substr(0, bytes.find('\0'));
  return true;
}

bool SettingsDigestCheck::ComputeDigest() {
  const std::unique_ptr<EVP_MD_CTX, ContextFree> context(calls_.NewContext());
  if (!context) return Fail(kContextText);
  if (!calls_.Init(context.get())) return Fail(kInitText);
  const size_t hashed = content_.size() / kBlockSize * kBlockSize;
  for (size_t offset = 0; offset < hashed; offset += kBlockSize) {
    if (!calls_.Update(context.get(), content_.data() + offset, kBlockSize)) {
      return Fail(kUpdateText);
    }
  }
  unsigned char digest[EVP_MAX_MD_SIZE] = {};
  if (!calls_.Final(context.get(), digest)) return Fail(kFinalText);
  hexDigest_ = HexText(digest, kSha1Length);
  return true;
}

bool SettingsDigestCheck::Fail(const char16_t* text) {
  static_cast<void>(host_.MessageBox(XpString(), XpString(text), kPlainBox));
  return false;
}

XpString SettingsDigestCheck::StoredDigest() const {
  std::string bytes;
  if (!ReadFileBytes(digestPath_, &bytes)) return XpString();
  std::u16string text(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    const auto low = static_cast<unsigned char>(bytes[2 * i]);
    const auto high = static_cast<unsigned char>(bytes[2 * i + 1]);
    text[i] = static_cast<char16_t>(low | (high << 8));
  }
  return XpString(std::u16string_view(text));
}
