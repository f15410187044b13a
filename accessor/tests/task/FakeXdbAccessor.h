#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "accessor/task/K2ExportTaskManager.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IXdbAccessor.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

namespace task_test {

// The operations of the album database that the fake records and can fail.
enum class XdbOp {
  kCreateAlbum,
  kCreateContent,
  kCommit,
  kRelease,
  kContentCapacity,
  kAlbumCapacity
};

// What the fake does on one call of an operation.
enum class XdbFailure {
  kNone,
  // A null object, or for Commit the ledger's commit code.
  kFail,
  // An XdbException.
  kThrow,
};

// An album that answers its ID and title, and nothing else.
class FakeAlbum : public XdbAccessor::IAlbumInfo {
 public:
  FakeAlbum(int32_t id, const XpString& title) : id_(id), title_(title) {}

  int32_t GetId() const override { return id_; }
  XpString GetName() const override { return title_; }
  XpString GetTitle() const override { return title_; }
  XpDateTime GetDate() const override { return XpDateTime(); }
  XdbAccessor::IContentList* GetContentList() const override { return nullptr; }
  XdbAccessor::IContentList* GetContents() const override { return nullptr; }
  void Release() override { delete this; }

 private:
  const int32_t id_;
  const XpString title_;
};

// One content the run recorded.
struct RecordedContent {
  std::string album;
  std::string path;
  XpDateTime date;
  int32_t flags = 0;
};

// What the fake album database saw, and how it behaves; shared between the
// test and the accessor that the run releases. Calls come from the task's
// worker.
class XdbLedger {
 public:
  // "CreateAlbum <title>", "CreateContent <leaf name>", "Commit", "Release".
  std::vector<std::string> Calls() const;
  std::vector<RecordedContent> Contents() const;
  // The contents of the commits that succeeded: what the card's database
  // holds. GetAllContents lists them.
  std::vector<RecordedContent> CommittedContents() const;
  // A content that an earlier session committed.
  void AddCommitted(const RecordedContent& content);
  // The CreateContent calls between two commits, one count per commit.
  std::vector<size_t> ContentsPerCommit() const;
  bool Released() const;

  // The nth call (from 1) of op behaves so; every call from then on when
  // always is set.
  void FailAt(XdbOp op, int nth, XdbFailure failure, bool always = false);
  void SetCommitCode(int32_t code) { commitCode_ = code; }
  void SetCapacities(int64_t contents, int64_t albums);
  // Runs before every call of op, on the worker.
  void SetHook(std::function<void(XdbOp)> hook);

  // For the fake.
  XdbFailure Enter(XdbOp op);
  void Record(const std::string& call);
  void RecordContent(const RecordedContent& content);
  // The contents since the last commit become committed, or are dropped.
  void EndCommit(bool committed);
  // An edit failed: as the real accessor, the release then drops the
  // contents since the last commit instead of placing them.
  void NoteFailedEdit();
  void EndRelease();
  int32_t CommitCode() const { return commitCode_; }
  int64_t ContentCapacity() const { return contentCapacity_; }
  int64_t AlbumCapacity() const { return albumCapacity_; }

 private:
  struct Rule {
    XdbOp op;
    int nth;
    XdbFailure failure;
    bool always;
  };

  mutable std::mutex lock_;
  std::vector<std::string> calls_;
  std::vector<RecordedContent> contents_;
  std::vector<RecordedContent> pending_;
  bool editFailed_ = false;
  std::vector<RecordedContent> committed_;
  std::vector<Rule> rules_;
  std::vector<int> counts_ = std::vector<int>(6, 0);
  std::function<void(XdbOp)> hook_;
  int32_t commitCode_ = 0x8000;
  int64_t contentCapacity_ = 10000;
  int64_t albumCapacity_ = 1000;
  bool released_ = false;
};

// A recording album database: every call goes to the ledger, albums and
// contents are small objects that the caller releases.
class FakeXdbAccessor : public XdbAccessor::IXdbAccessor {
 public:
  explicit FakeXdbAccessor(std::shared_ptr<XdbLedger> ledger) : ledger_(std::move(ledger)) {}

  XdbAccessor::IAlbumList* GetAllAlbums() override;
  XdbAccessor::IContentList* GetAllContents() override;
  XdbAccessor::IContentList* GetContentsByShareFlags(uint32_t flags) override;
  XdbAccessor::IContentList* GetContentsAfterGuid(int64_t value) override;
  void DeleteAlbum(XdbAccessor::IAlbumInfo* album) override;
  void DeleteContent(XdbAccessor::IContentInfo* content) override;
  XdbAccessor::IAlbumInfo* CreateAlbum(const XpString& title) override;
  XdbAccessor::IContentInfo* CreateContent(XdbAccessor::IAlbumInfo* album, const XpString& path,
                                           const XpDateTime& date, int32_t favorite) override;
  int64_t GetRemainingContentCapacity() override;
  int64_t GetRemainingAlbumCapacity() override;
  int32_t Commit() override;
  void Release() override;

 private:
  std::shared_ptr<XdbLedger> ledger_;
  int32_t nextAlbumId_ = 1;
};

// A factory that opens a fake over ledger with result 0; with none set the
// factory gives result 0 and no accessor.
K2ExportTaskManager::XdbAccessorFactory MakeFakeXdbFactory(std::shared_ptr<XdbLedger> ledger);

}  // namespace task_test
