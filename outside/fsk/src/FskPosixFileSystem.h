#pragma once

#include "fsk/FskFileSystem.h"

// Files of the operating system, through XpSysCalls::Current(), so that
// the fault rules of tests reach them.
class FskPosixFileSystem : public FskFileSystem {
 public:
  int Open(const char* path, uint32_t permission, std::unique_ptr<FskOpenFile>* out) override;
  int Create(const char* path) override;
  int Delete(const char* path) override;
};
