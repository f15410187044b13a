#include "catalogdb/grammar/CatalogBtreeRemove.h"

#include <cerrno>
#include <vector>

#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeKey.h"
#include "catalogdb/grammar/CatalogBtreeOverflowChain.h"
#include "catalogdb/grammar/CatalogBtreeSearch.h"

namespace cb = CatalogBtree;

namespace {

enum class Side { kLeft, kRight };

// A child of node, as a page of the same layout.
fsk::Value ChildOf(CatalogBtreeIndexObject& index, const fsk::Value& node, int position) {
  FskMachine* the = index.Machine();
  fsk::Value child = index.ReadNode(CatalogIndexPageOf(the, node).Child(position));
  if (!CatalogIndexPageOf(the, child).Header().SameLayout(CatalogIndexPageOf(the, node).Header())) {
    fxError(the, EINVAL);
  }
  return child;
}

int CountOf(FskMachine* the, const fsk::Value& page) { return CatalogIndexPageOf(the, page).Count(); }

// The last key of the rightmost leaf below node (kLeft) or the first key of
// the leftmost leaf (kRight) replaces the payload of entry position of page.
void CopyOuterKey(CatalogBtreeIndexObject& index, const fsk::Value& page, int position, fsk::Value node, Side side) {
  FskMachine* the = index.Machine();
  for (int depth = 0;; ++depth) {
    CatalogBtreeCheckDepth(the, depth);
    cb::IndexPage view = CatalogIndexPageOf(the, node);
    if (view.IsLeaf()) {
      break;
    }
    node = index.ReadNode(view.Child(side == Side::kLeft ? view.Count() : 0));
  }
  cb::IndexPage leaf = CatalogIndexPageOf(the, node);
  cb::IndexPage target = CatalogIndexPageOf(the, page);
  if (leaf.Count() == 0 || position < 0 || position >= target.Count() || !leaf.Header().SameLayout(target.Header())) {
    fxError(the, EINVAL);
  }
  target.CopyPayload(position, leaf, side == Side::kLeft ? leaf.Count() - 1 : 0);
}

// Key position of node and its right child merge into its left child; the
// right page goes to addFree.
void Merge(CatalogBtreeIndexObject& index, const fsk::Value& node, int position, const fsk::Value& left,
           const fsk::Value& right) {
  FskMachine* the = index.Machine();
  cb::IndexPage nodeView = CatalogIndexPageOf(the, node);
  cb::IndexPage leftView = CatalogIndexPageOf(the, left);
  cb::IndexPage rightView = CatalogIndexPageOf(the, right);
  int32_t leftOffset = CatalogPageOffset(the, left);
  int32_t rightOffset = CatalogPageOffset(the, right);
  int leftCount = leftView.Count();
  int rightCount = rightView.Count();
  if (nodeView.Child(position) != leftOffset || nodeView.Child(position + 1) != rightOffset ||
      leftView.IsLeaf() != rightView.IsLeaf() || leftCount + rightCount + 1 > leftView.MaxKeys()) {
    fxError(the, EINVAL);
  }
  leftView.CopyPayload(leftCount, nodeView, position);
  leftView.CopyEntriesFrom(leftCount + 1, rightView, 0, rightCount + 1);
  leftView.SetCount(leftCount + 1 + rightCount);

  int count = nodeView.Count();
  nodeView.MoveEntries(position, position + 1, count - position);
  nodeView.SetChild(position, leftOffset);
  nodeView.SetCount(count - 1);

  index.Write(left);
  index.Write(node);
  index.AddFree(rightOffset);
}

// Child position of node borrows a key from its sibling on side: the key
// of node between them comes down to child's near end, and the sibling's
// nearest key goes up in its place, its nearest child moving to child.
void Rotate(CatalogBtreeIndexObject& index, const fsk::Value& node, int position,
            const fsk::Value& child, const fsk::Value& sibling, Side side) {
  FskMachine* the = index.Machine();
  cb::IndexPage nodeView = CatalogIndexPageOf(the, node);
  cb::IndexPage childView = CatalogIndexPageOf(the, child);
  cb::IndexPage siblingView = CatalogIndexPageOf(the, sibling);
  int childCount = childView.Count();
  int siblingCount = siblingView.Count();
  bool fromLeft = side == Side::kLeft;
  int between = fromLeft ? position - 1 : position;
  if (fromLeft) {
    childView.MoveEntries(1, 0, childCount + 1);
  }
  childView.CopyPayload(fromLeft ? 0 : childCount, nodeView, between);
  childView.SetChild(fromLeft ? 0 : childCount + 1, siblingView.Child(fromLeft ? siblingCount : 0));
  childView.SetCount(childCount + 1);
  nodeView.CopyPayload(between, siblingView, fromLeft ? siblingCount - 1 : 0);
  if (!fromLeft) {
    siblingView.MoveEntries(0, 1, siblingCount);
  }
  siblingView.ClearPayload(siblingCount - 1);
  siblingView.SetCount(siblingCount - 1);
  index.Write(sibling);
  index.Write(child);
  index.Write(node);
}

// Child position of node holds d - 1 keys: it borrows from a sibling or
// merges with one. Gives the page that now holds child's keys.
fsk::Value Fill(CatalogBtreeIndexObject& index, const fsk::Value& node, int position, const fsk::Value& child) {
  FskMachine* the = index.Machine();
  int degree = CatalogIndexPageOf(the, node).Degree();
  int count = CountOf(the, node);
  fsk::Value left;
  if (position > 0) {
    left = ChildOf(index, node, position - 1);
    if (CountOf(the, left) >= degree) {
      Rotate(index, node, position, child, left, Side::kLeft);
      return child;
    }
  }
  fsk::Value right;
  if (position < count) {
    right = ChildOf(index, node, position + 1);
    if (CountOf(the, right) >= degree) {
      Rotate(index, node, position, child, right, Side::kRight);
      return child;
    }
  }
  if (position > 0) {
    Merge(index, node, position - 1, left, child);
    return left;
  }
  if (position >= count) {
    fxError(the, EINVAL);  // An inner page without keys.
  }
  Merge(index, node, position, child, right);
  return child;
}

// Key at of inner page node gives way to the outer key below child, the
// child on side, when child can spare a key: *key becomes the key copied,
// which is the one to remove below child.
bool TakeOuterKey(CatalogBtreeIndexObject& index, const fsk::Value& node, int at,
                  const fsk::Value& child, Side side, CatalogBtreeKey* key) {
  FskMachine* the = index.Machine();
  if (CountOf(the, child) < CatalogIndexPageOf(the, node).Degree()) {
    return false;
  }
  CopyOuterKey(index, node, at, child, side);
  *key = CatalogBtreeKey::FromEntry(CatalogIndexPageOf(the, node), at);
  index.Write(node);
  return true;
}

bool RemoveBelow(CatalogBtreeIndexObject& index, fsk::Value node, CatalogBtreeKey key) {
  FskMachine* the = index.Machine();
  for (int depth = 0;; ++depth) {
    CatalogBtreeCheckDepth(the, depth);
    cb::IndexPage view = CatalogIndexPageOf(the, node);
    CatalogBtreeKey::Position position = key.Find(the, view);
    int at = position.index;
    int degree = view.Degree();
    if (position.found && view.IsLeaf()) {
      int count = view.Count();
      view.MoveEntries(at, at + 1, count - at);
      view.ClearPayload(count - 1);
      view.SetCount(count - 1);
      index.Write(node);
      return true;
    }
    if (!position.found && view.IsLeaf()) {
      return false;
    }
    if (!position.found) {
      fsk::Value child = ChildOf(index, node, at);
      node = CountOf(the, child) < degree ? Fill(index, node, at, child) : child;
      continue;
    }
    // The key is in this inner page.
    fsk::Value left = ChildOf(index, node, at);
    if (TakeOuterKey(index, node, at, left, Side::kLeft, &key)) {
      node = left;
      continue;
    }
    fsk::Value right = ChildOf(index, node, at + 1);
    if (TakeOuterKey(index, node, at, right, Side::kRight, &key)) {
      node = right;
      continue;
    }
    Merge(index, node, at, left, right);
    node = left;
  }
}

// Gives back the overflow chain of key's entry, so that removing the key
// leaves no slot in use.
void ReleaseChain(CatalogBtreeIndexObject& index, const fsk::Value& root, const CatalogBtreeKey& key) {
  FskMachine* the = index.Machine();
  CatalogBtreeHit hit = CatalogBtreeFind(index, root, key);
  if (!hit.found) {
    return;
  }
  cb::IndexPage view = CatalogIndexPageOf(the, hit.page);
  if (view.IsUnique() || view.OverflowPage(hit.entry) == 0) {
    return;
  }
  int32_t headPage = view.OverflowPage(hit.entry);
  int32_t headSlot = view.OverflowSlot(hit.entry);
  std::vector<int32_t> ids;
  CatalogBtreeOverflowChain chain(index);
  chain.Collect(headPage, headSlot, &ids, nullptr);
  for (int32_t id : ids) {
    chain.Remove(chain.Page(headPage), headSlot, id);
  }
  CatalogIndexPageOf(the, hit.page).SetOverflow(hit.entry, 0, 0);
  index.Write(hit.page);
}

bool RemoveSharedId(CatalogBtreeIndexObject& index, const fsk::Value& page, int entry, int32_t id) {
  FskMachine* the = index.Machine();
  cb::IndexPage view = CatalogIndexPageOf(the, page);
  int32_t headPage = view.OverflowPage(entry);
  int32_t headSlot = view.OverflowSlot(entry);
  int slots = view.IdSlots();
  int inlineAt = -1;
  for (int slot = 0; slot < slots && inlineAt < 0; ++slot) {
    inlineAt = view.InlineId(entry, slot) == id ? slot : -1;
  }
  CatalogBtreeOverflowChain chain(index);
  CatalogBtreeOverflowChain::Removal removal;
  if (inlineAt >= 0) {
    for (int slot = inlineAt; slot + 1 < slots; ++slot) {
      view.SetInlineId(entry, slot, view.InlineId(entry, slot + 1));
    }
    view.SetInlineId(entry, slots - 1, 0);
    if (headPage != 0) {
      // The chain's first ID fills the inline slot freed.
      int32_t first = chain.FirstId(headPage, headSlot);
      CatalogIndexPageOf(the, page).SetInlineId(entry, slots - 1, first);
      removal = first != 0 ? chain.Remove(chain.Page(headPage), headSlot, first)
                           : CatalogBtreeOverflowChain::Removal{false, true};
    }
  } else if (headPage != 0) {
    removal = chain.Remove(chain.Page(headPage), headSlot, id);
    if (!removal.removed) {
      return false;
    }
  } else {
    return false;
  }
  if (removal.emptied) {
    CatalogIndexPageOf(the, page).SetOverflow(entry, 0, 0);
  }
  index.Write(page);
  return true;
}

}  // namespace

void CatalogBtreeRemoveKey(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value root = index.Root();
  CatalogBtreeKey key = CatalogBtreeKey::FromValue(the, fsk::Value(*fxCheckArg(the, 0)), CatalogIndexPageOf(the, root));
  ReleaseChain(index, root, key);
  bool removed = RemoveBelow(index, root, key);
  cb::IndexPage rootView = CatalogIndexPageOf(the, root);
  if (!rootView.IsLeaf() && rootView.Count() == 0) {
    index.Changing();
    fsk::Value newRoot = ChildOf(index, root, 0);
    index.SetRoot(newRoot);
    index.AddFree(CatalogPageOffset(the, root));
  }
  fxBoolean(the, fxResult(the), removed);
}

void CatalogBtreeRemoveKeyNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  CatalogBtreeKey key = CatalogBtreeKey::FromValue(the, fsk::Value(*fxCheckArg(the, 1)), CatalogIndexPageOf(the, node));
  fxBoolean(the, fxResult(the), RemoveBelow(index, node, key));
}

void CatalogBtreeRemoveKeyID(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  CatalogBtreeKey key = CatalogBtreeKey::FromValue(the, fsk::Value(*fxCheckArg(the, 1)), CatalogIndexPageOf(the, node));
  int32_t id = CatalogInt32Arg(the, 2);
  CatalogBtreeHit hit = CatalogBtreeFind(index, node, key);
  bool removed = false;
  if (hit.found && id != 0) {
    cb::IndexPage view = CatalogIndexPageOf(the, hit.page);
    if (!view.IsUnique()) {
      removed = RemoveSharedId(index, hit.page, hit.entry, id);
    } else if (view.Id(hit.entry) == id) {
      view.SetId(hit.entry, 0);
      index.Write(hit.page);
      removed = true;
    }
  }
  fxBoolean(the, fxResult(the), removed);
}

void CatalogBtreeSearchLeft(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  CopyOuterKey(index, fsk::Value(*fxCheckArg(the, 0)), CatalogInt32Arg(the, 1), fsk::Value(*fxCheckArg(the, 2)),
               Side::kLeft);
}

void CatalogBtreeSearchRight(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  CopyOuterKey(index, fsk::Value(*fxCheckArg(the, 0)), CatalogInt32Arg(the, 1), fsk::Value(*fxCheckArg(the, 2)),
               Side::kRight);
}
