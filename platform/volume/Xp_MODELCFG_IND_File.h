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
  [[nodiscard]] XpResult SetFile(const XpString& path) override;
  // Exactly 32 bytes were read and they begin with "KT".
  virtual bool IsValid() const { return valid_; }
  // Reads the file: the result of the open, the read (kXpErrEndOfFile for a
  // shorter file) or the close. A file with another magic loads with kXpOk
  // but is not valid.
  [[nodiscard]] virtual XpResult Load();

  // Bytes 4-5, little-endian; 0 when the file is not valid.
  virtual uint16_t GetWord4() const;
  // Copies bytes 8-11 into destination when the last load succeeded (a file
  // with another magic included) and returns the last load's result;
  // kXpErrBadArgument for a null destination.
  [[nodiscard]] virtual XpResult CopyBytes8To11(uint8_t* destination) const;

  // The queries below read the bytes as they stand, whatever IsValid says.
  // A bit of byte 12 gates a byte of 16-19: bit 7 byte 16, bit 6 byte 17,
  // bit 5 byte 18, bit 4 byte 19.

  // 2 when IsByte12Bit7Clear is false, else bit 7 of byte 16 (1 set, 0 clear).
  virtual int32_t GetByte16Bit7() const;
  virtual bool IsByte17Bit7Clear() const;
  virtual bool IsByte18Bit7Clear() const;
  virtual bool IsByte18Bit6Clear() const;
  virtual bool IsByte18Bit5Clear() const;
  virtual bool IsByte19Bit7Clear() const;
  virtual bool IsByte19Bit6Clear() const;
  virtual bool IsByte19Bit5Clear() const;
  // The version in bytes 2 (major) and 3 (minor) is major.minor or later.
  virtual bool IsVersionAtLeast(uint8_t major, uint8_t minor) const;
  // Version 1.1 or later and that bit of byte 12 clear.
  virtual bool IsByte12Bit7Clear() const;
  virtual bool IsByte12Bit6Clear() const;
  virtual bool IsByte12Bit5Clear() const;
  virtual bool IsByte12Bit4Clear() const;

  [[nodiscard]] XpResult GetLoadResult() const { return loadResult_; }

  static const char16_t* GetFileName();
  // The file in the root of the volume that holds path.
  static XpString PathForFolderName(const XpString& path);
  // The same for the object's path.
  static XpString PathForFolder(const XpAbstractFSObj& folder);

 private:
  // Bit of byte index clear.
  bool IsBitClear(size_t index, int bit) const;

  std::array<uint8_t, kFileSize> bytes_{};
  bool valid_ = false;
  XpResult loadResult_ = kXpOk;
};
