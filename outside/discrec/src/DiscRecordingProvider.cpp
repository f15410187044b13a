#include "discrec/DiscRecordingProvider.h"

#include <atomic>

namespace discrec {

namespace {

std::atomic<IDiscRecordingProvider*> gProvider{nullptr};

IDiscRecordingProvider& LinuxProvider() {
  static LinuxDiscRecordingProvider provider;
  return provider;
}

}  // namespace

HResult LinuxDiscRecordingProvider::InitializeThread() { return kOk; }

HResult LinuxDiscRecordingProvider::UninitializeThread() { return kOk; }

HResult LinuxDiscRecordingProvider::CreateDiscMaster(std::unique_ptr<IDiscMaster>* master) {
  if (master != nullptr) master->reset();
  return kClassNotRegistered;
}

HResult LinuxDiscRecordingProvider::CreateDiscRecorder(std::unique_ptr<IDiscRecorder>* recorder) {
  if (recorder != nullptr) recorder->reset();
  return kClassNotRegistered;
}

HResult LinuxDiscRecordingProvider::CreateDataWriter() { return kClassNotRegistered; }

IDiscRecordingProvider& CurrentDiscRecordingProvider() {
  IDiscRecordingProvider* provider = gProvider.load();
  return provider != nullptr ? *provider : LinuxProvider();
}

void SetDiscRecordingProvider(IDiscRecordingProvider* provider) { gProvider.store(provider); }

}  // namespace discrec
