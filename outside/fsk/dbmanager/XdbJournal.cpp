#include "outside/fsk/dbmanager/XdbJournal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/fs/XpSysCalls.h"
#include "platform/fs/XpSysFailure.h"
#include "platform/fs/XpWriteAll.h"
#include "platform/result/XpResultTranslation.h"

namespace {

constexpr mode_t kNewFileMode = 0666;
constexpr uint8_t kWriteEntry = 1;
constexpr uint8_t kRemoveEntry = 2;
constexpr size_t kReadChunk = 65536;

int LastError() { return errno != 0 ? errno : EIO; }
[[nodiscard]] XpResult LastResult() { return XpResultFromErrno(LastError()); }

class Writer {
 public:
  void U8(uint8_t value) { bytes_.push_back(value); }
  void U16(uint16_t value) { Word(value, 2); }
  void U32(uint32_t value) { Word(value, 4); }
  void U64(uint64_t value) { Word(value, 8); }
  void Bytes(const void* data, size_t count) {
    const auto* at = static_cast<const uint8_t*>(data);
    bytes_.insert(bytes_.end(), at, at + count);
  }
  void Reserve(size_t count) { bytes_.reserve(count); }
  std::vector<uint8_t>& Result() { return bytes_; }

 private:
  void Word(uint64_t value, int count) {
    for (int i = 0; i < count; ++i) {
      bytes_.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
  }
  std::vector<uint8_t> bytes_;
};

// Reads words from a span; any read past the end makes Failed() true.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t U8() { return static_cast<uint8_t>(Word(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Word(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Word(4)); }
  uint64_t U64() { return Word(8); }
  bool Bytes(size_t count, std::vector<uint8_t>* out) {
    if (!Has(count)) {
      return false;
    }
    out->assign(data_ + at_, data_ + at_ + count);
    at_ += count;
    return true;
  }
  bool Failed() const { return failed_; }
  bool AtEnd() const { return at_ == size_; }

 private:
  bool Has(size_t count) {
    if (failed_ || size_ - at_ < count) {
      failed_ = true;
      return false;
    }
    return true;
  }
  uint64_t Word(int count) {
    if (!Has(static_cast<size_t>(count))) {
      return 0;
    }
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
      value |= static_cast<uint64_t>(data_[at_ + static_cast<size_t>(i)]) << (8 * i);
    }
    at_ += static_cast<size_t>(count);
    return value;
  }
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
  bool failed_ = false;
};

uint32_t Crc(const uint8_t* data, size_t size) {
  uLong crc = crc32(0L, Z_NULL, 0);
  size_t done = 0;
  while (done < size) {
    auto part = static_cast<uInt>(std::min<size_t>(size - done, kReadChunk));
    crc = crc32(crc, data + done, part);
    done += part;
  }
  return static_cast<uint32_t>(crc);
}

// The bytes of the journal's body for changes, as Encode lays it out.
size_t BodySize(const std::vector<XdbJournal::Change>& changes) {
  // Kind and name length; new size and range count; offset and length.
  constexpr size_t kEntryHead = sizeof(uint8_t) + sizeof(uint16_t);
  constexpr size_t kWriteHead = sizeof(uint64_t) + sizeof(uint32_t);
  constexpr size_t kRangeHead = sizeof(uint64_t) + sizeof(uint32_t);
  size_t size = 0;
  for (const XdbJournal::Change& change : changes) {
    size += kEntryHead + change.name.size();
    if (change.remove) {
      continue;
    }
    size += kWriteHead;
    for (const XdbJournal::Range& range : change.ranges) {
      size += kRangeHead + range.bytes.size();
    }
  }
  return size;
}

bool NamedWithin(const std::string& name, const XdbJournal::Bounds& bounds) {
  return bounds.names.empty() || std::find(bounds.names.begin(), bounds.names.end(), name) != bounds.names.end();
}

bool DecodeChange(Reader* reader, const XdbJournal::Bounds& bounds, XdbJournal::Change* change) {
  uint8_t kind = reader->U8();
  uint16_t nameLength = reader->U16();
  std::vector<uint8_t> name;
  if (reader->Failed() || !reader->Bytes(nameLength, &name)) {
    return false;
  }
  change->name.assign(name.begin(), name.end());
  if (!XdbJournal::IsPlainName(change->name) || !NamedWithin(change->name, bounds)) {
    return false;
  }
  if (kind == kRemoveEntry) {
    change->remove = true;
    return true;
  }
  if (kind != kWriteEntry) {
    return false;
  }
  uint64_t size = reader->U64();
  uint32_t rangeCount = reader->U32();
  if (reader->Failed() || bounds.largestSize < 0 || size > static_cast<uint64_t>(bounds.largestSize)) {
    return false;
  }
  change->size = static_cast<int64_t>(size);
  for (uint32_t i = 0; i < rangeCount; ++i) {
    XdbJournal::Range range;
    uint64_t offset = reader->U64();
    uint32_t length = reader->U32();
    if (reader->Failed() || offset > size || length > size - offset || !reader->Bytes(length, &range.bytes)) {
      return false;
    }
    range.offset = static_cast<int64_t>(offset);
    change->ranges.push_back(std::move(range));
  }
  return true;
}

std::string PathIn(const std::string& folder, const std::string& name) { return folder + name; }

// The folder's path without its closing '/', so that a link is not followed.
std::string Unslashed(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

// Closes fd, keeping errno.
void CloseKeepingErrno(int fd) {
  const int error = errno;
  (void)XpSysCalls::Current().Close(fd);
  errno = error;
}

// Writes bytes at offset of fd.
[[nodiscard]] XpResult WriteAt(int fd, int64_t offset, const std::vector<uint8_t>& bytes) {
  if (XpSysCalls::Current().Lseek(fd, offset, SEEK_SET) < 0) {
    return LastResult();
  }
  return XpWriteAll(XpSysCalls::Current(), fd, bytes.data(), bytes.size());
}

[[nodiscard]] XpResult ApplyWrite(int folderFd, const XdbJournal::Change& change) {
  XpSysCalls& calls = XpSysCalls::Current();
  int fd = xdbfiles::OpenIn(folderFd, change.name, O_WRONLY | O_CREAT, kNewFileMode);
  if (fd < 0) {
    return LastResult();
  }
  XpResult result = kXpOk;
  for (const XdbJournal::Range& range : change.ranges) {
    result = WriteAt(fd, range.offset, range.bytes);
    if (XpFailed(result)) {
      break;
    }
  }
  if (XpSucceeded(result) && calls.Ftruncate(fd, change.size) != 0) {
    result = LastResult();
  }
  if (calls.Close(fd) != 0 && XpSucceeded(result)) {
    result = LastResult();
  }
  return result;
}

[[nodiscard]] XpResult ApplyRemove(const std::string& path) {
  if (XpSysCalls::Current().Unlink(path.c_str()) != 0 && errno != ENOENT) {
    return LastResult();
  }
  return kXpOk;
}

}  // namespace

namespace xdbfiles {

int OpenFolder(const std::string& folder) {
  return XpSysCalls::Current().Open(Unslashed(folder).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW, 0);
}

int OpenIn(int folderFd, const std::string& name, int flags, mode_t mode) {
  XpSysCalls& calls = XpSysCalls::Current();
  // Not blocking, so that a pipe or a device answers at once.
  int fd = calls.Openat(folderFd, name.c_str(), flags | O_NOFOLLOW | O_NONBLOCK, mode);
  if (fd < 0) {
    return fd;
  }
  struct stat status {};
  if (calls.Fstat(fd, &status) != 0) {
    CloseKeepingErrno(fd);
    return -1;
  }
  if (!S_ISREG(status.st_mode)) {
    (void)calls.Close(fd);
    errno = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
    return -1;
  }
  return fd;
}

int ReadWhole(const std::string& folder, const std::string& name, std::vector<uint8_t>* bytes) {
  XpSysCalls& calls = XpSysCalls::Current();
  bytes->clear();
  const XpSysFailure before = XpLastSysFailure();
  int folderFd = OpenFolder(folder);
  if (folderFd < 0) {
    return LastError();
  }
  int fd = OpenIn(folderFd, name, O_RDONLY, 0);
  int error = fd < 0 ? LastError() : 0;
  (void)calls.Close(folderFd);
  if (fd < 0) {
    // A missing file is an answer to the caller, not a failure to remember.
    if (error == ENOENT) {
      XpSetSysFailure(before);
    } else if (error == EISDIR || error == EINVAL) {
      XpRecordSysFailure("open", PathIn(folder, name), error);
    }
    return error;
  }
  std::vector<uint8_t> chunk(kReadChunk);
  while (error == 0) {
    const ssize_t moved = calls.Read(fd, chunk.data(), chunk.size());
    if (moved < 0) {
      error = LastError();
      break;
    }
    if (moved == 0) {
      break;
    }
    bytes->insert(bytes->end(), chunk.begin(), chunk.begin() + moved);
  }
  (void)calls.Close(fd);
  return error;
}

[[nodiscard]] XpResult SyncFile(const std::string& folder, const std::string& name) {
  XpSysCalls& calls = XpSysCalls::Current();
  int folderFd = OpenFolder(folder);
  if (folderFd < 0) {
    return LastResult();
  }
  int fd = OpenIn(folderFd, name, O_RDONLY, 0);
  XpResult result = fd < 0 ? LastResult() : kXpOk;
  (void)calls.Close(folderFd);
  if (fd < 0) {
    return result;
  }
  result = calls.Fsync(fd) == 0 ? kXpOk : LastResult();
  (void)calls.Close(fd);
  return result;
}

[[nodiscard]] XpResult SyncFolder(const std::string& folder) {
  return XpSyncFolder(folder.c_str(), XpFolderLink::kRefuse);
}

bool Exists(const std::string& folder, const std::string& name) {
  struct stat status {};
  return XpSysCalls::Current().Lstat(PathIn(folder, name).c_str(), &status) == 0 || errno != ENOENT;
}

}  // namespace xdbfiles

bool XdbJournal::IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

std::vector<uint8_t> XdbJournal::Encode(const std::vector<Change>& changes) {
  const size_t bodySize = BodySize(changes);
  Writer out;
  out.Reserve(kHeaderSize + bodySize + kTrailerSize);
  out.U32(kMagic);
  out.U32(kVersion);
  out.U64(bodySize);
  for (const Change& change : changes) {
    out.U8(change.remove ? kRemoveEntry : kWriteEntry);
    out.U16(static_cast<uint16_t>(change.name.size()));
    out.Bytes(change.name.data(), change.name.size());
    if (change.remove) {
      continue;
    }
    out.U64(static_cast<uint64_t>(change.size));
    out.U32(static_cast<uint32_t>(change.ranges.size()));
    for (const Range& range : change.ranges) {
      out.U64(static_cast<uint64_t>(range.offset));
      out.U32(static_cast<uint32_t>(range.bytes.size()));
      out.Bytes(range.bytes.data(), range.bytes.size());
    }
  }
  const uint32_t crc = Crc(out.Result().data() + kHeaderSize, bodySize);
  out.U32(crc);
  out.U32(kCommitMagic);
  out.U64(bodySize);
  return std::move(out.Result());
}

namespace {

// The body of a sealed journal: its header, checksum and commit record
// agree. Null otherwise.
const uint8_t* SealedBody(const std::vector<uint8_t>& bytes, uint64_t* bodySize) {
  if (bytes.size() < XdbJournal::kHeaderSize + XdbJournal::kTrailerSize) {
    return nullptr;
  }
  Reader header(bytes.data(), XdbJournal::kHeaderSize);
  uint32_t magic = header.U32();
  uint32_t version = header.U32();
  *bodySize = header.U64();
  if (magic != XdbJournal::kMagic || version != XdbJournal::kVersion ||
      *bodySize != bytes.size() - XdbJournal::kHeaderSize - XdbJournal::kTrailerSize) {
    return nullptr;
  }
  const uint8_t* body = bytes.data() + XdbJournal::kHeaderSize;
  Reader trailer(body + *bodySize, XdbJournal::kTrailerSize);
  uint32_t crc = trailer.U32();
  uint32_t commit = trailer.U32();
  uint64_t committedSize = trailer.U64();
  if (commit != XdbJournal::kCommitMagic || committedSize != *bodySize || crc != Crc(body, *bodySize)) {
    return nullptr;
  }
  return body;
}

}  // namespace

bool XdbJournal::IsSealed(const std::vector<uint8_t>& bytes) {
  uint64_t bodySize = 0;
  return SealedBody(bytes, &bodySize) != nullptr;
}

bool XdbJournal::Decode(const std::vector<uint8_t>& bytes, std::vector<Change>* changes, const Bounds& bounds) {
  changes->clear();
  uint64_t bodySize = 0;
  const uint8_t* body = SealedBody(bytes, &bodySize);
  if (body == nullptr) {
    return false;
  }
  Reader reader(body, bodySize);
  while (!reader.AtEnd()) {
    Change change;
    if (!DecodeChange(&reader, bounds, &change)) {
      changes->clear();
      return false;
    }
    changes->push_back(std::move(change));
  }
  return true;
}

bool XdbJournal::Decode(const std::vector<uint8_t>& bytes, std::vector<Change>* changes) {
  return Decode(bytes, changes, Bounds());
}

XpResult XdbJournal::Write(const std::string& folder, const std::vector<Change>& changes) {
  const std::vector<uint8_t> bytes = Encode(changes);
  // A folder that is a link is refused before anything is written in it.
  const int folderFd = xdbfiles::OpenFolder(folder);
  if (folderFd < 0) {
    return LastResult();
  }
  // Opened only to be checked: nothing was written through it.
  (void)XpSysCalls::Current().Close(folderFd);
  XpPendingFile::Options options;
  options.mode = kNewFileMode;
  // Recovery drops a partial journal by this name.
  options.tempName = kPartName;
  options.reuseTempName = true;
  XpPendingFile pending;
  XpResult result = pending.Create(XpString::FromUtf8(PathIn(folder, kFileName)), options);
  if (XpSucceeded(result)) {
    result = pending.Write(bytes.data(), bytes.size());
  }
  if (XpSucceeded(result)) {
    result = pending.Sync();
  }
  if (XpSucceeded(result)) {
    result = pending.Publish(true);
  }
  if (XpFailed(result)) {
    pending.Discard();
    return result;
  }
  result = xdbfiles::SyncFolder(folder);
  if (XpSucceeded(result)) {
    return kXpOk;
  }
  // The rename may not last: take the journal back so that no mount
  // replays changes reported as not made. A journal that cannot be
  // removed will be replayed, so it counts as written.
  if (XpSysCalls::Current().Unlink(PathIn(folder, kFileName).c_str()) != 0 && errno != ENOENT) {
    return kXpOk;
  }
  (void)xdbfiles::SyncFolder(folder);
  return result;
}

XpResult XdbJournal::Apply(const std::string& folder, const std::vector<Change>& changes, const StageHook& hook) {
  if (changes.empty()) {
    return kXpOk;
  }
  int folderFd = xdbfiles::OpenFolder(folder);
  if (folderFd < 0) {
    return LastResult();
  }
  XpResult result = kXpOk;
  for (const Change& change : changes) {
    result = change.remove ? ApplyRemove(PathIn(folder, change.name)) : ApplyWrite(folderFd, change);
    if (XpFailed(result)) {
      break;
    }
    if (hook) {
      hook("applied-one");
    }
  }
  (void)XpSysCalls::Current().Close(folderFd);
  return result;
}

XpResult XdbJournal::SyncFiles(const std::string& folder, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    XpResult result = xdbfiles::SyncFile(folder, name);
    if (XpFailed(result) && xdbfiles::Exists(folder, name)) {
      return result;
    }
  }
  return xdbfiles::SyncFolder(folder);
}

XpResult XdbJournal::Remove(const std::string& folder) {
  if (XpSysCalls::Current().Unlink(PathIn(folder, kFileName).c_str()) != 0 && errno != ENOENT) {
    return LastResult();
  }
  return xdbfiles::SyncFolder(folder);
}

XpResult XdbJournal::Inspect(const std::string& folder, const Bounds& bounds, Found* found) {
  *found = Found();
  found->part = xdbfiles::Exists(folder, kPartName);
  std::vector<uint8_t> bytes;
  int error = xdbfiles::ReadWhole(folder, kFileName, &bytes);
  if (error == ENOENT) {
    return kXpOk;
  }
  if (error != 0) {
    return XpResultFromErrno(error);
  }
  found->journal = true;
  found->complete = Decode(bytes, &found->changes, bounds);
  if (!found->complete && IsSealed(bytes)) {
    // Written whole, yet it names what no flush writes: not ours to apply
    // nor to drop.
    XpRecordSysFailure("replay", PathIn(folder, kFileName), EBADMSG);
    *found = Found();
    return kXpErrInvalidFile;
  }
  return kXpOk;
}

XpResult XdbJournal::Settle(const std::string& folder, const Found& found, bool* replayed) {
  *replayed = false;
  if (found.part) {
    if (XpSysCalls::Current().Unlink(PathIn(folder, kPartName).c_str()) != 0 && errno != ENOENT) {
      return LastResult();
    }
  }
  if (!found.journal) {
    return kXpOk;
  }
  if (found.complete) {
    XpResult result = Apply(folder, found.changes, nullptr);
    if (XpFailed(result)) {
      return result;
    }
    std::vector<std::string> names;
    for (const Change& change : found.changes) {
      if (!change.remove) {
        names.push_back(change.name);
      }
    }
    result = SyncFiles(folder, names);
    if (XpFailed(result)) {
      return result;
    }
    *replayed = true;
  }
  return Remove(folder);
}

XpResult XdbJournal::Recover(const std::string& folder, bool* replayed, const Bounds& bounds) {
  *replayed = false;
  Found found;
  XpResult result = Inspect(folder, bounds, &found);
  if (XpFailed(result)) {
    return result;
  }
  return Settle(folder, found, replayed);
}

XpResult XdbJournal::Recover(const std::string& folder, bool* replayed) {
  return Recover(folder, replayed, Bounds());
}
