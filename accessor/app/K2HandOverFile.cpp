#include "accessor/app/K2HandOverFile.h"

#include "framework/suite/SfContentInfoXML.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpPathQueries.h"

K2HandOverRemovalResult K2RemoveHandOverFile(const XpString& path) {
  if (path.IsEmpty() || !XpPathExists(path)) {
    return {K2HandOverRemoval::kNothingThere, kXpOk};
  }
  SfContentInfoXML document;
  const XpResult loaded = document.LoadFromFile(path);
  if (loaded != kXpOk) {
    return {K2HandOverRemoval::kKeptNotPropertyList, loaded};
  }
  if (document.GetContentsGroupCount() < 0) {
    return {K2HandOverRemoval::kKeptNoGroupList, kXpOk};
  }
  const XpResult deleted = XpDeleteFile(path, false);
  if (deleted != kXpOk) {
    return {K2HandOverRemoval::kDeleteFailed, deleted};
  }
  return {K2HandOverRemoval::kDeleted, kXpOk};
}
