#pragma once

#include <cstdint>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// The root of the file-system object tree: a path, as given (never
// normalised, never checked against the disk by the object itself), and the
// questions every file, folder and volume can answer.
class XpAbstractFSObj {
 public:
  XpAbstractFSObj() = default;
  XpAbstractFSObj(const XpAbstractFSObj&) = delete;
  XpAbstractFSObj& operator=(const XpAbstractFSObj&) = delete;
  virtual ~XpAbstractFSObj();

  [[nodiscard]] virtual XpResult SetPath(const XpString& path);
  virtual XpString GetPath() const;
  virtual XpString GetName() const = 0;
  // Bytes; -1 when unknown.
  virtual int64_t GetSize() = 0;
  // Each non-null output receives one local time.
  [[nodiscard]] virtual XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                                          XpDateTime* accessed) const = 0;
  // Each a default XpDateTime (not valid) when GetTimes fails.
  virtual XpDateTime GetCreationTime() const;
  virtual XpDateTime GetModificationTime() const;
  virtual XpDateTime GetAccessTime() const;
  // kXpErrNotSupportedByOs unless the object can change its times.
  [[nodiscard]] virtual XpResult SetTimes(const XpDateTime* created, const XpDateTime* modified,
                                          const XpDateTime* accessed);
  virtual bool IsReadOnly() const = 0;
  virtual bool IsHidden() const = 0;
  virtual bool IsFile() const = 0;
  virtual bool IsDirectory() const = 0;

 protected:
  // The times of path through statx, following symbolic links: created is
  // the birth time where the file system keeps one, else the modification
  // time. kXpErrFileNotFound, outputs untouched, when path cannot be read.
  [[nodiscard]] static XpResult ReadPathTimes(const XpString& path, XpDateTime* created,
                                              XpDateTime* modified, XpDateTime* accessed);

  XpString path_;
};
