#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "discrec/DiscRecordingProvider.h"

namespace discrec {

// One recorder of the fake, found by its identifier.
struct FakeRecorder {
  std::u16string identifier;
  HResult itemResult = kOk;
  HResult initializeResult = kOk;
  HResult volumePathsResult = kOk;
  std::vector<std::u16string> volumePaths;
  HResult extendedResult = kOk;
};

// A provider whose every answer a test sets, and that counts how often the
// thread was prepared and released.
class FakeDiscRecordingProvider : public IDiscRecordingProvider {
 public:
  [[nodiscard]] HResult InitializeThread() override;
  [[nodiscard]] HResult UninitializeThread() override;
  [[nodiscard]] HResult CreateDiscMaster(std::unique_ptr<IDiscMaster>* master) override;
  [[nodiscard]] HResult CreateDiscRecorder(std::unique_ptr<IDiscRecorder>* recorder) override;
  [[nodiscard]] HResult CreateDataWriter() override;

  int InitializeCalls() const { return initializeCalls_.load(); }
  int UninitializeCalls() const { return uninitializeCalls_.load(); }
  // The threads of the last preparation and release.
  std::thread::id InitializeThreadId() const;
  std::thread::id UninitializeThreadId() const;

  HResult initializeResult = kOk;
  HResult masterResult = kOk;
  // The master creation succeeds without giving an object.
  bool masterIsNull = false;
  HResult countResult = kOk;
  HResult recorderResult = kOk;
  HResult dataWriterResult = kOk;
  std::vector<FakeRecorder> recorders;

 private:
  std::atomic<int> initializeCalls_{0};
  std::atomic<int> uninitializeCalls_{0};
  mutable std::mutex threadMutex_;
  std::thread::id initializeThread_;
  std::thread::id uninitializeThread_;
};

// Installs a provider for as long as it lives, then puts the Linux one back.
class ScopedDiscRecordingProvider {
 public:
  explicit ScopedDiscRecordingProvider(IDiscRecordingProvider& provider) { SetDiscRecordingProvider(&provider); }
  ~ScopedDiscRecordingProvider() { SetDiscRecordingProvider(nullptr); }
  ScopedDiscRecordingProvider(const ScopedDiscRecordingProvider&) = delete;
  ScopedDiscRecordingProvider& operator=(const ScopedDiscRecordingProvider&) = delete;
};

}  // namespace discrec
