#pragma once

#include <cstdint>
#include <string>

#include "msi/MsiApi.h"

namespace installertest {

using TlvAction = uint32_t (*)(MSIHANDLE);

// The built TLVProc library, loaded once for the process as the installer
// loads it. Null for an export it does not make visible.
TlvAction TlvProcExport(const std::string& name);

}  // namespace installertest
