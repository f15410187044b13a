#pragma once

#include <cstdint>
#include <string>

#include "msi/MsiApi.h"

namespace installertest {

using QmvAction = uint32_t (*)(MSIHANDLE);

// The built QMVProc library, loaded once for the process as the installer
// loads it. Null for an export it does not make visible.
QmvAction QmvProcExport(const std::string& name);

}  // namespace installertest
