#include "accessor/task/helpers/K2TransferMarker.h"

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpTempFiles.h"
#include "platform/path/XpPath.h"
#include "platform/shell/XpSpecialFolder.h"
#include "platform/text/XpStringA.h"

namespace {

constexpr uint32_t kStagingDigits = 8;
// A marker names one folder; anything longer is not a marker of ours.
constexpr uint64_t kMaxMarkerBytes = 4096;

[[nodiscard]] XpResult WriteText(const XpString& path, const XpString& text) {
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

[[nodiscard]] XpResult K2WriteTransferMarker(const XpString& folder, const XpString& markedPath) {
  return K2WriteTransferMarker(folder, markedPath, XpGetSpecialFolder(kXpFolderTemp, false));
}

[[nodiscard]] XpResult K2WriteTransferMarker(const XpString& folder, const XpString& markedPath,
                                             const XpString& stagingFolder) {
  const XpString staging =
      XpCreateUniqueNumberedFile(stagingFolder, u"K2Marker", kStagingDigits, u"", u".tmp");
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

[[nodiscard]] XpResult K2RemoveTransferMarker(const XpString& folder) {
  const XpResult deleted = XpDeleteFile(XpPathJoin(folder, kK2TransferMarkerName));
  if (deleted != kXpOk) {
    return deleted;
  }
  return XpSyncDirectory(folder, false);
}

XpString K2ReadTransferMarker(const XpString& folder) {
  XpFile file;
  if (file.OpenPath(XpPathJoin(folder, kK2TransferMarkerName), kXpOpenRead) != kXpOk) {
    return XpString();
  }
  char bytes[kMaxMarkerBytes + 1] = {};
  uint64_t done = 0;
  const XpResult read = file.Read(bytes, kMaxMarkerBytes, &done);
  (void)file.Close();  // read-only: nothing to lose
  // A marker shorter than the buffer ends the read at its end.
  const bool whole = read == kXpOk || read == kXpErrEndOfFile;
  if (!whole || done == 0 || done >= kMaxMarkerBytes || bytes[0] != '/') {
    return XpString();
  }
  const XpString text = XpStringA(bytes).ToWide();
  // A marker of ours names a folder below the root, never above it.
  if (text.View().find(u"..") != std::u16string_view::npos) {
    return XpString();
  }
  // The text's leading '/' stands for the volume's root.
  XpString marked = folder;
  XpPathAddTrailingBackslash(marked);
  marked += text.Mid(1);
  XpPathAddTrailingBackslash(marked);
  return marked;
}
