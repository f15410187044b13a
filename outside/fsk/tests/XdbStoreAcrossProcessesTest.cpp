#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "outside/fsk/dbmanager/XdbStore.h"
#include "outside/fsk/tests/XdbStoreSearch.h"
#include "outside/fsk/testsupport/FskGrammarMachine.h"
#include "platform/testsupport/ForkedChild.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using xdbtest::Found;

using Kind = ::XdbStore::Kind;

constexpr int kSeeds = 50;
constexpr int32_t kLimit = 50;
constexpr int32_t kStageFlush = 3;
constexpr int kLongestPause = 3000;

// What the child tells the parent: the state a flush is about to make
// durable, then that it did.
struct Report {
  int32_t kind = 0;
  int32_t flush = 0;
  uint64_t hash = 0;
};
constexpr int32_t kPending = 1;
constexpr int32_t kDone = 2;

void Mix(uint64_t* hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < size; ++i) {
    *hash = (*hash ^ bytes[i]) * 1099511628211ULL;
  }
}

// Every record of the store, folded into one number.
uint64_t HashOf(const ::XdbStore& store) {
  uint64_t hash = 1469598103934665603ULL;
  for (int32_t id = 1; id <= kLimit; ++id) {
    auto record = store.GetRecord(id);
    if (!record) {
      continue;
    }
    Mix(&hash, &id, sizeof id);
    if (record->kind == Kind::kContent) {
      std::vector<uint8_t> payload = XdbStoreRecord::EncodeContent(record->content);
      Mix(&hash, payload.data(), payload.size());
    } else {
      std::vector<uint8_t> payload = XdbStoreRecord::EncodeAlbum(record->album);
      Mix(&hash, payload.data(), payload.size());
    }
  }
  return hash;
}

void Send(int fd, int32_t kind, int32_t flush, uint64_t hash) {
  Report report{kind, flush, hash};
  (void)!write(fd, &report, sizeof report);
}

// A few random changes.
void RandomSteps(std::mt19937& random, ::XdbStore& store) {
  int count = 1 + static_cast<int>(random() % 6);
  for (int i = 0; i < count; ++i) {
    std::vector<int32_t> albums = Found(store, &::XdbStore::AllAlbums);
    std::vector<int32_t> contents = Found(store, &::XdbStore::AllContents);
    uint32_t action = random() % 10;
    int32_t id = 0;
    if (action < 2 || albums.empty()) {
      (void)store.AddAlbum({0, static_cast<int32_t>(random() % 5), "a" + std::to_string(random() % 50)}, &id);
    } else if (action < 6) {
      int32_t album = albums[random() % albums.size()];
      (void)store.AddContent({1.2e12, 100, static_cast<int32_t>(random() % 9999), album, 0, 0, 0, 0}, &id);
    } else if (action < 8 && !contents.empty()) {
      (void)store.Delete(contents[random() % contents.size()], Kind::kContent);
    } else if (!contents.empty()) {
      (void)store.SetShare(contents[random() % contents.size()], 1 << (random() % 3), true);
    }
  }
}

class XdbStoreAcrossProcesses : public testsupport::HermeticTest {
 protected:
  void SetUp() override {
    HermeticTest::SetUp();
    machine_ = std::make_unique<fsktest::GrammarMachine>();
    ASSERT_NE(machine_->Machine(), nullptr) << machine_->LoadError();
  }
  void TearDown() override {
    machine_.reset();
    HermeticTest::TearDown();
  }

  // Starts a child that changes and flushes the store at folder until
  // killed, stopping at stage of flush kStageFlush when stage is set.
  bool StartChild(testsupport::ForkedChild* child, const std::string& folder, uint32_t seed, const char* stage,
                  int reports[2]) {
    return child->Start([=, this](testsupport::ChildChannel& channel) {
      close(reports[0]);
      ::XdbStore store(machine_->Machine());
      store.SetLimit(kLimit);
      int status = 0;
      if (store.Open(folder, &status) != kXpOk || status != ::XdbStore::kOpened) {
        return 1;
      }
      Send(reports[1], kDone, 0, HashOf(store));
      int32_t flush = 0;
      store.SetStageHook([&](const char* at) {
        if (stage != nullptr && flush == kStageFlush && std::strcmp(stage, at) == 0) {
          channel.SignalReady();
          channel.WaitForGo();
        }
      });
      std::mt19937 random(seed);
      for (flush = 1;; ++flush) {
        RandomSteps(random, store);
        uint64_t hash = HashOf(store);
        Send(reports[1], kPending, flush, hash);
        if (store.Flush() != kXpOk) {
          return 2;
        }
        Send(reports[1], kDone, flush, hash);
      }
    });
  }

  // Kills the child, then opens the folder: it must hold the last flush
  // reported done, or the one that was running (only that one, when
  // running).
  void KillAndExpectAFlushedState(testsupport::ForkedChild& child, int readFd, const std::string& folder,
                                  Report last, Report pending, bool running = false) {
    child.Kill();
    EXPECT_EQ(child.Wait(), -1);
    Report report;
    while (read(readFd, &report, sizeof report) == sizeof report) {
      (report.kind == kDone ? last : pending) = report;
    }
    close(readFd);
    ::XdbStore store(machine_->Machine());
    store.SetLimit(kLimit);
    int status = 0;
    ASSERT_EQ(store.Open(folder, &status), kXpOk);
    ASSERT_EQ(status, ::XdbStore::kOpened);
    uint64_t found = HashOf(store);
    bool atLast = found == last.hash;
    bool atRunning = pending.flush > last.flush && found == pending.hash;
    EXPECT_TRUE(running ? atRunning : atLast || atRunning) << "last done flush " << last.flush;
    EXPECT_EQ(store.Check(), std::vector<std::string>{});
  }

  std::unique_ptr<fsktest::GrammarMachine> machine_;
};

TEST_F(XdbStoreAcrossProcesses, KillAtEachStageFindsTheRunningFlush) {
  for (const char* stage : {"journal-written", "applied-one", "applied-all"}) {
    SCOPED_TRACE(stage);
    std::string folder = Dir(std::string("db-") + stage).string();
    int reports[2];
    ASSERT_EQ(pipe2(reports, O_CLOEXEC), 0);
    testsupport::ForkedChild child;
    ASSERT_TRUE(StartChild(&child, folder, 11, stage, reports));
    close(reports[1]);
    ASSERT_TRUE(child.WaitReady(std::chrono::seconds(60)));
    Report last;
    Report pending;
    KillAndExpectAFlushedState(child, reports[0], folder, last, pending, true);
    ::XdbStore store(machine_->Machine());
    store.SetLimit(kLimit);
    int status = 0;
    ASSERT_EQ(store.Open(folder, &status), kXpOk);
    EXPECT_FALSE(Found(store, &::XdbStore::AllAlbums).empty());
  }
}

TEST_F(XdbStoreAcrossProcesses, KillAtRandomMomentsFindsAFlushedState) {
  for (int seed = 1; seed <= kSeeds; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::string folder = Dir("db" + std::to_string(seed)).string();
    int reports[2];
    ASSERT_EQ(pipe2(reports, O_CLOEXEC), 0);
    testsupport::ForkedChild child;
    ASSERT_TRUE(StartChild(&child, folder, static_cast<uint32_t>(seed), nullptr, reports));
    close(reports[1]);
    std::mt19937 moments(static_cast<uint32_t>(seed) * 7919U);
    int32_t wanted = static_cast<int32_t>(moments() % 4);
    Report last;
    Report pending;
    Report report;
    while (last.kind != kDone || last.flush < wanted) {
      if (read(reports[0], &report, sizeof report) != sizeof report) {
        break;
      }
      (report.kind == kDone ? last : pending) = report;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(moments() % kLongestPause));
    KillAndExpectAFlushedState(child, reports[0], folder, last, pending);
  }
}

TEST_F(XdbStoreAcrossProcesses, StopAtFromTheEnvironmentKillsTheFlushingProcess) {
  for (const char* stage : {"journal-written", "applied-one", "applied-all"}) {
    SCOPED_TRACE(stage);
    std::string folder = Dir(std::string("env-") + stage).string();
    int32_t album = 0;
    {
      ::XdbStore store(machine_->Machine());
      int status = 0;
      ASSERT_EQ(store.Open(folder, &status), kXpOk);
      ASSERT_EQ(store.AddAlbum({0, 1, "kept"}, &album), kXpOk);
      ASSERT_EQ(store.Close(), kXpOk);
    }
    SetEnv(::XdbStore::kStopAtVariable, stage);
    testsupport::ForkedChild child;
    ASSERT_TRUE(child.Start([&](testsupport::ChildChannel&) {
      ::XdbStore store(machine_->Machine());
      int status = 0;
      int32_t id = 0;
      if (store.Open(folder, &status) != kXpOk || store.AddContent({1.2e12, 100, 1, album, 0, 0, 0, 0}, &id) != kXpOk) {
        return 1;
      }
      (void)store.Flush();
      return 2;
    }));
    EXPECT_EQ(child.Wait(), -1);
    SetEnv(::XdbStore::kStopAtVariable, "");
    ::XdbStore store(machine_->Machine());
    int status = 0;
    ASSERT_EQ(store.Open(folder, &status), kXpOk);
    ASSERT_EQ(status, ::XdbStore::kOpened);
    // The journal was complete at every stage: the flush that ran is found.
    EXPECT_EQ(Found(store, &::XdbStore::ContentsOfAlbum, album), std::vector<int32_t>{album + 1});
    EXPECT_EQ(store.Check(), std::vector<std::string>{});
  }
}

}  // namespace
