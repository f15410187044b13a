#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/fs/XpFile.h"

// The camera's model file "MODELCFG.IND" at the root of its memory: 32
// bytes that begin with "KT". Loading reads the whole file and closes it
// again; the object keeps the bytes.
class Xp_MODELCFG_IND_File : public XpFile {
 public:
  static constexpr size_t kFileSize = 32;

  Xp_MODELCFG_IND_File();
  // Takes the path and loads the file, as SetFile does.
  explicit Xp_MODELCFG_IND_File(const XpString& path);

  // Closes the file, takes the path and, when that succeeded, loads it;
  // returns the last of these results.
  XpResult SetFile(const XpString& path) override;
  // Exactly 32 bytes were read and they begin with "KT".
  virtual bool IsValid() const { return valid_; }
  // Reads the file: the result of the open, the read (kXpErrEndOfFile for a
  // shorter file) or the close. A file with another magic loads with kXpOk
  // but is not valid.
  virtual XpResult Load();

  XpResult GetLoadResult() const { return loadResult_; }

  static const char16_t* GetFileName();
  // The file in the root of the volume that holds path.
  static XpString PathForFolderName(const XpString& path);
  // The same for the object's path.
  static XpString PathForFolder(const XpAbstractFSObj& folder);

 private:
  std::array<uint8_t, kFileSize> bytes_{};
  bool valid_ = false;
  XpResult loadResult_ = kXpOk;
};
