#include "accessor/task/helpers/K2TransferMarker.h"

#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpTempFiles.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"

namespace {

constexpr uint32_t kStagingDigits = 8;

XpResult WriteText(const XpString& path, const XpString& text) {
  XpFile file;
  XpResult result = file.OpenPath(path, kXpOpenWrite);
  if (result != kXpOk) {
    return result;
  }
  const XpStringA bytes = text.ToMultiByte();
  uint64_t done = 0;
  if (bytes.GetLength() > 0) {
    result = file.Write(bytes.CStr(), static_cast<uint64_t>(bytes.GetLength()), &done);
  }
  const XpResult closed = file.Close();
  return result != kXpOk ? result : closed;
}

}  // namespace

XpString K2TransferMarkerText(const XpString& markedPath) {
  XpString text = XpString(u"/") + XpPathRelativeToRoot(markedPath);
  XpPathRemoveTrailingBackslash(text);
  return text;
}

XpResult K2WriteTransferMarker(const XpString& folder, const XpString& markedPath) {
  const XpString staging = XpCreateUniqueNumberedFile(XpGetSpecialFolder(kXpFolderTemp, false),
                                                      u"K2Marker", kStagingDigits, u"", u".tmp");
  if (staging.IsEmpty()) {
    return kXpErrOpenForWriteFailed;
  }
  XpResult result = WriteText(staging, K2TransferMarkerText(markedPath));
  if (result == kXpOk) {
    const XpString target = XpPathJoin(folder, kK2TransferMarkerName);
    (void)XpDeleteFile(target);
    result = XpCopyPath(staging, target, false, nullptr);
  }
  (void)XpDeleteFile(staging);
  return result;
}

XpResult K2RemoveTransferMarker(const XpString& folder) {
  return XpDeleteFile(XpPathJoin(folder, kK2TransferMarkerName));
}
