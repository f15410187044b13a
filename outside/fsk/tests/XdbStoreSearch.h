#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbStore.h"

namespace xdbtest {

// The IDs a search of store finds, ascending: Found(store,
// &XdbStore::ContentsOfAlbum, album). A failed search fails the test and
// finds nothing.
template <typename... Parameters, typename... Arguments>
std::vector<int32_t> Found(XdbStore& store, XpResult (XdbStore::*search)(Parameters...), Arguments... arguments) {
  XdbStore::Found set;
  XpResult result = (store.*search)(arguments..., &set);
  EXPECT_EQ(result, kXpOk);
  std::vector<int32_t> ids;
  if (set != nullptr) {
    EXPECT_EQ(set->Ids(&ids), kXpOk);
  }
  return ids;
}

}  // namespace xdbtest
