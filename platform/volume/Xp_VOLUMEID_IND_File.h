#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/fs/XpFile.h"

// The camera's volume identifier file "VOLUMEID.IND" at the root of its
// memory: its first 9 bytes are the identifier, shown as 18 lower-case hex
// digits. Loading reads them and closes the file again.
class Xp_VOLUMEID_IND_File : public XpFile {
 public:
  static constexpr size_t kIdBytes = 9;

  Xp_VOLUMEID_IND_File();
  // Takes the path and loads the file, as SetFile does.
  explicit Xp_VOLUMEID_IND_File(const XpString& path);

  // Closes the file, takes the path and, when that succeeded, loads it;
  // returns the last of these results.
  [[nodiscard]] XpResult SetFile(const XpString& path) override;
  // The last load succeeded.
  virtual bool IsValid() const { return valid_; }
  // The identifier of the last successful load; "" before one.
  virtual XpString GetIdString() const { return idString_; }
  // Reads the file: the result of the open, the read (kXpErrEndOfFile for
  // fewer than 9 bytes) or the close.
  [[nodiscard]] virtual XpResult Load();

  [[nodiscard]] XpResult GetLoadResult() const { return loadResult_; }

  static const char16_t* GetFileName();
  // The file in the root of the volume that holds folder.
  static XpString PathForFolder(const XpString& folder);
  // The same for the object's path.
  static XpString PathForFolderObject(const XpAbstractFSObj& folder);
  // Two lower-case hex digits per byte, high nibble first; "" for null or
  // no bytes.
  static XpString BytesToHex(const uint8_t* bytes, uint64_t count);

 private:
  XpString idString_;
  XpResult loadResult_ = kXpOk;
  bool valid_ = false;
};
