#include "installer-actions/qmvproc/WdMInitCheck.h"

#include <atomic>

namespace WdMInitCheck {

namespace {

std::atomic<WorkerThread::ThreadStarter> gThreadStarter{nullptr};

discrec::IDiscRecordingProvider& Provider() { return discrec::CurrentDiscRecordingProvider(); }

}  // namespace

discrec::HResult TestBase::Initialize() { return Provider().InitializeThread(); }

void TestBase::Uninitialize() { (void)Provider().UninitializeThread(); }

bool TestBase::OpenMaster(std::unique_ptr<discrec::IDiscMaster>* master, int32_t* count) {
  stage_ = kStageCreateMaster;
  result_ = Provider().CreateDiscMaster(master);
  if (!discrec::Succeeded(result_) || *master == nullptr) return false;
  stage_ = kStageCount;
  result_ = (*master)->GetCount(count);
  if (!discrec::Succeeded(result_)) return false;
  stage_ = kStageSuccess;
  return true;
}

uint32_t TestInitializeIMAPIv2::Run() {
  std::unique_ptr<discrec::IDiscMaster> master;
  int32_t count = 0;
  (void)OpenMaster(&master, &count);
  return stage_;
}

uint32_t TestEnumerateDevicesIMAPIv2::Run() {
  std::unique_ptr<discrec::IDiscMaster> master;
  int32_t count = 0;
  if (!OpenMaster(&master, &count)) return stage_;
  records_.assign(count > 0 ? static_cast<size_t>(count) : 0, RecorderRecord());
  for (int32_t index = 0; index < count; ++index) {
    records_[static_cast<size_t>(index)] = TryRecorder(*master, index);
  }
  return kStageSuccess;
}

RecorderRecord TestEnumerateDevicesIMAPIv2::TryRecorder(discrec::IDiscMaster& master, int32_t index) {
  RecorderRecord record;
  auto fails = [&record](uint32_t stage, discrec::HResult result) {
    record.stage = stage;
    record.result = result;
    return !discrec::Succeeded(result);
  };
  std::u16string identifier;
  if (fails(kStageItem, master.GetItem(index, &identifier))) return record;
  std::unique_ptr<discrec::IDiscRecorder> recorder;
  if (fails(kStageCreateRecorder, Provider().CreateDiscRecorder(&recorder))) return record;
  if (recorder == nullptr) return record;
  if (fails(kStageInitializeRecorder, recorder->InitializeDiscRecorder(identifier))) return record;
  std::vector<std::u16string> names;
  if (fails(kStageVolumePathNames, recorder->GetVolumePathNames(&names))) return record;
  record.stage = kStageFirstPathName;
  if (!names.empty()) record.rootPath = XpString(names.front());
  if (fails(kStageExtendedInterface, recorder->QueryExtendedInterface())) return record;
  if (fails(kStageCreateDataWriter, Provider().CreateDataWriter())) return record;
  record.stage = kStageSuccess;
  return record;
}

void WorkerThread::SetTask(const XpSharedPtr<TestInitializeIMAPIv2>& task) { task_ = task; }

XpSharedPtr<TestInitializeIMAPIv2> WorkerThread::GetTask() const { return task_; }

uint32_t WorkerThread::Run() {
  const ThreadStarter starter = gThreadStarter.load();
  thread_ = starter != nullptr ? starter(&WorkerThread::ThreadProcedure, this)
                               : XpThread::Create(&WorkerThread::ThreadProcedure, this);
  if (thread_ == nullptr) return kNotStarted;
  const uint32_t code = XpThread::Join(thread_);
  thread_ = nullptr;
  return code;
}

// The task's thread is released only when it was prepared.
uint32_t WorkerThread::ThreadProcedure(void* argument) {
  const XpSharedPtr<TestInitializeIMAPIv2> task = static_cast<WorkerThread*>(argument)->GetTask();
  if (!task) return kNotStarted;
  const discrec::HResult initialized = task->Initialize();
  const uint32_t stage = task->Run();
  if (discrec::Succeeded(initialized)) task->Uninitialize();
  return stage;
}

void WorkerThread::SetThreadStarterForTest(ThreadStarter starter) { gThreadStarter.store(starter); }

bool WdMInitCheckLib_IsSupportIMAPIv2() {
  const XpSharedPtr<TestInitializeIMAPIv2> task(new TestInitializeIMAPIv2());
  WorkerThread worker;
  worker.SetTask(task);
  const uint32_t stage = worker.Run();
  return stage == kStageSuccess && discrec::Succeeded(task->Result());
}

}  // namespace WdMInitCheck
