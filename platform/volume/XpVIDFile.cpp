#include "platform/volume/XpVIDFile.h"

#include <sys/types.h>

#include <array>
#include <string_view>

#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPendingFile.h"
#include "platform/path/XpPath.h"

namespace {

using Block = std::array<char, XpVIDFile::kFileSize>;

constexpr mode_t kFileMode = 0644;

// The identifier of the file at path; "" when it gives none.
XpString ReadFrom(const XpString& path) {
  XpVIDFile file(path);
  XpString id;
  return XpSucceeded(file.ReadIdentifier(&id)) ? id : XpString();
}

}  // namespace

XpVIDFile::XpVIDFile() = default;

XpVIDFile::XpVIDFile(const XpString& path) : XpFile(path) {}

XpVIDFile::~XpVIDFile() = default;

XpResult XpVIDFile::ReadIdentifier(XpString* id) {
  if (id == nullptr) return kXpErrBadArgument;
  *id = XpString();
  XpResult result = Open(kXpOpenRead);
  if (XpFailed(result)) return result;
  Block block{};
  uint64_t done = 0;
  result = Read(block.data(), block.size(), &done);
  const XpResult closed = Close();
  if (result == kXpErrEndOfFile || (XpSucceeded(result) && done < block.size())) {
    return kXpErrInvalidFile;
  }
  if (XpFailed(result)) return result;
  if (XpFailed(closed)) return closed;
  const std::string_view bytes(block.data(), block.size());
  *id = XpStringA(bytes.substr(0, bytes.find('\0'))).ToWide();
  return kXpOk;
}

XpResult XpVIDFile::WriteNewIdentifier(XpString* id) {
  if (id == nullptr) return kXpErrBadArgument;
  *id = XpString();
  const XpStringA guid = XpVolumeGuidFile::NewGuidText();
  if (guid.IsEmpty()) return kXpErrGeneric;
  Block block{};
  guid.View().copy(block.data(), block.size() - 1);
  const XpResult result = XpReplaceFileAtomically(
      GetFilePath(), std::string_view(block.data(), block.size()), kFileMode);
  if (XpFailed(result)) return result;
  *id = guid.ToWide();
  return kXpOk;
}

XpString XpVIDFile::IdentifierForRoot(const XpString& root) {
  if (root.IsEmpty()) return XpString();
  const XpString folder = XpPathJoin(root, kPrivateFolder);
  const XpString privatePath = XpPathJoin(folder, XpVolumeGuidFile::kFileName);
  XpString id = ReadFrom(privatePath);
  if (!id.IsEmpty()) return id;
  id = ReadFrom(XpPathJoin(root, XpVolumeGuidFile::kFileName));
  if (!id.IsEmpty()) return id;

  const XpResult made = XpCreateDirectoryTree(folder);
  if (XpFailed(made) && made != kXpErrAlreadyExists) return XpString();
  XpVIDFile file(privatePath);
  return XpSucceeded(file.WriteNewIdentifier(&id)) ? id : XpString();
}
