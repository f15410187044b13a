#include "catalogdb/grammar/CatalogBtreeInsert.h"

#include <cerrno>

#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeKey.h"
#include "catalogdb/grammar/CatalogBtreeOverflowChain.h"
#include "catalogdb/grammar/CatalogBtreeSearch.h"

namespace cb = CatalogBtree;

namespace {

constexpr char kDuplicateKey[] = "BTree duplicate key!";

// A page from makeNode(like) that holds entries as like does.
fsk::Value MakeNodeLike(CatalogBtreeIndexObject& index, const fsk::Value& like) {
  fsk::Value page = index.MakeNode(like);
  cb::IndexPage made = CatalogIndexPageOf(index.Machine(), page);
  if (!made.Header().SameLayout(CatalogIndexPageOf(index.Machine(), like).Header())) {
    fxError(index.Machine(), EINVAL);
  }
  return page;
}

// id joins the entry of a key that the page holds already.
void AddToEntry(CatalogBtreeIndexObject& index, const fsk::Value& page, int entry, int32_t id) {
  FskMachine* the = index.Machine();
  cb::IndexPage view = CatalogIndexPageOf(the, page);
  if (view.IsUnique()) {
    fxThrowError(the, kFskError, kDuplicateKey);
  }
  CatalogBtreeOverflowChain chain(index);
  int32_t headPage = view.OverflowPage(entry);
  int32_t headSlot = view.OverflowSlot(entry);
  if (headPage != 0) {
    chain.Add(chain.Page(headPage), headSlot, id);
    return;
  }
  for (int slot = 0; slot < view.IdSlots(); ++slot) {
    if (view.InlineId(entry, slot) == 0) {
      view.SetInlineId(entry, slot, id);
      index.Write(page);
      return;
    }
  }
  CatalogBtreeOverflowChain::Head head = chain.Start(id);
  CatalogIndexPageOf(the, page).SetOverflow(entry, head.page, head.slot);
  index.Write(page);
}

fsk::Value Split(CatalogBtreeIndexObject& index, const fsk::Value& parent, int position, const fsk::Value& child) {
  FskMachine* the = index.Machine();
  cb::IndexPage parentView = CatalogIndexPageOf(the, parent);
  cb::IndexPage childView = CatalogIndexPageOf(the, child);
  int32_t childOffset = CatalogPageOffset(the, child);
  if (parentView.IsLeaf() || parentView.Count() >= parentView.MaxKeys() || position < 0 ||
      position > parentView.Count() || parentView.Child(position) != childOffset ||
      childView.Count() != childView.MaxKeys() || !parentView.Header().SameLayout(childView.Header())) {
    fxError(the, EINVAL);
  }
  fsk::Value right = MakeNodeLike(index, child);
  int32_t rightOffset = CatalogPageOffset(the, right);
  parentView = CatalogIndexPageOf(the, parent);
  childView = CatalogIndexPageOf(the, child);
  cb::IndexPage rightView = CatalogIndexPageOf(the, right);

  // The right page takes keys d to 2d - 2 and children d to 2d - 1.
  int degree = childView.Degree();
  rightView.SetLeaf(childView.IsLeaf());
  rightView.CopyEntriesFrom(0, childView, degree, degree);
  rightView.SetCount(degree - 1);
  childView.SetCount(degree - 1);

  // Key d - 1 moves up between the child and the right page.
  int count = parentView.Count();
  parentView.MoveEntries(position + 1, position, count - position + 1);
  parentView.CopyPayload(position, childView, degree - 1);
  parentView.SetChild(position, childOffset);
  parentView.SetChild(position + 1, rightOffset);
  parentView.SetCount(count + 1);
  childView.ClearPayload(degree - 1);

  index.Write(child);
  index.Write(right);
  index.Write(parent);
  return right;
}

void Insert(CatalogBtreeIndexObject& index, fsk::Value node, const CatalogBtreeKey& key, int32_t id) {
  FskMachine* the = index.Machine();
  for (int depth = 0;; ++depth) {
    CatalogBtreeCheckDepth(the, depth);
    cb::IndexPage view = CatalogIndexPageOf(the, node);
    CatalogBtreeKey::Position position = key.Find(the, view);
    if (position.found) {
      AddToEntry(index, node, position.index, id);
      return;
    }
    if (view.IsLeaf()) {
      if (view.Count() >= view.MaxKeys()) {
        fxError(the, EINVAL);
      }
      int at = position.index;
      view.MoveEntries(at + 1, at, view.Count() - at + 1);
      view.ClearPayload(at);
      key.StoreAt(view.Key(at));
      if (view.IsUnique()) {
        view.SetId(at, id);
      } else {
        view.SetInlineId(at, 0, id);
      }
      view.SetCount(view.Count() + 1);
      index.Write(node);
      return;
    }
    fsk::Value child = index.ReadNode(view.Child(position.index));
    cb::IndexPage childView = CatalogIndexPageOf(the, child);
    if (childView.Count() >= childView.MaxKeys()) {
      fsk::Value right = Split(index, node, position.index, child);
      int order = key.Compare(CatalogIndexPageOf(the, node).Key(position.index));
      if (order == 0) {
        AddToEntry(index, node, position.index, id);
        return;
      }
      if (order > 0) {
        child = right;
      }
    }
    node = child;
  }
}

}  // namespace

void CatalogBtreeInsertData(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Set(the, index.Object(), "sortingArray", fsk::Value::Undefined());
  fsk::Value root = index.Root();
  CatalogBtreeKey key = CatalogBtreeKey::FromValue(the, fsk::Value(*fxCheckArg(the, 0)), CatalogIndexPageOf(the, root));
  int32_t id = CatalogInt32Arg(the, 1);
  cb::IndexPage rootView = CatalogIndexPageOf(the, root);
  if (rootView.Count() >= rootView.MaxKeys()) {
    index.Changing();
    fsk::Value newRoot = MakeNodeLike(index, root);
    index.SetRoot(newRoot);
    cb::IndexPage newRootView = CatalogIndexPageOf(the, newRoot);
    newRootView.SetLeaf(false);
    newRootView.SetCount(0);
    newRootView.SetChild(0, CatalogPageOffset(the, root));
    try {
      Split(index, newRoot, 0, root);
    } catch (...) {
      // The new root was never written: the old one stays the root.
      index.SetRoot(root);
      throw;
    }
    root = newRoot;
  }
  Insert(index, root, key, id);
}

void CatalogBtreeInsertNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  CatalogBtreeKey key = CatalogBtreeKey::FromValue(the, fsk::Value(*fxCheckArg(the, 1)), CatalogIndexPageOf(the, node));
  Insert(index, node, key, CatalogInt32Arg(the, 2));
}

void CatalogBtreeSplitNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value parent(*fxCheckArg(the, 0));
  int32_t position = CatalogInt32Arg(the, 1);
  fsk::Value child(*fxCheckArg(the, 2));
  *fxResult(the) = Split(index, parent, position, child).Slot();
}
