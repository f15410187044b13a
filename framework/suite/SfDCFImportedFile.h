#pragma once

#include <cstdint>

#include "framework/suite/XpSerialize.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// One record of an import history: a file's path relative to the mount
// point of its volume ("DCIM/100ABCDE/DSC01234.JPG" for a card mounted at
// /media/u/CAM), its creation and modification times (local) and the low 32
// bits of its size. Stored under "Path" (string), "Modified" (date),
// "Created" (date) and "Size" (integer).
class SfDCFImportedFile : public XpSerialize {
 public:
  static constexpr int32_t kUnknownSize = -1;

  // Empty path, dates that are not valid, size kUnknownSize.
  SfDCFImportedFile();
  // The file at fullPath as it is now. A file that cannot be read gives
  // dates that are not valid and size kUnknownSize.
  explicit SfDCFImportedFile(const XpString& fullPath);
  SfDCFImportedFile(const SfDCFImportedFile&) = default;
  SfDCFImportedFile& operator=(const SfDCFImportedFile&) = default;
  ~SfDCFImportedFile() override;

  // Each field whose key is missing or of another type keeps its value.
  // Always kXpOk.
  [[nodiscard]] XpResult Read(const XpIniDict& dict) override;
  // Writes "Path", "Modified", "Created", "Size" in this order; single field
  // failures are not reported. Always kXpOk.
  [[nodiscard]] XpResult Write(XpIniDict& dict) const override;

  const XpString& GetPath() const { return path_; }
  const XpDateTime& GetCreated() const { return created_; }
  const XpDateTime& GetModified() const { return modified_; }
  int32_t GetSize() const { return size_; }

  // Path compared case-sensitively, both dates and the size.
  bool operator==(const SfDCFImportedFile& other) const;

 private:
  XpString path_;
  XpDateTime created_;
  XpDateTime modified_;
  int32_t size_ = kUnknownSize;
};
