#pragma once

// The disc-recording services that the installer's capability test tries,
// as the steps it takes. Every step answers an HRESULT (negative on
// failure). The provider in use is process-wide: the Linux one unless a
// test installs another.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace discrec {

using HResult = int32_t;

inline constexpr HResult kOk = 0;
// REGDB_E_CLASSNOTREG: nothing provides the class.
inline constexpr HResult kClassNotRegistered = static_cast<HResult>(0x80040154);

inline bool Succeeded(HResult result) { return result >= 0; }

// The object that lists the recorders.
class IDiscMaster {
 public:
  virtual ~IDiscMaster() = default;
  [[nodiscard]] virtual HResult GetCount(int32_t* count) = 0;
  // The unique identifier of the recorder at index.
  [[nodiscard]] virtual HResult GetItem(int32_t index, std::u16string* identifier) = 0;
};

// One recorder.
class IDiscRecorder {
 public:
  virtual ~IDiscRecorder() = default;
  [[nodiscard]] virtual HResult InitializeDiscRecorder(const std::u16string& identifier) = 0;
  // The paths where the recorder's disc is mounted.
  [[nodiscard]] virtual HResult GetVolumePathNames(std::vector<std::u16string>* names) = 0;
  // Asks the recorder for its extended interface.
  [[nodiscard]] virtual HResult QueryExtendedInterface() = 0;
};

class IDiscRecordingProvider {
 public:
  virtual ~IDiscRecordingProvider() = default;
  // Prepares and releases the calling thread for the services.
  [[nodiscard]] virtual HResult InitializeThread() = 0;
  [[nodiscard]] virtual HResult UninitializeThread() = 0;
  [[nodiscard]] virtual HResult CreateDiscMaster(std::unique_ptr<IDiscMaster>* master) = 0;
  [[nodiscard]] virtual HResult CreateDiscRecorder(std::unique_ptr<IDiscRecorder>* recorder) = 0;
  // Creates the object that writes data discs, and lets it go again.
  [[nodiscard]] virtual HResult CreateDataWriter() = 0;
};

// Linux has no such services: the thread prepares with kOk, and every
// creation answers kClassNotRegistered.
class LinuxDiscRecordingProvider : public IDiscRecordingProvider {
 public:
  [[nodiscard]] HResult InitializeThread() override;
  [[nodiscard]] HResult UninitializeThread() override;
  [[nodiscard]] HResult CreateDiscMaster(std::unique_ptr<IDiscMaster>* master) override;
  [[nodiscard]] HResult CreateDiscRecorder(std::unique_ptr<IDiscRecorder>* recorder) override;
  [[nodiscard]] HResult CreateDataWriter() override;
};

// The provider in use.
IDiscRecordingProvider& CurrentDiscRecordingProvider();
// Installs a provider, which must outlive its use; null puts the Linux one
// back.
void SetDiscRecordingProvider(IDiscRecordingProvider* provider);

}  // namespace discrec
