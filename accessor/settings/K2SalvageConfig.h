#pragma once

#include "platform/text/XpString.h"

// The salvage request: the camera's root, the destination folder and one
// flag. It is neither loaded nor saved.
class K2SalvageConfig {
 public:
  K2SalvageConfig() = default;
  virtual ~K2SalvageConfig() = default;

  void SetCameraRoot(const XpString& root) { cameraRoot_ = root; }
  const XpString& GetCameraRoot() const { return cameraRoot_; }
  void SetDestination(const XpString& destination) { destination_ = destination; }
  const XpString& GetDestination() const { return destination_; }
  void SetFlag(bool flag) { flag_ = flag; }
  bool GetFlag() const { return flag_; }

 private:
  XpString cameraRoot_;
  XpString destination_;
  bool flag_ = false;
};
