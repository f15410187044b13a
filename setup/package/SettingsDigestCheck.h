#pragma once

#include <openssl/evp.h>

#include <cstddef>
#include <string>

#include "platform/text/XpString.h"

class XfUiHost;

// The four digest calls the check makes; a test derives to fail one.
class DigestCalls {
 public:
  virtual ~DigestCalls() = default;
  virtual EVP_MD_CTX* NewContext();
  virtual bool Init(EVP_MD_CTX* context);
  virtual bool Update(EVP_MD_CTX* context, const void* bytes, size_t count);
  virtual bool Final(EVP_MD_CTX* context, unsigned char* digest);
};

// Checks the settings file against the digest stored in "data.bin": the
// SHA-1 of the settings text (its bytes up to the first zero byte) in whole
// blocks of 20 bytes, the last n mod 20 bytes left out, written as 40
// lowercase hex digits; "data.bin" holds those digits as UTF-16LE without a
// terminator or byte-order mark. A failing digest step shows one box.
class SettingsDigestCheck {
 public:
  static constexpr size_t kBlockSize = 20;

  SettingsDigestCheck(XfUiHost& host, XpString settingsPath, XpString digestPath);
  SettingsDigestCheck(XfUiHost& host, XpString settingsPath, XpString digestPath,
                      DigestCalls& calls);

  // True when the digest of the settings file equals the text of "data.bin".
  bool Verify();

  // The computed hex digest, once Verify has made it.
  const XpString& HexDigest() const { return hexDigest_; }
  // The text that was hashed.
  const std::string& Content() const { return content_; }

 private:
  bool ReadContent();
  bool ComputeDigest();
  bool Fail(const char16_t* text);
  XpString StoredDigest() const;

  XfUiHost& host_;
  XpString settingsPath_;
  XpString digestPath_;
  DigestCalls defaultCalls_;
  DigestCalls& calls_;
  XpString hexDigest_;
  std::string content_;
};
