#include "platform/thread/XpThread.h"

#include <alloca.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

// Shared by the thread and its handle; whichever lets go last frees it.
struct XpThreadStartRecord {
  XpThreadFunction function = nullptr;
  void* argument = nullptr;
  // Published by the new thread as its first act.
  std::atomic<uint32_t> threadId{0};
  // Written before the thread ends, read after it was joined.
  uint32_t exitCode = 0;
  std::atomic<int> references{2};
};

namespace {

constexpr uint32_t kStackSlots = 7;
constexpr uint32_t kStackSlotShift = 11;

struct PriorityLevel {
  int priority;
  int nice;
};

constexpr PriorityLevel kPriorityLevels[] = {
    {kXpThreadPriorityIdle, 19},       {kXpThreadPriorityLowest, 10},
    {kXpThreadPriorityBelowNormal, 5}, {kXpThreadPriorityNormal, 0},
    {kXpThreadPriorityAboveNormal, -5}, {kXpThreadPriorityHighest, -10},
    {kXpThreadPriorityTimeCritical, -20},
};

std::atomic<uint32_t> gStartCounter{0};
std::atomic<XpThread::StartHook> gStartHook{nullptr};

int SetNiceOfThread(uint32_t threadId, int nice) {
  return ::setpriority(PRIO_PROCESS, static_cast<id_t>(threadId), nice) == 0 ? 0 : errno;
}

std::atomic<XpThread::NiceSetter> gNiceSetter{&SetNiceOfThread};

const PriorityLevel* FindLevel(int priority) {
  for (const PriorityLevel& level : kPriorityLevels) {
    if (level.priority == priority) return &level;
  }
  return nullptr;
}

void Release(XpThreadStartRecord* record) {
  if (record->references.fetch_sub(1, std::memory_order_acq_rel) == 1) delete record;
}

uint32_t RunThreadFunction(XpThreadStartRecord* record) {
  return record->function(record->argument);
}

void* XpThreadStart(void* raw) {
  auto* record = static_cast<XpThreadStartRecord*>(raw);
  record->threadId.store(XpThread::CurrentThreadId(), std::memory_order_release);
  record->threadId.notify_all();

  // Threads started one after another get their frames at different offsets.
  const uint32_t counter = gStartCounter.fetch_add(1, std::memory_order_relaxed) + 1;
  const uint32_t offset = (counter & kStackSlots) << kStackSlotShift;
  volatile char* reserved = static_cast<volatile char*>(alloca(offset + 1));
  reserved[0] = 0;
  if (XpThread::StartHook hook = gStartHook.load()) hook(counter, offset);

  record->exitCode = RunThreadFunction(record);
  Release(record);
  return nullptr;
}

}  // namespace

XpThread* XpThread::Create(XpThreadFunction function, void* argument) {
  if (function == nullptr) return nullptr;
  auto* thread = new (std::nothrow) XpThread();
  if (thread == nullptr) return nullptr;
  auto* record = new (std::nothrow) XpThreadStartRecord();
  if (record == nullptr) {
    delete thread;
    return nullptr;
  }
  record->function = function;
  record->argument = argument;
  if (::pthread_create(&thread->handle_, nullptr, XpThreadStart, record) != 0) {
    delete record;
    thread->joined_ = true;  // nothing to detach
    delete thread;
    return nullptr;
  }
  record->threadId.wait(0, std::memory_order_acquire);
  thread->id_ = record->threadId.load(std::memory_order_acquire);
  thread->record_ = record;
  return thread;
}

uint32_t XpThread::Join(XpThread* thread) {
  if (thread == nullptr) return kXpErrInvalidHandle;
  if (thread->IsCurrentThread()) return kXpErrJoinSelf;
  ::pthread_join(thread->handle_, nullptr);
  thread->joined_ = true;
  const uint32_t exitCode = thread->record_->exitCode;
  delete thread;
  return exitCode;
}

void XpThread::Yield() { ::sched_yield(); }

void XpThread::Sleep(uint32_t milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

uint32_t XpThread::CurrentThreadId() { return static_cast<uint32_t>(::gettid()); }

XpThread::~XpThread() {
  if (!joined_) ::pthread_detach(handle_);
  if (record_ != nullptr) Release(record_);
}

bool XpThread::IsCurrentThread() const { return id_ == CurrentThreadId(); }

bool XpThread::IsSameThread(const XpThread& other) const { return id_ == other.id_; }

int XpThread::GetPriority() {
  std::lock_guard<std::mutex> hold(priorityMutex_);
  return priority_;
}

XpResult XpThread::SetPriority(int priority) {
  std::lock_guard<std::mutex> hold(priorityMutex_);
  return ApplyPriority(priority);
}

XpResult XpThread::RaisePriority() {
  std::lock_guard<std::mutex> hold(priorityMutex_);
  return ApplyPriority(priority_ + 1);
}

XpResult XpThread::LowerPriority() {
  std::lock_guard<std::mutex> hold(priorityMutex_);
  return ApplyPriority(priority_ - 1);
}

XpResult XpThread::ApplyPriority(int priority) {
  const PriorityLevel* level = FindLevel(priority);
  if (level == nullptr) return kXpErrPriority;
  if (gNiceSetter.load()(id_, level->nice) != 0) return kXpErrPriority;
  priority_ = priority;
  return kXpOk;
}

void XpThread::SetStartHookForTest(StartHook hook) { gStartHook.store(hook); }

void XpThread::ResetStartCounterForTest() { gStartCounter.store(0); }

void XpThread::SetNiceSetterForTest(NiceSetter setter) {
  gNiceSetter.store(setter != nullptr ? setter : &SetNiceOfThread);
}
