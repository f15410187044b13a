// libFuzzer entry point for the journal's decoder: whatever the bytes, the
// decoder ends, and what it accepts lies within its bounds and encodes back
// to the same bytes.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "outside/fsk/dbmanager/XdbJournal.h"

namespace {

// Bounds as the store sets them, so that the name check is reached too.
const XdbJournal::Bounds& StoreLikeBounds() {
  static const XdbJournal::Bounds bounds{
      {"XDB.DAT", "XDB.FRE", "IDS.BLK", "XDB.IND", "OAI.IND", "GUID.IND", "DATA.BLK"}, XdbJournal::kLargestFile};
  return bounds;
}

bool WithinBounds(const std::vector<XdbJournal::Change>& changes, const XdbJournal::Bounds& bounds) {
  for (const XdbJournal::Change& change : changes) {
    if (!XdbJournal::IsPlainName(change.name) || change.size < 0 || change.size > bounds.largestSize) {
      return false;
    }
    for (const XdbJournal::Range& range : change.ranges) {
      if (range.offset < 0 || range.offset + static_cast<int64_t>(range.bytes.size()) > change.size) {
        return false;
      }
    }
  }
  return true;
}

void Check(const std::vector<uint8_t>& bytes, const XdbJournal::Bounds& bounds) {
  std::vector<XdbJournal::Change> changes;
  if (!XdbJournal::Decode(bytes, &changes, bounds)) {
    return;
  }
  if (!XdbJournal::IsSealed(bytes) || !WithinBounds(changes, bounds) || XdbJournal::Encode(changes) != bytes) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  Check(bytes, XdbJournal::Bounds());
  Check(bytes, StoreLikeBounds());
  return 0;
}
