#pragma once

#include <cstdint>
#include <vector>

#include "discrec/DiscRecordingProvider.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"
#include "platform/thread/XpThread.h"

// The disc-recorder capability test: tasks that prepare their own thread
// for the disc-recording services, try them step by step and keep the step
// they reached (the stage) and the last result.
namespace WdMInitCheck {

// Stages: the step under way when a call failed; 0 when every step passed.
inline constexpr uint32_t kStageSuccess = 0;
inline constexpr uint32_t kStageCreateMaster = 0x80000001;
inline constexpr uint32_t kStageCount = 0x80000002;
inline constexpr uint32_t kStageItem = 0x80000004;
inline constexpr uint32_t kStageCreateRecorder = 0x80000005;
inline constexpr uint32_t kStageInitializeRecorder = 0x80000006;
inline constexpr uint32_t kStageVolumePathNames = 0x80000007;
inline constexpr uint32_t kStageFirstPathName = 0x80000008;
inline constexpr uint32_t kStageExtendedInterface = 0x80000009;
inline constexpr uint32_t kStageCreateDataWriter = 0x8000000A;

class ITaskObject {
 public:
  virtual ~ITaskObject() = default;
  virtual discrec::HResult Initialize() = 0;
  virtual void Uninitialize() = 0;
  virtual uint32_t Run() = 0;
};

// Prepares and releases the task's thread through the provider in use.
class TestBase : public ITaskObject {
 public:
  discrec::HResult Initialize() override;
  void Uninitialize() override;

  uint32_t Stage() const { return stage_; }
  discrec::HResult Result() const { return result_; }

 protected:
  // Creates the disc master and asks it for the recorder count; the stage
  // and result tell how far it got. False on failure.
  bool OpenMaster(std::unique_ptr<discrec::IDiscMaster>* master, int32_t* count);

  uint32_t stage_ = kStageSuccess;
  discrec::HResult result_ = discrec::kOk;
};

// Is the recorder count to be had? A PC without recorders passes.
class TestInitializeIMAPIv2 : public TestBase {
 public:
  uint32_t Run() override;
};

// How far each recorder gets, down to the data writer.
struct RecorderRecord {
  // The recorder's first volume path, its root; "" when it was not read.
  XpString rootPath;
  uint32_t stage = kStageSuccess;
  discrec::HResult result = discrec::kOk;
};

class TestEnumerateDevicesIMAPIv2 : public TestBase {
 public:
  // 0, or the stage at which the master failed.
  uint32_t Run() override;
  const std::vector<RecorderRecord>& Records() const { return records_; }

 private:
  RecorderRecord TryRecorder(discrec::IDiscMaster& master, int32_t index);

  std::vector<RecorderRecord> records_;
};

// Runs one task on a thread of its own and waits for it.
class WorkerThread {
 public:
  // The exit code of Run when the thread could not be started.
  static constexpr uint32_t kNotStarted = 0xFFFFFFFF;

  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;
  virtual ~WorkerThread() = default;

  virtual void SetTask(const XpSharedPtr<TestInitializeIMAPIv2>& task);
  // Starts the thread, waits for it and returns its exit code: the task's
  // final stage, or kNotStarted when the thread could not start or there
  // was no task.
  virtual uint32_t Run();
  virtual XpSharedPtr<TestInitializeIMAPIv2> GetTask() const;

  // For tests: replaces the call that starts a thread (XpThread::Create);
  // null restores it.
  using ThreadStarter = XpThread* (*)(XpThreadFunction function, void* argument);
  static void SetThreadStarterForTest(ThreadStarter starter);

 private:
  static uint32_t ThreadProcedure(void* argument);

  XpThread* thread_ = nullptr;
  XpSharedPtr<TestInitializeIMAPIv2> task_;
};

// True when the disc-recording services answer on a thread of their own:
// the test reached stage 0 with a successful last result.
bool WdMInitCheckLib_IsSupportIMAPIv2();

}  // namespace WdMInitCheck
