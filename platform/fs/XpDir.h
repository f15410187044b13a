#pragma once

#include <cstdint>

#include "platform/fs/XpAbstractDir.h"

// A folder on a mounted file system. Enumeration reads the folder entry by
// entry; "." and ".." never appear. A symbolic link is never a folder: it is
// handed out as an XpFile on the link's path, so no walk over children
// follows links.
class XpDir : public XpAbstractDir {
 public:
  explicit XpDir(const XpString& path);
  ~XpDir() override;

  // The last component without its extension: "DBFILES.tmp" is "DBFILES".
  XpString GetName() const override;
  // kXpErrFileNotFound when the folder cannot be read.
  [[nodiscard]] XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                                  XpDateTime* accessed) const override;
  bool IsReadOnly() const override;
  bool IsHidden() const override;

  [[nodiscard]] XpResult BeginEnum(XpEnumFilter filter, const XpString& pattern) override;
  XpSharedPtr<XpAbstractFSObj> GetNext() override;
  [[nodiscard]] XpResult EndEnum() override;

  // Bytes of the volume that holds the folder; -1 on failure. Free counts
  // what the calling user may use.
  virtual int64_t GetTotalSpace();
  virtual int64_t GetUsedSpace();
  virtual int64_t GetFreeSpace();
  // bytes rounded up to whole clusters; 0 stays 0.
  virtual uint64_t GetSizeOnDisk(uint64_t bytes);
  // The volume's allocation unit, asked once; 4096 when it cannot be
  // asked.
  uint32_t GetClusterSize();

 private:
  struct FindState;

  // Moves to the next entry that passes the filter, or marks the end.
  void Advance();

  FindState* find_ = nullptr;
  uint32_t clusterSize_ = 0;
};
