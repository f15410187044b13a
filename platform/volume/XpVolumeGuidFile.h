#pragma once

#include <cstddef>

#include "platform/text/XpString.h"

// The hidden file ".KavoVID" at a volume root, in which this system keeps
// an identifier for volumes that have no serial number: exactly 128 bytes,
// a GUID text ("{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}") and zero padding.
//
// The file is only ever published whole: the bytes go to a hidden temporary
// file on the volume, which is then renamed onto the name without replacing
// it. A process that loses that race reads the winner's file, so every
// process gets the same identifier. A file whose identifier reads empty (a
// leftover of an interrupted write) is replaced the same way, under a lock
// on the empty file so that only one process replaces it.
class XpVolumeGuidFile {
 public:
  static constexpr const char16_t* kFileName = u".KavoVID";
  static constexpr size_t kFileSize = 128;

  // The identifier stored at root (the volume's root folder), made when the
  // file is missing or empty; "" when it can be neither read nor made.
  static XpString ReadOrCreate(const XpString& root);

  // A new random GUID in upper-case braced form; "" when the system has no
  // random bytes to give.
  static XpStringA NewGuidText();
};
