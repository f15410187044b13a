#pragma once

#include <cstdint>
#include <vector>

#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// One imported camera object as the import manager keeps it for the import
// record: the copies it wrote on the PC, the favourite numbers of the
// content and its shooting date.
struct K2ImportedObject {
  // Full paths of the copies in the destination folder (a picture; or a
  // movie and its thumbnail), in copy order.
  XpStringVector files;
  // Favourite numbers 1 to 6, rising.
  std::vector<int32_t> favourites;
  // Shooting date of the content.
  XpDateTime date;
};
