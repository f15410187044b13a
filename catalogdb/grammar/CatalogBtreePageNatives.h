#pragma once

#include "fsk/FskMachine.h"

// The natives of B-tree pages: the page constructors, read and writeData
// of xdbBtree.defaultPage (index and overflow pages alike), and the index's
// free-page records. The host data of a page is its block of memory; close
// and the destructor are the shared ones of host buffers.

// IntegerPage(offset, pageSize, idSlots, unique),
// NumberPage(offset, pageSize, idSlots, unique),
// StringPage(offset, pageSize, idSlots, unique, keyLength): a new leaf.
void CatalogBtreeIntegerPage(FskMachine* the);
void CatalogBtreeNumberPage(FskMachine* the);
void CatalogBtreeStringPage(FskMachine* the);
// OverflowPage(offset, pageSize, idsPerSlot).
void CatalogBtreeOverflowPage(FskMachine* the);

// page.read(index): reads index.pageSize bytes at this.offset through
// index.readDataAt and converts them to memory. EINVAL, with the bytes left
// as read, when the page read is not a page of this page's kind that agrees
// with the index.
void CatalogBtreePageRead(FskMachine* the);
// page.writeData(index): writes the page at this.offset through
// index.writeDataAt in the index's byte order.
void CatalogBtreePageWriteData(FskMachine* the);

// index.readFree(offset) -> next; EINVAL when the record at offset is not
// a free-page record.
void CatalogBtreeIndexReadFree(FskMachine* the);
// index.writeFree(offset, next).
void CatalogBtreeIndexWriteFree(FskMachine* the);
