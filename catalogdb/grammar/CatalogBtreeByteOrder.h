#pragma once

#include <cstdint>

// How an index stores its pages, and the conversions of pages and free-page
// records between memory and the file. A conversion works in place and
// trusts the page's header: check it with Fits() first (in the file's order
// before FromFile, in memory before ToFile).

namespace CatalogBtree {

struct PageOrder {
  // Words and header fields are big-endian in the file.
  bool bigEndian = false;
  // Each 32-bit half of a double has its bytes reversed in the file.
  bool splitDoubles = false;

  static PageOrder FromIndexFlags(int32_t flags);
  bool IsMemoryOrder() const { return !bigEndian && !splitDoubles; }
};

// Index pages: the header, entries 0 to count - 1, and the child word of
// entry count.
void IndexPageToFile(unsigned char* page, PageOrder order);
void IndexPageFromFile(unsigned char* page, PageOrder order);

// Overflow pages: the header and every slot.
void OverflowPageToFile(unsigned char* page, PageOrder order);
void OverflowPageFromFile(unsigned char* page, PageOrder order);

// Free-page record: {0x08, 0, next}.
void StoreFreeRecord(unsigned char* record, int32_t next, PageOrder order);
// False when the bytes are not a free-page record.
bool LoadFreeRecord(const unsigned char* record, PageOrder order, int32_t* next);

}  // namespace CatalogBtree
