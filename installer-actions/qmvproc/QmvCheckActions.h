#pragma once

// The bodies of the install-path and disc-recorder exports. They live in
// the static library beside the checks, so that tests can run them in their
// own process, under the file layer's seam.

#include <cstdint>

#include "msi/MsiApi.h"

// Sets INSRALLDIRCHECK_FLAG: "0" when APPLICATIONROOTDIRECTORY passes every
// rule, "1" otherwise. Returns 0.
uint32_t QmvCheckInstallPathAction(MSIHANDLE install);
// Sets INSTALLED_IMAPI_FLAG: "True" when the disc-recording services answer,
// else "False". Returns 0.
uint32_t QmvCheckSupportIMAPIv2Action(MSIHANDLE install);
