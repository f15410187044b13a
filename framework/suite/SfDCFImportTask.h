#pragma once

#include <atomic>
#include <cstdint>

#include "framework/notify/XfObject.h"
#include "platform/fs/XpAbstractFSObj.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

class SfDCFImportHistory;

// One DCF object to import, a picture or movie file or a whole DCF folder:
// its source object, a name and the list of files to copy. Derived items do
// the copying. Folders are listed by their direct entries, files and
// sub-folders alike, in the order of their names with case folded.
class SfDCFImportTask : public XfObject {
 public:
  SfDCFImportTask();
  ~SfDCFImportTask() override;

  // Takes a share of source and lets go of the previous one.
  virtual void SetSource(const XpSharedPtr<XpAbstractFSObj>& source);
  // A new share of the source.
  virtual XpSharedPtr<XpAbstractFSObj> GetSource() const;
  virtual void SetName(const XpString& name);
  virtual XpString GetName() const;
  // 0 without a source, 1 for a file, else the direct entries of the
  // folder (0 when it cannot be enumerated). Sub-folders are not entered.
  virtual uint64_t CountFiles();
  // Copies the source.
  [[nodiscard]] virtual XpResult Import() = 0;
  virtual XpStringVector& GetFileList();
  // Appends the source's path for a file, else the paths of the folder's
  // direct entries. kXpErrWrongState without a source or for one that is
  // neither a file nor a folder; kXpErrBadArgument for a null list; the error of starting the enumeration, or
  // the result of ending it.
  [[nodiscard]] virtual XpResult CollectFiles(XpStringVector* files);
  // Fills the file list from the source.
  [[nodiscard]] virtual XpResult BuildFileList() = 0;
  // Records the source's files in history.
  [[nodiscard]] virtual XpResult AddToHistory(SfDCFImportHistory* history) = 0;

 protected:
  XpSharedPtr<XpAbstractFSObj> source_;
  XpString name_;
  XpStringVector fileList_;
  // The running import's stop request, set by the derived item; null when
  // nothing can stop it.
  const std::atomic<bool>* stopFlag_ = nullptr;
};
