#pragma once

#include <mutex>
#include <utility>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/volume/IXpVolumeWatchDogCallback.h"
#include "platform/volume/XpVolumeWatchDog.h"

// Turns paths into a stored form that survives a moved volume or documents
// folder, and back. A path in the documents folder is stored with the
// documents token in place of the folder; a path on a fixed volume with a
// token of the volume's serial and partition number in place of its mount
// point. The converter polls the volumes (it is its own listener) to keep
// its pairs current; the owner starts the polling.
class XpFilePathConverter : public XpVolumeWatchDog, public IXpVolumeWatchDogCallback {
 public:
  // One {real path prefix, token} entry, in table order.
  using Pair = std::pair<XpString, XpString>;

  // The documents pair first, then one pair per fixed volume mounted now.
  // volumeTokenFormat takes the serial and the partition number, both
  // 32-bit ("<%08X%08X>").
  XpFilePathConverter(const XpString& myDocumentsToken, const XpString& volumeTokenFormat);
  ~XpFilePathConverter() override;

  // The first pair whose real path begins path on a component boundary
  // (case-sensitive) gives its token in place of that prefix; path itself
  // when none does.
  XpString ToPortablePath(const XpString& path) const;
  // The first pair whose token begins path gives its real path in place of
  // the token. The result is never relative: a path that is not absolute
  // after conversion (a token whose volume is absent) gives "".
  XpString ToRealPath(const XpString& path) const;

  // A fixed volume's pair is added or taken out.
  void OnVolumeArrived(const XpString& root) override;
  void OnVolumeRemoved(const XpString& root) override;

  // Replaces any pair with the same real path by a new last pair.
  void AddPair(const XpString& real, const XpString& token);
  void RemovePair(const XpString& real);
  // kXpErrBadArgument when no pair has this real path.
  [[nodiscard]] XpResult SetToken(const XpString& real, const XpString& token);
  std::vector<Pair> GetPairs() const;

 private:
  void AddVolumeToken(const XpString& root);
  static XpString MountPointOf(const XpString& root);

  const XpString volumeTokenFormat_;
  mutable std::mutex pairsMutex_;
  std::vector<Pair> pairs_;
};
