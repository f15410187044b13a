#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "imaging/geometry/XpSize.h"
#include "imaging/jpeg/XpImageIoJpeg.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"

class XpTiffTagManager;

namespace resizetest {

XpString Text(const std::string& utf8);

// Writes a JPEG of a gradient of width x height at path, carrying tags
// (may be empty). False when the writer failed.
bool WriteGradientJpeg(const std::string& path, int32_t width, int32_t height,
                       XpSharedPtr<XpTiffTagManager> tags = XpSharedPtr<XpTiffTagManager>());

// Writes a JPEG of the gradient without any APP marker (no tags at all).
bool WritePlainGradientJpeg(const std::string& path, int32_t width, int32_t height);

// The frame size stored in the JPEG at path; (0, 0) when it cannot be read.
XpSize JpegSize(const std::string& path);

// Opens and closes a gate between a test and a reader on another thread.
class DecodeGate {
 public:
  // Called by the reader: says it has arrived and waits until released.
  void ArriveAndWait();
  // Waits until a reader has arrived (a generous guard against a hang);
  // true when it did.
  bool WaitForArrival();
  void Release();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool released_ = false;
};

// The JPEG reader that records the scale of every decode, and can hold a
// decode at a gate or run a hook after it.
class RecordingReader : public XpImageIoJpeg {
 public:
  XpPixmapBase* ReadPixmapFromPath(const XpString& path, int32_t scale,
                                   IXpImageProgress* observer, bool convertToSRGB,
                                   bool applyOrientation) override;

  std::vector<int32_t> scales;
  std::vector<XpSize> decodedSizes;
  DecodeGate* gate = nullptr;
  // Runs after each decode, before the pixmap is handed out.
  std::function<void()> afterDecode;
};

}  // namespace resizetest
