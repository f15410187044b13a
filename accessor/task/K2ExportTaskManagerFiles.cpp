// The files of the export task manager's run that are made rather than
// copied: re-encoded pictures and movie thumbnails, and the notice of the
// file being copied.
#include <memory>
#include <mutex>
#include <new>

#include "accessor/task/K2ExportTaskManager.h"
#include "accessor/task/K2ObjectForNotification.h"
#include "framework/app/XfApplication.h"
#include "framework/notify/XfNotification.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/format/XpFormatKind.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/pixmap/XpPixmapBase.h"
#include "platform/fs/XpFile.h"
#include "platform/fs/XpFileOperations.h"
#include "platform/fs/XpTempFiles.h"
#include "platform/path/XpPath.h"

namespace {

using Guard = std::lock_guard<XpCriticalSection>;

constexpr const char16_t* kSoftwareName = u"Orvane";
constexpr int32_t kReencodeQuality = 70;
constexpr int32_t kThumbnailQuality = 90;
// Thumbnails lose one step of quality at a time until they fit.
constexpr int32_t kThumbnailQualityStep = 1;
constexpr const char16_t* kReencodePrefix = u"QMVS";
constexpr uint32_t kReencodeDigits = 4;
constexpr const char16_t* kReencodeMiddle = u".JPG";
constexpr const char16_t* kTemporarySuffix = u".tmp";
// What a picture that cannot be read or re-encoded gives.
constexpr XpResult kNoPicture = kXpErrImageBadRegion;

bool IsTemporaryFile(const XpString& path) {
  return XpPathGetExtension(path).CompareNoCase(kTemporarySuffix) == 0;
}

// Writes source to temporary as a JPEG with a thumbnail IFD: a JPEG row by
// row, any other picture from its decoded pixmap. kNoPicture when source
// cannot be read.
[[nodiscard]] XpResult ReencodeWithThumbnail(const XpString& source,
                                             const XpSharedPtr<XpTiffTagManager>& tags,
                                             const XpString& temporary) {
  const XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(source);
  if (!reader) {
    return kNoPicture;
  }
  XpImageIoJpeg writer(kReencodeQuality, kSoftwareName);
  // A scratch file: its copy on the camera is made durable there.
  writer.SetSyncOnWrite(false);
  if (dynamic_cast<XpImageIoJpeg*>(reader.Get()) != nullptr) {
    XpFile file;
    if (file.OpenPath(source, kXpOpenRead) != kXpOk) {
      return kNoPicture;
    }
    const XpResult result = writer.ReencodeToPath(file, 0, tags, temporary);
    return result == kXpErrImageNoTiffBlock ? kNoPicture : result;
  }
  const std::unique_ptr<XpPixmapBase> pixmap(
      reader->ReadPixmapFromPath(source, 1, nullptr, false, false));
  if (!pixmap) {
    return kNoPicture;
  }
  return writer.WriteToPath(pixmap.get(), tags, temporary, nullptr, XpRect(), false, false);
}

}  // namespace

XpResult K2ExportTaskManager::ReencodeJpegIfNeeded(K2ExportItem& item) {
  const XpString source = item.FirstSourcePath();
  if (FileHasThumbnailIFD(source)) {
    return kXpOk;
  }
  const XpString temporary =
      XpCreateUniqueNumberedFile(WorkFolder(), kReencodePrefix, kReencodeDigits,
                                 kReencodeMiddle, kTemporarySuffix);
  if (temporary.IsEmpty()) {
    return kXpErrOpenFailed;
  }
  createdFiles_->Add(temporary);

  XpResult result = kNoPicture;
  XpSharedPtr<XpTiffTagManager> tags;
  if (tagHelper_.EnsureDateTimeOriginal(source, item.shootingDate, tags) == kXpOk) {
    result = ReencodeWithThumbnail(source, tags, temporary);
  }
  if (result != kXpOk) {
    // The reserved name goes at once, whatever failed.
    (void)XpDeleteFile(temporary);
    return result;
  }
  item.fileToWrite = temporary;
  return kXpOk;
}

XpResult K2ExportTaskManager::MakeMovieThumbnail(const XpString& moviePath,
                                                 const XpString& thumbnailPath,
                                                 const XpDateTime& date) {
  XpString folder;
  XpImageIoMovieOptions options;
  {
    Guard guard(lock_);
    folder = moviePluginFolder_;
    options = movieOptions_;
  }
  XpImageIoMovie reader(folder, false, options);
  std::unique_ptr<XpPixmapBase> frame(
      reader.ReadPixmapFromPath(moviePath, 1, nullptr, false, false));
  if (!frame) {
    return kXpErrBadArgument;
  }
  XpFile file;
  XpResult result = file.OpenPath(thumbnailPath, kXpOpenWrite);
  if (result != kXpOk) {
    return result;
  }
  XpImageIoJpeg writer(kThumbnailQuality, kSoftwareName);
  result = writer.WriteWithinSizeLimit(frame.get(), file, kThumbnailQuality, kThumbnailQualityStep,
                                       true, date.IsValid() ? &date : nullptr);
  const XpResult closed = file.Close();
  if (result == kXpOk) {
    result = closed;
  }
  if (result != kXpOk) {
    (void)XpDeleteFile(thumbnailPath);
  }
  return result;
}

void K2ExportTaskManager::NotifyCurrentItem(const K2ExportItem& item) {
  if (item.fileToWrite.IsEmpty()) {
    return;
  }
  // A re-encoded or converted file is shown as the picture it was made from.
  const XpString picture =
      IsTemporaryFile(item.fileToWrite) ? item.FirstSourcePath() : item.fileToWrite;
  if (XpFormatChecker::KindFromExtension(picture) == kXpKindUnknown) {
    return;
  }
  const XpString firstName = item.HasFiles() ? item.fileNames.front() : XpString();
  XpSharedPtr<XfObject> payload(new (std::nothrow)
                                    K2ObjectForNotification(picture, item.albumName, firstName));
  if (!payload) {
    return;
  }
  XpSharedPtr<XfNotificationProgress> notification(new (std::nothrow) XfNotificationProgress(
      XpSharedPtr<XfObject>(), Sender(), kCodeFileStarts, payload));
  if (notification) {
    XfPostNotification(XpSharedPtr<XfNotification>(notification));
  }
}
