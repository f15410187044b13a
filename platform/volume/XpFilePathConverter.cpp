#include "platform/volume/XpFilePathConverter.h"

#include <algorithm>

#include "platform/shell/XpSpecialFolder.h"
#include "platform/volume/XpVolume.h"

namespace {

constexpr char16_t kSeparator = u'/';
constexpr bool kLowerPriority = true;

bool IsAbsolute(const XpString& path) { return !path.IsEmpty() && path.CStr()[0] == kSeparator; }

XpString WithoutTrailingSeparators(const XpString& path) {
  std::u16string_view view = path.View();
  while (!view.empty() && view.back() == kSeparator) view.remove_suffix(1);
  return XpString(view);
}

// prefix begins path and ends on a component boundary.
bool IsPathPrefix(std::u16string_view prefix, std::u16string_view path) {
  if (prefix.empty() || path.substr(0, prefix.size()) != prefix) return false;
  return path.size() == prefix.size() || path[prefix.size()] == kSeparator;
}

bool IsTextPrefix(std::u16string_view prefix, std::u16string_view path) {
  return !prefix.empty() && path.substr(0, prefix.size()) == prefix;
}

// A volume whose paths get a token: fixed, local and not optical.
bool IsFixedVolume(XpVolume& volume) {
  return !volume.IsRemovable() && !volume.IsRemote() && !volume.IsCdRom();
}

}  // namespace

XpFilePathConverter::XpFilePathConverter(const XpString& myDocumentsToken,
                                         const XpString& volumeTokenFormat)
    : XpVolumeWatchDog(kLowerPriority), volumeTokenFormat_(volumeTokenFormat) {
  const XpString documents = XpGetSpecialFolder(kXpFolderDocuments, false);
  pairs_.emplace_back(WithoutTrailingSeparators(documents), myDocumentsToken);
  for (const XpString& root : ScanReadyRoots()) AddVolumeToken(root);
  // A constructor cannot report; without the callback the tokens stay
  // those of the volumes found above.
  (void)AddCallback(this);
}

XpFilePathConverter::~XpFilePathConverter() {
  // The polling thread calls back into this object: it ends first.
  (void)Stop();
  RemoveCallback(this);
}

XpString XpFilePathConverter::ToPortablePath(const XpString& path) const {
  if (path.IsEmpty()) return path;
  std::lock_guard<std::mutex> lock(pairsMutex_);
  for (const auto& [real, token] : pairs_) {
    if (IsPathPrefix(real.View(), path.View())) return token + path.Mid(real.GetLength());
  }
  return path;
}

XpString XpFilePathConverter::ToRealPath(const XpString& path) const {
  if (path.IsEmpty()) return path;
  XpString result = path;
  {
    std::lock_guard<std::mutex> lock(pairsMutex_);
    for (const auto& [real, token] : pairs_) {
      if (real.IsEmpty() || !IsTextPrefix(token.View(), path.View())) continue;
      result = real + path.Mid(token.GetLength());
      break;
    }
  }
  return IsAbsolute(result) ? result : XpString();
}

void XpFilePathConverter::OnVolumeArrived(const XpString& root) { AddVolumeToken(root); }

void XpFilePathConverter::OnVolumeRemoved(const XpString& root) {
  RemovePair(MountPointOf(root));
}

void XpFilePathConverter::AddPair(const XpString& real, const XpString& token) {
  std::lock_guard<std::mutex> lock(pairsMutex_);
  std::erase_if(pairs_, [&real](const Pair& pair) { return pair.first == real; });
  pairs_.emplace_back(real, token);
}

void XpFilePathConverter::RemovePair(const XpString& real) {
  std::lock_guard<std::mutex> lock(pairsMutex_);
  std::erase_if(pairs_, [&real](const Pair& pair) { return pair.first == real; });
}

XpResult XpFilePathConverter::SetToken(const XpString& real, const XpString& token) {
  std::lock_guard<std::mutex> lock(pairsMutex_);
  auto found = std::find_if(pairs_.begin(), pairs_.end(),
                            [&real](const Pair& pair) { return pair.first == real; });
  if (found == pairs_.end()) return kXpErrBadArgument;
  found->second = token;
  return kXpOk;
}

std::vector<XpFilePathConverter::Pair> XpFilePathConverter::GetPairs() const {
  std::lock_guard<std::mutex> lock(pairsMutex_);
  return pairs_;
}

void XpFilePathConverter::AddVolumeToken(const XpString& root) {
  // "/" would be the empty prefix of every path.
  const XpString mountPoint = MountPointOf(root);
  if (mountPoint.IsEmpty()) return;
  XpVolume volume(root);
  if (!IsFixedVolume(volume)) return;
  const uint32_t serial = volume.GetVolumeSerial();
  if (serial == 0) return;
  XpString token;
  if (XpFailed(token.Format(volumeTokenFormat_.CStr(), serial, volume.GetPartitionNumber()))) {
    return;
  }
  AddPair(mountPoint, token);
}

XpString XpFilePathConverter::MountPointOf(const XpString& root) {
  return WithoutTrailingSeparators(root);
}
