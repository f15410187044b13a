#include "catalogdb/grammar/CatalogBtreeSearch.h"

#include <cerrno>

#include "catalogdb/grammar/CatalogBtreeOverflowChain.h"

CatalogBtreeHit CatalogBtreeFind(CatalogBtreeIndexObject& index, const fsk::Value& node, const CatalogBtreeKey& key) {
  CatalogBtreeHit hit;
  hit.page = node;
  for (int depth = 0;; ++depth) {
    CatalogBtreeCheckDepth(index.Machine(), depth);
    CatalogBtree::IndexPage view = CatalogIndexPageOf(index.Machine(), hit.page);
    CatalogBtreeKey::Position position = key.Find(index.Machine(), view);
    hit.entry = position.index;
    if (position.found) {
      hit.found = true;
      return hit;
    }
    if (view.IsLeaf()) {
      return hit;
    }
    hit.page = index.ReadNode(view.Child(position.index));
  }
}

void CatalogBtreeCheckDepth(FskMachine* the, int depth) {
  if (depth > CatalogBtree::kMaxTreeDepth) {
    fxError(the, EINVAL);
  }
}

void CatalogBtreeAddIds(CatalogBtreeIndexObject& index, const fsk::Value& result, const fsk::Value& page, int entry) {
  bool unique = CatalogIndexPageOf(index.Machine(), page).IsUnique();
  if (unique && result.IsUndefined()) {
    return;
  }
  for (int32_t id : CatalogBtreeEntryIds(index, page, entry)) {
    fsk::Call(index.Machine(), result, "addID", id);
  }
}

void CatalogBtreeSearchNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  fsk::Value result(*fxCheckArg(the, 2));
  CatalogBtreeKey key = CatalogBtreeKey::FromValue(the, fsk::Value(*fxCheckArg(the, 1)), CatalogIndexPageOf(the, node));
  CatalogBtreeHit hit = CatalogBtreeFind(index, node, key);
  if (hit.found) {
    CatalogBtreeAddIds(index, result, hit.page, hit.entry);
  }
}

void CatalogBtreeUpdateNode(FskMachine* the) {
  CatalogBtreeIndexObject index = CatalogBtreeIndexObject::This(the);
  fsk::Value node(*fxCheckArg(the, 0));
  CatalogBtree::IndexPage first = CatalogIndexPageOf(the, node);
  if (!first.IsUnique()) {
    fxError(the, EINVAL);
  }
  CatalogBtreeKey key = CatalogBtreeKey::FromValue(the, fsk::Value(*fxCheckArg(the, 1)), first);
  int32_t id = CatalogInt32Arg(the, 2);
  CatalogBtreeHit hit = CatalogBtreeFind(index, node, key);
  if (hit.found) {
    CatalogBtree::IndexPage view = CatalogIndexPageOf(the, hit.page);
    if (view.Id(hit.entry) != id) {
      view.SetId(hit.entry, id);
      index.Write(hit.page);
    }
  }
  fxBoolean(the, fxResult(the), hit.found);
}
