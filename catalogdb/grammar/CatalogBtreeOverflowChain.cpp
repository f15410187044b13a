#include "catalogdb/grammar/CatalogBtreeOverflowChain.h"

#include <cerrno>
#include <set>

namespace cb = CatalogBtree;

namespace {

// The last position of a slot that holds an ID, or -1.
int LastUsed(const cb::OverflowPage& page, int32_t slot) {
  int last = -1;
  for (int position = 0; position < page.IdsPerSlot() && page.Id(slot, position) != 0; ++position) {
    last = position;
  }
  return last;
}

}  // namespace

fsk::Value CatalogBtreeOverflowChain::Remember(const fsk::Value& page) {
  int32_t offset = CatalogPageOffset(index_.Machine(), page);
  auto found = pages_.find(offset);
  if (found != pages_.end()) {
    return found->second;
  }
  pages_.emplace(offset, page);
  return page;
}

fsk::Value CatalogBtreeOverflowChain::Page(int32_t offset) {
  auto found = pages_.find(offset);
  if (found != pages_.end()) {
    return found->second;
  }
  fsk::Value page = index_.ReadOverflow(offset);
  if (CatalogPageOffset(index_.Machine(), page) != offset) {
    fxError(index_.Machine(), EINVAL);
  }
  pages_.emplace(offset, page);
  return page;
}

cb::OverflowPage CatalogBtreeOverflowChain::View(int32_t offset, int32_t slot) {
  cb::OverflowPage view = CatalogOverflowPageOf(index_.Machine(), Page(offset));
  if (slot < 0 || slot >= view.SlotCount()) {
    fxError(index_.Machine(), EINVAL);
  }
  return view;
}

std::vector<CatalogBtreeOverflowChain::Position> CatalogBtreeOverflowChain::Slots(Position head) {
  std::vector<Position> slots;
  // A chain that runs in a circle comes back to a kept slot (Brent's
  // method): the kept slot moves on each time the steps since it reach the
  // next power of 2.
  Position kept = head;
  size_t steps = 0;
  size_t keepFor = 1;
  Position at = head;
  while (true) {
    cb::OverflowPage view = View(at.page, at.slot);
    slots.push_back(at);
    int32_t next = view.NextPage(at.slot);
    if (next == 0) {
      return slots;
    }
    at = Position{next, view.NextSlot(at.slot)};
    if (at.page == kept.page && at.slot == kept.slot) {
      fxError(index_.Machine(), EINVAL);
    }
    if (++steps == keepFor) {
      kept = at;
      keepFor *= 2;
      steps = 0;
    }
  }
}

CatalogBtreeOverflowChain::Head CatalogBtreeOverflowChain::Start(int32_t id) {
  fsk::Value page = Remember(index_.GetOverflow());
  cb::OverflowPage view = CatalogOverflowPageOf(index_.Machine(), page);
  int slot = view.FirstFreeSlot();
  if (slot < 0) {
    fxError(index_.Machine(), EINVAL);  // getOverflow gave a full page.
  }
  view.StartSlot(slot, id);
  index_.Write(page);
  return Head{CatalogPageOffset(index_.Machine(), page), slot};
}

void CatalogBtreeOverflowChain::Add(const fsk::Value& page, int32_t slot, int32_t id) {
  Position last{CatalogPageOffset(index_.Machine(), Remember(page)), slot};
  std::vector<Position> slots = Slots(last);
  for (const Position& at : slots) {
    cb::OverflowPage view = View(at.page, at.slot);
    for (int position = 0; position < view.IdsPerSlot(); ++position) {
      int32_t held = view.Id(at.slot, position);
      if (held == id) {
        return;
      }
      if (held == 0) {
        view.SetId(at.slot, position, id);
        index_.Write(Page(at.page));
        return;
      }
    }
  }
  // Every slot is full: the chain grows by a slot of the last page, or of a
  // page from getOverflow().
  last = slots.back();
  cb::OverflowPage view = View(last.page, last.slot);
  int free = view.FirstFreeSlot();
  if (free >= 0) {
    view.StartSlot(free, id);
    view.SetNext(last.slot, last.page, free);
    index_.Write(Page(last.page));
    return;
  }
  Head added = Start(id);
  View(last.page, last.slot).SetNext(last.slot, added.page, added.slot);
  index_.Write(Page(last.page));
}

CatalogBtreeOverflowChain::Removal CatalogBtreeOverflowChain::Remove(const fsk::Value& page, int32_t slot, int32_t id) {
  std::vector<Position> slots = Slots(Position{CatalogPageOffset(index_.Machine(), Remember(page)), slot});
  const Position* hole = nullptr;
  int holePosition = -1;
  for (const Position& at : slots) {
    cb::OverflowPage view = View(at.page, at.slot);
    for (int position = 0; position < view.IdsPerSlot() && view.Id(at.slot, position) != 0; ++position) {
      if (view.Id(at.slot, position) == id) {
        hole = &at;
        holePosition = position;
        break;
      }
    }
    if (hole != nullptr) {
      break;
    }
  }
  if (hole == nullptr) {
    return Removal{};
  }
  const Position& last = slots.back();
  cb::OverflowPage lastView = View(last.page, last.slot);
  int lastPosition = LastUsed(lastView, last.slot);
  if (lastPosition < 0) {
    fxError(index_.Machine(), EINVAL);  // An empty slot inside a chain.
  }
  View(hole->page, hole->slot).SetId(hole->slot, holePosition, lastView.Id(last.slot, lastPosition));
  lastView.SetId(last.slot, lastPosition, 0);

  std::set<int32_t> changed{hole->page, last.page};
  bool emptied = lastPosition == 0;
  if (emptied && slots.size() > 1) {
    const Position& before = slots[slots.size() - 2];
    View(before.page, before.slot).SetNext(before.slot, 0, 0);
    lastView.SetNext(last.slot, 0, 0);
    changed.insert(before.page);
  }
  bool pageFreed = emptied && lastView.AllFree();
  int32_t freedPage = last.page;
  for (int32_t offset : changed) {
    index_.Write(Page(offset));
  }
  if (pageFreed) {
    index_.AddFree(freedPage);
  }
  return Removal{true, emptied && slots.size() == 1};
}

void CatalogBtreeOverflowChain::Collect(int32_t pageOffset, int32_t slot, std::vector<int32_t>* ids, Walk* walk) {
  std::vector<Position> slots = Slots(Position{pageOffset, slot});
  int32_t previousPage = 0;
  for (const Position& at : slots) {
    cb::OverflowPage view = View(at.page, at.slot);
    for (int position = 0; position < view.IdsPerSlot() && view.Id(at.slot, position) != 0; ++position) {
      ids->push_back(view.Id(at.slot, position));
    }
    if (walk != nullptr) {
      walk->slots += 1;
      walk->pages += at.page != previousPage ? 1 : 0;
    }
    previousPage = at.page;
  }
}

int32_t CatalogBtreeOverflowChain::FirstId(int32_t pageOffset, int32_t slot) {
  return View(pageOffset, slot).Id(slot, 0);
}

std::vector<int32_t> CatalogBtreeEntryIds(CatalogBtreeIndexObject& index, const fsk::Value& page, int entry,
                                          CatalogBtreeOverflowChain::Walk* walk) {
  std::vector<int32_t> ids;
  cb::IndexPage view = CatalogIndexPageOf(index.Machine(), page);
  if (entry < 0 || entry >= view.Count()) {
    fxError(index.Machine(), EINVAL);
  }
  if (view.IsUnique()) {
    if (view.Id(entry) != 0) {
      ids.push_back(view.Id(entry));
    }
    return ids;
  }
  for (int slot = 0; slot < view.IdSlots(); ++slot) {
    if (view.InlineId(entry, slot) != 0) {
      ids.push_back(view.InlineId(entry, slot));
    }
  }
  int32_t overflowPage = view.OverflowPage(entry);
  if (overflowPage != 0) {
    CatalogBtreeOverflowChain(index).Collect(overflowPage, view.OverflowSlot(entry), &ids, walk);
  }
  return ids;
}

void CatalogBtreeOverflowAddEntry(FskMachine* the) {
  CatalogBtreeIndexObject index(the, fsk::Value(*fxCheckArg(the, 0)));
  int32_t slot = CatalogInt32Arg(the, 1);
  int32_t id = CatalogInt32Arg(the, 2);
  CatalogBtreeOverflowChain(index).Add(fsk::Value(*fxThis(the)), slot, id);
}

void CatalogBtreeOverflowIsFull(FskMachine* the) {
  cb::OverflowPage view = CatalogOverflowPageOf(the, fsk::Value(*fxThis(the)));
  fxBoolean(the, fxResult(the), view.FirstFreeSlot() < 0);
}

void CatalogBtreeOverflowRemoveEntry(FskMachine* the) {
  CatalogBtreeIndexObject index(the, fsk::Value(*fxCheckArg(the, 0)));
  int32_t slot = CatalogInt32Arg(the, 1);
  int32_t id = CatalogInt32Arg(the, 2);
  CatalogBtreeOverflowChain::Removal removal =
      CatalogBtreeOverflowChain(index).Remove(fsk::Value(*fxThis(the)), slot, id);
  fxBoolean(the, fxResult(the), removal.removed);
}
