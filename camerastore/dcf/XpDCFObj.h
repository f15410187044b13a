#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "imaging/format/XpFormatKind.h"
#include "imaging/tags/XpGPSPosition.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/fs/IXpFileOpProgressObserver.h"
#include "platform/fs/XpAbstractDir.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// One shot on the camera: the files that share a DCF folder and file number
// (a picture with its thumbnail, a movie with its ".THM", ...), plus the
// maker's companion files. It presents itself as a folder whose entries are
// its member files, in the order they were added; the first member is the
// reference for the shot's numbers and companion paths.
//
// The object cannot be copied; Clone gives a second object over the same
// member files. One thread uses an object at a time.
class XpDCFObj : public XpAbstractDir, public IXpFileOpProgressObserver {
 public:
  // Most naming passes MakeTargetPaths tries before it gives up.
  static constexpr int32_t kMaxTargetPasses = 10000;

  XpDCFObj();
  ~XpDCFObj() override;

  // A new object with the same path, the same member files, cursor and
  // cached tags (shared), and a copy of the written paths. No copy runs on
  // it. Null when memory ran out.
  XpSharedPtr<XpDCFObj> Clone() const;

  // Appends a member; 0.
  [[nodiscard]] XpResult AddFile(XpSharedPtr<XpAbstractFSObj> file);
  // Appends the movie companion, then the picture companion, each only when
  // that file exists; the first failed append's result, else 0.
  [[nodiscard]] XpResult AddCompanionFiles();

  // The DCF file number of the first member's base name; -1 without members.
  int32_t GetFileNumber() const;
  // The DCF folder number of the folder holding the first member; -1
  // without members or outside a DCF folder.
  int32_t GetFolderNumber() const;
  // "%3d-%04d" of the folder and file numbers; empty without members.
  XpString GetDisplayName() const;

  // The first member whose extension (with the dot) equals extension,
  // ignoring case; null when none.
  XpSharedPtr<XpAbstractFSObj> FindFileByExtension(const XpString& extension) const;
  // The full path of the companion picture (VELDRA/IMCIFnnn/DSC0nnnn.TIF)
  // or movie (VELDRA/MOMLVnnn/DSC0nnnn.MPG) on the volume of the first
  // member, when that file exists; else empty.
  XpString GetCompanionPicturePath() const;
  XpString GetCompanionMoviePath() const;
  // The first member with ".TIF", else ".JPG", ".ZK2", ".ZKP", ".ZKW"; null
  // when none.
  XpSharedPtr<XpAbstractFSObj> GetPictureFile() const;
  // The member with ".THM"; null when none.
  XpSharedPtr<XpAbstractFSObj> GetThumbnailFile() const;

  // The content kind of the whole shot; kXpKindUnknown without members.
  XpFormatKind GetFormatKind() const;
  // The content date of the picture, else of the thumbnail; else the
  // modification time of that file (of the first member when there is
  // neither). Invalid without members.
  XpDateTime GetShootingDate() const;

  // The cached tag set, filled on first use from the picture (thumbnail)
  // file and never replaced; whichever query comes first fills it. Null
  // when there are no tags.
  XpSharedPtr<XpTiffTagManager> GetPictureTags();
  XpSharedPtr<XpTiffTagManager> GetThumbnailTags();
  // The picture tags; when those are null and allowThumbnail, the
  // thumbnail tags.
  XpSharedPtr<XpTiffTagManager> GetTags(bool allowThumbnail);
  // The text of tag Make (Model) of GetTags(true); empty when absent.
  XpString GetMake();
  XpString GetModel();
  // The GPS position of GetTags(true); both fields XpGPSPosition::kUnset
  // without tags or a valid position.
  XpGPSPosition GetGPSPosition();

  // One free target path in folder per member, in member order: pass 1
  // the members' own names, pass n "name (n-1).ext" for every member. A
  // name is taken when an entry of that name exists. Reserves nothing.
  // kXpErrAlreadyExists when kMaxTargetPasses passes found no free set;
  // targets is empty on failure.
  [[nodiscard]] XpResult MakeTargetPaths(std::vector<XpString>* targets,
                                         const XpString& folder) const;
  // Copies every member file into folder under the names of
  // MakeTargetPaths, all or nothing; members that are not files are
  // skipped. No visible file is made before its bytes are complete and
  // flushed, and no existing file is ever replaced: a name taken meanwhile
  // moves that member on to its next free name. On success the written
  // paths are the new files. On failure or stop (observer answered true:
  // kXpErrStopped) every file this call published is removed, the written
  // paths are empty, and the failure is returned. observer (optional)
  // receives the overall percentage of the shot.
  [[nodiscard]] virtual XpResult CopyTo(const XpString& folder,
                                        IXpFileOpProgressObserver* observer);
  // The target paths written by the last successful CopyTo.
  const std::vector<XpString>& GetWrittenPaths() const { return writtenPaths_; }
  // Deletes every member's file permanently, in order; stops at the first
  // failure and returns it (members deleted before it stay deleted).
  [[nodiscard]] virtual XpResult DeleteFiles();

  // The display name.
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

  // Overall progress of a running copy, passed to the outside observer
  // (true stops the copy); false (go on) when there is none.
  bool OnFileOpProgress(double percent) override;

 private:
  // The first member whose extension (with the dot) equals one of the
  // given ones ignoring case, tried extension by extension; null when none.
  XpSharedPtr<XpAbstractFSObj> FindByExtensions(const std::vector<XpString>& extensions) const;
  // The companion file of the first member's numbers in the maker's folder
  // with that sub-folder prefix and extension, when it exists.
  XpString CompanionPath(const char16_t* subFolderPrefix, const char16_t* extension) const;
  // Reads the tags of file into the empty cache.
  void FillTagCache(const XpSharedPtr<XpAbstractFSObj>& file);
  // The text of a tag of GetTags(true); empty when absent.
  XpString TagText(uint16_t tag);
  // The targets of one naming pass; true when every member's is free.
  bool TargetsForPass(int32_t pass, const XpString& folder, std::vector<XpString>* targets) const;
  // The first naming pass whose targets are all free, and its number.
  [[nodiscard]] XpResult FindFreePass(const XpString& folder, std::vector<XpString>* targets,
                                      int32_t* pass) const;
  // The sizes of the members that are files: what a copy writes. Leaves
  // the enumeration cursor alone.
  int64_t FileBytes() const;
  // Copies member index onto target (of naming pass pass) or a later free
  // name; published receives the new file's path, left empty for a member
  // that is not a file.
  [[nodiscard]] XpResult CopyMember(size_t index, const XpString& folder, const XpString& target,
                                    int32_t pass, XpString* published);

  std::vector<XpSharedPtr<XpAbstractFSObj>> members_;
  size_t cursor_ = 0;
  XpSharedPtr<XpTiffTagManager> cachedTags_;
  std::vector<XpString> writtenPaths_;
  // Set only while CopyTo runs.
  IXpFileOpProgressObserver* outsideObserver_ = nullptr;
  int64_t bytesDone_ = 0;
  int64_t totalBytes_ = 0;
};
