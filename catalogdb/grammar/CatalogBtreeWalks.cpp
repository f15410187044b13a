#include "catalogdb/grammar/CatalogBtreeWalks.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeKey.h"
#include "catalogdb/grammar/CatalogBtreeOverflowChain.h"
#include "catalogdb/grammar/CatalogBtreeSearch.h"

namespace cb = CatalogBtree;

namespace {

// Called for each key: its page, its entry and the page's level (the page
// the walk starts from has level 1).
using KeyVisit = std::function<void(const fsk::Value& page, int entry, int level)>;
// Called once for each page with its level.
using PageVisit = std::function<void(int level)>;

// Visits the keys below node in ascending order. The page is looked at
// afresh after each call into the script, which may have changed it. A
// page reached a second time (a child pointer back up or to a page already
// walked) is a damaged index: EINVAL, so a crafted index cannot make the
// walk visit its pages over and over.
class Walker {
 public:
  Walker(CatalogBtreeIndexObject& index, const KeyVisit& visitKey, const PageVisit& visitPage)
      : index_(index), visitKey_(visitKey), visitPage_(visitPage) {}

  void Walk(const fsk::Value& node, int level) {
    FskMachine* the = index_.Machine();
    CatalogBtreeCheckDepth(the, level);
    Enter(node);
    if (visitPage_) {
      visitPage_(level);
    }
    for (int entry = 0; entry <= CatalogIndexPageOf(the, node).Count(); ++entry) {
      cb::IndexPage view = CatalogIndexPageOf(the, node);
      if (!view.IsLeaf()) {
        Walk(index_.ReadNode(view.Child(entry)), level + 1);
      }
      if (entry < CatalogIndexPageOf(the, node).Count()) {
        visitKey_(node, entry, level);
      }
    }
  }

 private:
  void Enter(const fsk::Value& node) {
    FskMachine* the = index_.Machine();
    if (!entered_.insert(CatalogPageOffset(the, node)).second) {
      fxError(the, EINVAL);
    }
  }

  CatalogBtreeIndexObject& index_;
  const KeyVisit& visitKey_;
  const PageVisit& visitPage_;
  // The offsets of the pages entered so far.
  std::unordered_set<int32_t> entered_;
};

void Walk(CatalogBtreeIndexObject& index, const fsk::Value& node, const KeyVisit& visitKey,
          const PageVisit& visitPage) {
  Walker(index, visitKey, visitPage).Walk(node, 1);
}

void WalkKeys(CatalogBtreeIndexObject& index, const fsk::Value& node, const KeyVisit& visitKey) {
  Walk(index, node, visitKey, nullptr);
}

// The value that eachUpLeaf receives for an entry.
fsk::Value EntryValue(CatalogBtreeIndexObject& index, const fsk::Value& page, int entry) {
  FskMachine* the = index.Machine();
  cb::IndexPage view = CatalogIndexPageOf(the, page);
  if (view.IsUnique()) {
    return fsk::Value::Integer(view.Id(entry));
  }
  std::vector<int32_t> ids = CatalogBtreeEntryIds(index, page, entry);
  fsk::Value value = fsk::NewObject(the);
  for (size_t i = 0; i < ids.size(); ++i) {
    fsk::SetAt(the, value, static_cast<int32_t>(i), fsk::Value::Integer(ids[i]));
  }
  return value;
}

fsk::Value KeyOf(FskMachine* the, const fsk::Value& page, int entry) {
  return CatalogBtreeKey::ToValue(CatalogIndexPageOf(the, page), entry);
}

// The bytes of a key that statistics counts: all of a number, up to the
// first NUL of text.
int32_t KeyLength(const cb::IndexPage& page, int entry) {
  if (page.Kind() != cb::KeyKind::kString) {
    return static_cast<int32_t>(page.KeySize());
  }
  const auto* text = reinterpret_cast<const char*>(page.Key(entry));
  return static_cast<int32_t>(strnlen(text, page.KeySize()));
}

}  // namespace

void CatalogBtreeCountNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  bool onlyKeys = fxToBoolean(the, fxCheckArg(the, 1));
  int64_t count = 0;
  WalkKeys(index, node, [&](const fsk::Value& page, int entry, int) {
    count += onlyKeys ? 1 : static_cast<int64_t>(CatalogBtreeEntryIds(index, page, entry).size());
  });
  fxInteger(the, fxResult(the), count);
}

void CatalogBtreeEachUpNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value target(*fxCheckArg(the, 0));
  fsk::Value node(*fxCheckArg(the, 1));
  WalkKeys(index, node, [&](const fsk::Value& page, int entry, int) {
    fsk::Value key = KeyOf(the, page, entry);
    index.EachUpLeaf(target, key, EntryValue(index, page, entry));
  });
}

void CatalogBtreeFilterSearchNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  fsk::Value filter(*fxCheckArg(the, 1));
  fsk::Value result(*fxCheckArg(the, 2));
  CatalogWithCacheLock(index, node, [&]() {
    WalkKeys(index, node, [&](const fsk::Value& page, int entry, int) {
      if (!filter.IsUndefined() && !fsk::ToBoolean(the, fsk::Call(the, filter, "call", KeyOf(the, page, entry)))) {
        return;
      }
      CatalogBtreeAddIds(index, result, page, entry);
    });
  });
}

void CatalogBtreePartialSearchNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  std::string text = fsk::ToString(the, fsk::Value(*fxCheckArg(the, 1)));
  int64_t length = std::max<int64_t>(0, fxToInteger(the, fxCheckArg(the, 2)));
  fsk::Value result(*fxCheckArg(the, 3));
  cb::IndexPage first = CatalogIndexPageOf(the, node);
  if (first.Kind() != cb::KeyKind::kString) {
    return;
  }
  size_t compared = static_cast<size_t>(std::min<int64_t>(length, first.KeySize()));
  std::vector<unsigned char> prefix(text.begin(),
                                    text.begin() + static_cast<ptrdiff_t>(std::min(compared, text.size())));
  prefix.resize(compared, 0);
  WalkKeys(index, node, [&](const fsk::Value& page, int entry, int) {
    cb::IndexPage view = CatalogIndexPageOf(the, page);
    if (view.KeySize() < compared || !std::equal(prefix.begin(), prefix.end(), view.Key(entry))) {
      return;
    }
    CatalogBtreeAddIds(index, result, page, entry);
  });
}

void CatalogBtreeBuildSortingNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value array(*fxCheckArg(the, 0));
  fsk::Value node(*fxCheckArg(the, 1));
  CatalogWithCacheLock(index, node, [&]() {
    int64_t rank = fxToInteger(the, &fsk::Get(the, array, "index").Slot());
    WalkKeys(index, node, [&](const fsk::Value& page, int entry, int) {
      for (int32_t id : CatalogBtreeEntryIds(index, page, entry)) {
        fsk::Call(the, array, "setValue", id, rank);
      }
      rank += 1;
      fsk::Set(the, array, "index", fsk::Value::Integer(rank));
    });
  });
}

void CatalogBtreeStatsNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  fsk::Value statistics(*fxCheckArg(the, 1));
  int32_t level = CatalogInt32Arg(the, 2);
  int32_t deepest = 0;
  auto visitKey = [&](const fsk::Value& page, int entry, int) {
    CatalogBtreeOverflowChain::Walk walk;
    std::vector<int32_t> ids = CatalogBtreeEntryIds(index, page, entry, &walk);
    cb::IndexPage view = CatalogIndexPageOf(the, page);
    int64_t idCount = view.IsUnique() ? 1 : static_cast<int64_t>(ids.size());
    fsk::Call(the, statistics, "add", idCount, walk.pages, walk.slots, KeyLength(view, entry));
  };
  auto visitPage = [&](int pageLevel) { deepest = std::max(deepest, pageLevel); };
  Walk(index, node, visitKey, visitPage);
  // The walk counts levels from 1 at node, which stands at level + 1.
  int64_t depth = int64_t{level} + deepest;
  int64_t recorded = fxToInteger(the, &fsk::Get(the, statistics, "depth").Slot());
  if (recorded < depth) {
    fsk::Set(the, statistics, "depth", fsk::Value::Integer(depth));
  }
}
