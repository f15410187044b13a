// The install-path and disc-recorder exports.

#include "installer-actions/qmvproc/QMVProc.h"
#include "installer-actions/qmvproc/QmvCheckActions.h"

extern "C" uint32_t QMV_CheckInstallPath(MSIHANDLE install) { return QmvCheckInstallPathAction(install); }

extern "C" uint32_t QMV_CheckSupportIMAPIv2h(MSIHANDLE install) { return QmvCheckSupportIMAPIv2Action(install); }
