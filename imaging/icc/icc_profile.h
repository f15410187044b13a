#pragma once

// An ICC colour profile as read from a picture.
class icc_profile {
 public:
  icc_profile() = default;
  icc_profile(const icc_profile&) = delete;
  icc_profile& operator=(const icc_profile&) = delete;
  virtual ~icc_profile() = default;
};
