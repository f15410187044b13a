#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fsk/FskException.h"
#include "fsk/FskMain.h"
#include "fsk/FskScript.h"
#include "platform/testsupport/HermeticTest.h"

namespace xdbtest {

// The "dbManager" machine of a started runtime, with a host bracket open,
// as the glue uses it. Values made by a test must be gone before TearDown
// (keep them in the test's scope).
class MasterFixture : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    FskMainReset();
    folder_ = Dir("DBFILES");
    Start();
  }

  // Terminates the runtime (destroying the machine) and starts it again.
  void Restart() {
    dbManager_ = fsk::Value();
    fxEndHost(the_);
    the_ = nullptr;
    ASSERT_EQ(FskMainTerminate(), 0);
    Start();
  }

  void Start() {
    ASSERT_EQ(FskMainInitialize(3, 0, nullptr), 0);
    FskECMAScript vm = nullptr;
    ASSERT_EQ(FskECMAScriptFindByName("dbManager", &vm), 0);
    the_ = FskECMAScriptGetXSMachine(vm);
    ASSERT_NE(the_, nullptr);
    fxBeginHost(the_);
    dbManager_ = fsk::GetPath(the_, "dbManager");
  }

  void TearDown() override {
    dbManager_ = fsk::Value();
    if (the_ != nullptr) {
      fxEndHost(the_);
    }
    EXPECT_EQ(FskMainTerminate(), 0);
    FskMainReset();
    HermeticTest::TearDown();
  }

  fsk::Value NewMaster() { return fsk::New(the_, dbManager_, "Master"); }
  // A Master with the folder open and the guid index in use, as the glue
  // leaves it.
  fsk::Value OpenMaster(const std::filesystem::path& folder) {
    fsk::Value master = NewMaster();
    EXPECT_EQ(fsk::ToInteger(the_, fsk::Call(the_, master, "open", folder.string(), nullptr)), 350);
    fsk::Call(the_, master, "createIndex", "guid", 64, nullptr);
    return master;
  }
  fsk::Value Album(const std::string& title, double date = 0) {
    return fsk::New(the_, dbManager_, "ContentAlbumInfo", date, title, 3);
  }
  fsk::Value Content(int32_t album, int32_t folder = 100, int32_t file = 1, double date = 1237075200000.0) {
    return fsk::New(the_, dbManager_, "ContentMaster", date, folder, file, album, 1, 0);
  }
  int64_t Integer(const fsk::Value& value) { return fsk::ToInteger(the_, value); }
  int64_t Count(const fsk::Value& set) { return Integer(fsk::Call(the_, set, "count")); }
  std::vector<int64_t> IdsOf(const fsk::Value& set) {
    std::vector<int64_t> ids;
    int64_t count = Count(set);
    for (int64_t position = 0; position < count; ++position) {
      ids.push_back(Integer(fsk::Call(the_, set, "getID", position)));
    }
    return ids;
  }
  // The message of what work throws; nullopt when it throws nothing.
  template <typename Work>
  std::optional<std::string> Thrown(Work work) {
    try {
      work();
    } catch (const FskException& error) {
      return std::string(error.what());
    }
    return std::nullopt;
  }

  FskMachine* the_ = nullptr;
  fsk::Value dbManager_;
  std::filesystem::path folder_;
};

}  // namespace xdbtest
