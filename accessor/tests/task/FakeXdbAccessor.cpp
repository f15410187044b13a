#include "accessor/tests/task/FakeXdbAccessor.h"

#include "accessor/tests/task/TaskTestSupport.h"
#include "camerastore/xdb/IAlbumInfo.h"
#include "camerastore/xdb/IContentInfo.h"
#include "camerastore/xdb/IContentList.h"
#include "camerastore/xdb/XdbException.h"
#include "platform/path/XpPath.h"
#include "platform/text/XpStringA.h"

namespace task_test {
namespace {

using Guard = std::lock_guard<std::mutex>;

class FakeContent : public XdbAccessor::IContentInfo {
 public:
  FakeContent(const XpString& path, const XpDateTime& date, int32_t flags)
      : path_(path), date_(date), flags_(flags) {}

  int32_t GetKind() const override { return XdbAccessor::kContentOther; }
  XpString GetPath() const override { return path_; }
  XpString GetThumbnailPath() const override { return XpString(); }
  XpDateTime GetDate() const override { return date_; }
  int32_t GetShareFlags() const override { return 0; }
  int32_t GetFavoriteFlags() const override { return flags_; }
  int64_t GetGuid() const override { return 0; }
  XdbAccessor::IAlbumInfo* GetAlbum() const override { return nullptr; }
  int64_t GetId() const override { return 0; }
  void Release() override { delete this; }

 private:
  const XpString path_;
  const XpDateTime date_;
  const int32_t flags_;
};

// The fake keeps no lists but that of all contents.
[[noreturn]] void RaiseNoLists() { XdbAccessor::XdbRaiseCode(kXpErrNotSupported); }

class FakeContentList : public XdbAccessor::IContentList {
 public:
  explicit FakeContentList(const std::vector<RecordedContent>& contents) {
    for (const RecordedContent& content : contents) {
      contents_.push_back(std::make_unique<FakeContent>(XpStringA(content.path.c_str()).ToWide(),
                                                        content.date, content.flags));
    }
  }
  int32_t GetCount() const override { return static_cast<int32_t>(contents_.size()); }
  XdbAccessor::IContentInfo* Item(int32_t index) const override { return GetAt(index); }
  XdbAccessor::IContentInfo* GetAt(int32_t index) const override {
    return contents_.at(static_cast<size_t>(index)).get();
  }

 private:
  std::vector<std::unique_ptr<FakeContent>> contents_;
};

void RaiseIfAsked(XdbFailure failure) {
  if (failure == XdbFailure::kThrow) {
    XdbAccessor::XdbRaiseCode(kXpErrGeneric);
  }
}

}  // namespace

std::vector<std::string> XdbLedger::Calls() const {
  Guard guard(lock_);
  return calls_;
}

std::vector<RecordedContent> XdbLedger::Contents() const {
  Guard guard(lock_);
  return contents_;
}

std::vector<size_t> XdbLedger::ContentsPerCommit() const {
  Guard guard(lock_);
  std::vector<size_t> counts;
  size_t current = 0;
  for (const std::string& call : calls_) {
    if (call.rfind("CreateContent ", 0) == 0) {
      ++current;
    } else if (call == "Commit") {
      counts.push_back(current);
      current = 0;
    }
  }
  return counts;
}

std::vector<RecordedContent> XdbLedger::CommittedContents() const {
  Guard guard(lock_);
  return committed_;
}

void XdbLedger::AddCommitted(const RecordedContent& content) {
  Guard guard(lock_);
  committed_.push_back(content);
}

void XdbLedger::EndCommit(bool committed) {
  Guard guard(lock_);
  if (committed) {
    committed_.insert(committed_.end(), pending_.begin(), pending_.end());
  }
  pending_.clear();
  editFailed_ = false;
}

void XdbLedger::NoteFailedEdit() {
  Guard guard(lock_);
  editFailed_ = true;
}

void XdbLedger::EndRelease() {
  bool failed = false;
  {
    Guard guard(lock_);
    failed = editFailed_;
  }
  EndCommit(!failed);
}

bool XdbLedger::Released() const {
  Guard guard(lock_);
  return released_;
}

void XdbLedger::FailAt(XdbOp op, int nth, XdbFailure failure, bool always) {
  Guard guard(lock_);
  rules_.push_back({op, nth, failure, always});
}

void XdbLedger::SetCapacities(int64_t contents, int64_t albums) {
  Guard guard(lock_);
  contentCapacity_ = contents;
  albumCapacity_ = albums;
}

void XdbLedger::SetHook(std::function<void(XdbOp)> hook) {
  Guard guard(lock_);
  hook_ = std::move(hook);
}

XdbFailure XdbLedger::Enter(XdbOp op) {
  std::function<void(XdbOp)> hook;
  XdbFailure failure = XdbFailure::kNone;
  {
    Guard guard(lock_);
    const int count = ++counts_[static_cast<size_t>(op)];
    for (const Rule& rule : rules_) {
      if (rule.op == op && (count == rule.nth || (rule.always && count > rule.nth))) {
        failure = rule.failure;
      }
    }
    if (op == XdbOp::kRelease) {
      released_ = true;
    }
    hook = hook_;
  }
  if (hook) {
    hook(op);
  }
  return failure;
}

void XdbLedger::Record(const std::string& call) {
  Guard guard(lock_);
  calls_.push_back(call);
}

void XdbLedger::RecordContent(const RecordedContent& content) {
  Guard guard(lock_);
  contents_.push_back(content);
  pending_.push_back(content);
}

XdbAccessor::IAlbumList* FakeXdbAccessor::GetAllAlbums() { RaiseNoLists(); }
XdbAccessor::IContentList* FakeXdbAccessor::GetAllContents() {
  return new FakeContentList(ledger_->CommittedContents());
}
XdbAccessor::IContentList* FakeXdbAccessor::GetContentsByShareFlags(uint32_t) { RaiseNoLists(); }
XdbAccessor::IContentList* FakeXdbAccessor::GetContentsAfterGuid(int64_t) { RaiseNoLists(); }
void FakeXdbAccessor::DeleteAlbum(XdbAccessor::IAlbumInfo*) { RaiseNoLists(); }
void FakeXdbAccessor::DeleteContent(XdbAccessor::IContentInfo*) { RaiseNoLists(); }

XdbAccessor::IAlbumInfo* FakeXdbAccessor::CreateAlbum(const XpString& title) {
  const XdbFailure failure = ledger_->Enter(XdbOp::kCreateAlbum);
  if (failure != XdbFailure::kNone) {
    ledger_->NoteFailedEdit();
  }
  ledger_->Record("CreateAlbum " + title.ToMultiByte().ToStdString());
  RaiseIfAsked(failure);
  if (failure == XdbFailure::kFail) {
    return nullptr;
  }
  return new FakeAlbum(nextAlbumId_++, title);
}

XdbAccessor::IContentInfo* FakeXdbAccessor::CreateContent(XdbAccessor::IAlbumInfo* album,
                                                          const XpString& path,
                                                          const XpDateTime& date,
                                                          int32_t favorite) {
  const XdbFailure failure = ledger_->Enter(XdbOp::kCreateContent);
  if (failure != XdbFailure::kNone) {
    ledger_->NoteFailedEdit();
  }
  ledger_->Record("CreateContent " + XpPathGetFileName(path).ToMultiByte().ToStdString());
  RaiseIfAsked(failure);
  if (failure == XdbFailure::kFail) {
    return nullptr;
  }
  ledger_->RecordContent(
      {album != nullptr ? album->GetTitle().ToMultiByte().ToStdString() : std::string(),
       path.ToMultiByte().ToStdString(), date, favorite});
  return new FakeContent(path, date, favorite);
}

int64_t FakeXdbAccessor::GetRemainingContentCapacity() {
  RaiseIfAsked(ledger_->Enter(XdbOp::kContentCapacity));
  return ledger_->ContentCapacity();
}

int64_t FakeXdbAccessor::GetRemainingAlbumCapacity() {
  RaiseIfAsked(ledger_->Enter(XdbOp::kAlbumCapacity));
  return ledger_->AlbumCapacity();
}

int32_t FakeXdbAccessor::Commit() {
  const XdbFailure failure = ledger_->Enter(XdbOp::kCommit);
  ledger_->Record("Commit");
  ledger_->EndCommit(failure == XdbFailure::kNone);
  RaiseIfAsked(failure);
  return failure == XdbFailure::kFail ? ledger_->CommitCode() : 0;
}

void FakeXdbAccessor::Release() {
  const XdbFailure failure = ledger_->Enter(XdbOp::kRelease);
  ledger_->Record("Release");
  ledger_->EndRelease();
  delete this;
  RaiseIfAsked(failure);
}

K2ExportTaskManager::XdbAccessorFactory MakeFakeXdbFactory(std::shared_ptr<XdbLedger> ledger) {
  return [ledger](XdbAccessor::IXdbAccessor** out, const XpString&) -> XpResult {
    *out = ledger ? new FakeXdbAccessor(ledger) : nullptr;
    return kXpOk;
  };
}

}  // namespace task_test
