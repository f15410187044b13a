// The property-list operations of XpIniDict: file, text and clipboard.

#include <sys/stat.h>

#include <new>
#include <string>
#include <string_view>

#include "platform/fs/XpFile.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/value/XpClipboard.h"
#include "platform/value/XpIniDict.h"
#include "platform/value/XpPlistReader.h"
#include "platform/value/XpPlistWriter.h"
#include "platform/xml/XpXmlDocument.h"

namespace {

constexpr uint64_t kReadBlock = 65536;
// No property list of ours comes near this; a longer input (a device such
// as /dev/zero, a wrong file) is refused instead of read without end.
constexpr size_t kMaxPropertyListBytes = 64u << 20;
constexpr mode_t kNewFileMode = 0666;

// The whole content of the file at path; kXpErrInvalidFile past
// kMaxPropertyListBytes.
[[nodiscard]] XpResult ReadWholeFile(const XpString& path, std::string* bytes) {
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
      if (bytes->size() > kMaxPropertyListBytes) {
        return kXpErrInvalidFile;
      }
    }
  } catch (const std::bad_alloc&) {
    return kXpErrOutOfMemory;
  }
}

// Replaces the file at path by bytes (XpReplaceFileAtomically): the old
// file stays as it was unless the new one is complete.
[[nodiscard]] XpResult ReplaceFile(const XpString& path, std::string_view bytes) {
  const XpStringA target = path.ToMultiByte();
  const std::string_view view = target.View();
  if (view.empty() || view[0] != '/' || view.back() == '/') {
    return kXpErrPathNotFound;
  }
  return XpReplaceFileAtomically(path, bytes, kNewFileMode);
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
