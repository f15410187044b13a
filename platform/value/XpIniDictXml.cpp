// The property-list operations of XpIniDict: file, text and clipboard.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <new>
#include <string>
#include <string_view>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/result/XpResultTranslation.h"
#include "platform/value/XpClipboard.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpPlistReader.h"
#include "platform/value/XpPlistWriter.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

constexpr uint64_t kReadBlock = 65536;
constexpr mode_t kNewFileMode = 0666;
constexpr mode_t kPermissionBits = 07777;
constexpr int kTempNameAttempts = 100;

std::atomic<uint32_t> tempCounter{0};

// The whole content of the file at path.
XpResult ReadWholeFile(const XpString& path, std::string* bytes) {
  XpFile file(path);
  const XpResult opened = file.Open(kXpOpenRead);
  if (opened != kXpOk) {
    return opened;
  }
  try {
    for (;;) {
      const size_t start = bytes->size();
      bytes->resize(start + kReadBlock);
      uint64_t done = 0;
      const XpResult read = file.Read(bytes->data() + start, kReadBlock, &done);
      bytes->resize(start + done);
      if (read == kXpErrEndOfFile || (read == kXpOk && done == 0)) {
        return kXpOk;
      }
      if (read != kXpOk) {
        return read;
      }
    }
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
}

// A file created for writing beside the target, removed again unless it was
// renamed into place.
class TempFile {
 public:
  explicit TempFile(XpSysCalls& sys) : sys_(sys) {}
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  ~TempFile() {
    if (fd_ >= 0) {
      sys_.Close(fd_);
    }
    if (!path_.empty()) {
      sys_.Unlink(path_.c_str());
    }
  }

  // A new file with a name of its own in folder.
  XpResult Create(const std::string& folder) {
    for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
      const std::string path = folder + "/.~plist." + std::to_string(getpid()) + "." +
                               std::to_string(tempCounter.fetch_add(1)) + ".tmp";
      fd_ = sys_.Open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, kNewFileMode);
      if (fd_ >= 0) {
        path_ = path;
        return kXpOk;
      }
      if (errno != EEXIST) {
        return XpResultFromErrno(errno, path.c_str());
      }
    }
    return kXpErrAlreadyExists;
  }

  XpResult WriteAll(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t written = sys_.Write(fd_, bytes.data(), bytes.size());
      if (written < 0 && errno == EINTR) {
        continue;
      }
      if (written < 0) {
        return XpResultFromErrno(errno);
      }
      if (written == 0) {
        return kXpErrDiskFull;
      }
      bytes.remove_prefix(static_cast<size_t>(written));
    }
    return kXpOk;
  }

  // Takes the permissions of the file it is to replace, when there is one.
  void KeepModeOf(const char* target) {
    struct stat existing {};
    if (sys_.Stat(target, &existing) == 0) {
      sys_.Fchmod(fd_, existing.st_mode & kPermissionBits);
    }
  }

  // Flushes the data to the disk and closes the file.
  XpResult Commit() {
    if (sys_.Fsync(fd_) != 0) {
      return XpResultFromErrno(errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (sys_.Close(fd) != 0) {
      return XpResultFromErrno(errno);
    }
    return kXpOk;
  }

  XpResult RenameTo(const char* target) {
    if (sys_.Rename(path_.c_str(), target, 0) != 0) {
      return XpResultFromErrno(errno, target);
    }
    path_.clear();
    return kXpOk;
  }

 private:
  XpSysCalls& sys_;
  std::string path_;
  int fd_ = -1;
};

// Makes a rename in folder last across a crash; a failure changes nothing
// that was promised.
void SyncFolder(XpSysCalls& sys, const std::string& folder) {
  const int fd = sys.Open(folder.c_str(), O_RDONLY | O_DIRECTORY, 0);
  if (fd >= 0) {
    sys.Fsync(fd);
    sys.Close(fd);
  }
}

// Replaces the file at path by bytes: a temporary file in the same folder
// is written, flushed and renamed over it, so that the old file stays as it
// was unless the new one is complete.
XpResult ReplaceFile(const XpString& path, std::string_view bytes) {
  const XpStringA target = path.ToMultiByte();
  const std::string_view view = target.View();
  const size_t slash = view.rfind('/');
  if (view.empty() || view[0] != '/' || slash == view.size() - 1) {
    return kXpErrPathNotFound;
  }
  const std::string folder(slash == 0 ? std::string_view("/") : view.substr(0, slash));
  XpSysCalls& sys = XpSysCalls::Current();
  TempFile temp(sys);
  XpResult result = temp.Create(slash == 0 ? std::string() : folder);
  if (result == kXpOk) {
    result = temp.WriteAll(bytes);
  }
  if (result == kXpOk) {
    temp.KeepModeOf(target.CStr());
    result = temp.Commit();
  }
  if (result == kXpOk) {
    result = temp.RenameTo(target.CStr());
  }
  if (result == kXpOk) {
    SyncFolder(sys, folder);
  }
  return result;
}

}  // namespace

XpResult XpIniDict::LoadFromFile(const XpString& path) {
  RemoveAll();
  std::string bytes;
  const XpResult read = ReadWholeFile(path, &bytes);
  if (read != kXpOk) {
    return read;
  }
  XpXmlDocument document;
  const XpResult parsed = document.Parse(bytes);
  if (parsed != kXpOk) {
    return parsed;
  }
  return XpPlistReader::Read(document, this);
}

XpResult XpIniDict::SaveToFile(const XpString& path) {
  XpStringA bytes;
  const XpResult written = XpPlistWriter::WriteBytes(*this, &bytes);
  if (written != kXpOk) {
    return written;
  }
  return ReplaceFile(path, bytes.View());
}

XpResult XpIniDict::LoadFromText(const XpString& text) {
  RemoveAll();
  XpXmlDocument document;
  const XpResult parsed = document.ParseUtf8(text.ToMultiByte().View());
  if (parsed != kXpOk) {
    return parsed;
  }
  return XpPlistReader::Read(document, this);
}

XpResult XpIniDict::SaveToText(XpString* out) const {
  if (out == nullptr) {
    return kXpErrBadArgument;
  }
  XpStringA bytes;
  const XpResult written = XpPlistWriter::WriteBytes(*this, &bytes);
  if (written != kXpOk) {
    return written;
  }
  *out = bytes.ToWide();
  return kXpOk;
}

XpResult XpIniDict::LoadFromClipboard(uint32_t format) {
  XpString text;
  if (XpClipboard::GetText(format, &text) != kXpOk) {
    return kXpErrGeneric;
  }
  return LoadFromText(text);
}

XpResult XpIniDict::SaveToClipboard(uint32_t format) const {
  XpString text;
  const XpResult saved = SaveToText(&text);
  if (saved != kXpOk || text.IsEmpty()) {
    return saved;
  }
  return XpClipboard::SetText(format, text) == kXpOk ? kXpOk : kXpErrGeneric;
}
