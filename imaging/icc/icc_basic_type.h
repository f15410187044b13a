#pragma once

#include "imaging/icc/icc_tools.h"

// The base of the number types, which have a fixed size in the file.
class icc_basic_type : public icc_tools {
 public:
  ~icc_basic_type() override = default;

  // Fills the value from the file's position.
  [[nodiscard]] virtual XpResult Read(XpAbstractFile& file) = 0;

 protected:
  icc_basic_type() = default;
  icc_basic_type(const icc_basic_type&) = default;
  icc_basic_type& operator=(const icc_basic_type&) = default;
};
