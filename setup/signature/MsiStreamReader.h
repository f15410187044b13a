#pragma once

#include <openssl/evp.h>

#include <string>

#include "platform/text/XpString.h"

struct _GsfInfile;

// Reads an OLE compound file (an installer package) through libgsf.
class MsiStreamReader {
 public:
  static constexpr const char* kSignatureStream = "\x05" "DigitalSignature";
  static constexpr const char* kSignatureExStream = "\x05" "MsiDigitalSignatureEx";

  MsiStreamReader() = default;
  ~MsiStreamReader();
  MsiStreamReader(const MsiStreamReader&) = delete;
  MsiStreamReader& operator=(const MsiStreamReader&) = delete;

  // False when path is not a compound file.
  bool Open(const XpString& path);

  // True when the root holds a stream of that name.
  bool HasStream(const char* name) const;
  // The bytes of the root's stream name; false when it is missing.
  bool ReadStream(const char* name, std::string* bytes) const;

  // The package's digest with md: every stream but the two signature
  // streams of the root, storages included, each folder's children in the
  // order of their UTF-16LE names compared as bytes, each folder's class id
  // after its children. False when a stream cannot be read.
  bool Digest(const EVP_MD* md, std::string* digest) const;

 private:
  _GsfInfile* root_ = nullptr;
};
