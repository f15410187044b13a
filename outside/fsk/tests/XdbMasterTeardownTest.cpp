#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"
#include "outside/fsk/dbmanager/XdbDbManager.h"
#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/tests/XdbMasterFixture.h"

namespace {

using fsk::Value;

class XdbMasterTeardown : public xdbtest::MasterFixture {
 protected:
  // The titles of the albums of folder_, read by a new Master.
  std::vector<std::string> Titles() {
    Value master = OpenMaster(folder_);
    std::vector<std::string> titles;
    for (int64_t id : IdsOf(fsk::Call(the_, master, "search", "ad", nullptr))) {
      titles.push_back(fsk::ToString(the_, fsk::Get(the_, fsk::Call(the_, master, "getRecord", id), "title")));
    }
    XdbStore* store = XdbDbManager::StoreOf(the_, master);
    EXPECT_NE(store, nullptr);
    if (store != nullptr) {
      EXPECT_EQ(store->Check(), std::vector<std::string>{});
    }
    fsk::Call(the_, master, "close");
    return titles;
  }
};

TEST_F(XdbMasterTeardown, AMasterHeldByACycleIsClosedUnflushedByTheTeardown) {
  struct Case {
    const char* name;
    bool cycle;
  };
  const Case cases[] = {{"dropped", false}, {"held by a cycle", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    int64_t before = 0;
    {
      Value master = OpenMaster(folder_);
      fsk::Call(the_, master, "createAlbum", Album("Flushed"));
      fsk::Call(the_, master, "flush");
      fsk::Call(the_, master, "createAlbum", Album("Unflushed"));
      Value set = fsk::Call(the_, master, "search", "ad", nullptr);
      if (c.cycle) {
        // The Master holds itself and a set of its store.
        fsk::Set(the_, master, "self", master);
        fsk::Set(the_, master, "albums", set);
      }
      before = fxLiveObjectCount(the_);
    }
    // Only a cycle keeps the Master and its set alive past the last value.
    if (c.cycle) {
      EXPECT_EQ(fxLiveObjectCount(the_), before);
    } else {
      EXPECT_LT(fxLiveObjectCount(the_), before);
    }
    Restart();
    EXPECT_EQ(Titles(), std::vector<std::string>{"Flushed"});
  }
}

}  // namespace
