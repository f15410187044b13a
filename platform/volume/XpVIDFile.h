#pragma once

#include <cstddef>

#include "platform/fs/XpFile.h"
#include "platform/volume/XpVolumeGuidFile.h"

// A volume-identifier file (".KavoVID") as a file object, in the format of
// XpVolumeGuidFile: exactly 128 bytes, the identifier as 8-bit text padded
// with zero bytes.
class XpVIDFile : public XpFile {
 public:
  static constexpr size_t kFileSize = XpVolumeGuidFile::kFileSize;
  // Where setup keeps its identifier, below the volume root.
  static constexpr const char16_t* kPrivateFolder = u"PRIVATE/KAVO";

  XpVIDFile();
  explicit XpVIDFile(const XpString& path);
  ~XpVIDFile() override;

  // Opens the file for reading, reads its 128 bytes and closes it again; the
  // identifier is the text before the first zero byte. kXpErrInvalidFile
  // when the file holds fewer bytes. id is "" on any failure.
  [[nodiscard]] XpResult ReadIdentifier(XpString* id);
  // Makes a new braced GUID and writes it in a zero-filled 128-byte block
  // through a pending file renamed onto the path, so the file is only ever
  // seen whole; an existing file is replaced. id is the new identifier, ""
  // on failure.
  [[nodiscard]] XpResult WriteNewIdentifier(XpString* id);

  // setup's identifier sources of a volume after its serial number and the
  // camera's file: "PRIVATE/KAVO/.KavoVID", then ".KavoVID" at the root.
  // When neither gives an identifier, "PRIVATE/KAVO" is made (an existing
  // folder is fine) and a new identifier is written to the file there. ""
  // when none can be had or root is "".
  static XpString IdentifierForRoot(const XpString& root);
};
