#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/fs/XpAbstractDir.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"

// One shot on the camera: the files that share a DCF folder and file number
// (a picture with its thumbnail, a movie with its ".THM", ...). It presents
// itself as a folder whose entries are its member files, in the order they
// were added; the first member is the reference for the shot's numbers.
//
// Built so far: the members, AddFile, GetFileNumber, the display name, the
// times, the read-only test and the enumeration. Still to come on this
// class: the folder number as a public query, DeleteFiles, CopyTo with its
// progress, the companion files, the picture and thumbnail lookups, the
// format kind, the shooting date, the tag queries, MakeTargetPaths, and the
// K2 wrapper of the shot.
class XpDCFObj : public XpAbstractDir, public IXpFileOpProgressObserver {
 public:
  XpDCFObj();
  ~XpDCFObj() override;

  // Appends a member; 0.
  [[nodiscard]] XpResult AddFile(XpSharedPtr<XpAbstractFSObj> file);
  // The DCF file number of the first member's base name; -1 without members.
  int32_t GetFileNumber() const;

  // "%3d-%04d" of the first member's folder and file numbers; empty without
  // members.
  XpString GetName() const override;
  // The times of the picture member, else of the thumbnail, else of the
  // first member; kXpErrWrongState without members.
  [[nodiscard]] XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                                  XpDateTime* accessed) const override;
  // True when any member is read-only.
  bool IsReadOnly() const override;
  bool IsHidden() const override { return false; }

  // Stores filter and pattern and starts at the first member. Filter and
  // pattern do not filter: every member is handed out.
  [[nodiscard]] XpResult BeginEnum(XpEnumFilter filter, const XpString& pattern) override;
  XpSharedPtr<XpAbstractFSObj> GetNext() override;
  [[nodiscard]] XpResult EndEnum() override;

  // Overall progress of a running copy, passed to the outside observer;
  // false (go on) when there is none.
  bool OnFileOpProgress(double percent) override;

 private:
  // The first member whose extension (with the dot) equals one of the
  // given ones ignoring case, tried extension by extension; null when none.
  XpSharedPtr<XpAbstractFSObj> FindByExtensions(const std::vector<XpString>& extensions) const;
  // The folder number of the folder holding the first member; -1 without
  // members.
  int32_t FirstMemberFolderNumber() const;

  std::vector<XpSharedPtr<XpAbstractFSObj>> members_;
  size_t cursor_ = 0;
  XpSharedPtr<XpTiffTagManager> cachedTags_;
  std::vector<XpString> writtenPaths_;
  IXpFileOpProgressObserver* outsideObserver_ = nullptr;
  int64_t bytesDone_ = 0;
};
