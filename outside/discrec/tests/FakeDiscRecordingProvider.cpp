#include "FakeDiscRecordingProvider.h"

namespace discrec {

namespace {

class FakeMaster : public IDiscMaster {
 public:
  explicit FakeMaster(const FakeDiscRecordingProvider& fake) : fake_(fake) {}

  HResult GetCount(int32_t* count) override {
    if (!Succeeded(fake_.countResult)) return fake_.countResult;
    *count = static_cast<int32_t>(fake_.recorders.size());
    return kOk;
  }

  HResult GetItem(int32_t index, std::u16string* identifier) override {
    if (index < 0 || static_cast<size_t>(index) >= fake_.recorders.size()) return kInvalidArgument;
    const FakeRecorder& recorder = fake_.recorders[static_cast<size_t>(index)];
    if (!Succeeded(recorder.itemResult)) return recorder.itemResult;
    *identifier = recorder.identifier;
    return kOk;
  }

 private:
  static constexpr HResult kInvalidArgument = static_cast<HResult>(0x80070057);
  const FakeDiscRecordingProvider& fake_;
};

class FakeRecorderObject : public IDiscRecorder {
 public:
  explicit FakeRecorderObject(const FakeDiscRecordingProvider& fake) : fake_(fake) {}

  HResult InitializeDiscRecorder(const std::u16string& identifier) override {
    for (const FakeRecorder& recorder : fake_.recorders) {
      if (recorder.identifier != identifier) continue;
      if (Succeeded(recorder.initializeResult)) recorder_ = &recorder;
      return recorder.initializeResult;
    }
    return kNotFound;
  }

  HResult GetVolumePathNames(std::vector<std::u16string>* names) override {
    if (recorder_ == nullptr) return kNotInitialized;
    if (!Succeeded(recorder_->volumePathsResult)) return recorder_->volumePathsResult;
    *names = recorder_->volumePaths;
    return kOk;
  }

  HResult QueryExtendedInterface() override {
    if (recorder_ == nullptr) return kNotInitialized;
    return recorder_->extendedResult;
  }

 private:
  static constexpr HResult kNotFound = static_cast<HResult>(0x80070490);
  static constexpr HResult kNotInitialized = static_cast<HResult>(0x8000FFFF);
  const FakeDiscRecordingProvider& fake_;
  const FakeRecorder* recorder_ = nullptr;
};

}  // namespace

HResult FakeDiscRecordingProvider::InitializeThread() {
  ++initializeCalls_;
  const std::lock_guard<std::mutex> lock(threadMutex_);
  initializeThread_ = std::this_thread::get_id();
  return initializeResult;
}

HResult FakeDiscRecordingProvider::UninitializeThread() {
  ++uninitializeCalls_;
  const std::lock_guard<std::mutex> lock(threadMutex_);
  uninitializeThread_ = std::this_thread::get_id();
  return kOk;
}

std::thread::id FakeDiscRecordingProvider::InitializeThreadId() const {
  const std::lock_guard<std::mutex> lock(threadMutex_);
  return initializeThread_;
}

std::thread::id FakeDiscRecordingProvider::UninitializeThreadId() const {
  const std::lock_guard<std::mutex> lock(threadMutex_);
  return uninitializeThread_;
}

HResult FakeDiscRecordingProvider::CreateDiscMaster(std::unique_ptr<IDiscMaster>* master) {
  master->reset();
  if (!Succeeded(masterResult) || masterIsNull) return masterResult;
  *master = std::make_unique<FakeMaster>(*this);
  return kOk;
}

HResult FakeDiscRecordingProvider::CreateDiscRecorder(std::unique_ptr<IDiscRecorder>* recorder) {
  recorder->reset();
  if (!Succeeded(recorderResult)) return recorderResult;
  *recorder = std::make_unique<FakeRecorderObject>(*this);
  return kOk;
}

HResult FakeDiscRecordingProvider::CreateDataWriter() { return dataWriterResult; }

}  // namespace discrec
