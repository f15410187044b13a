#pragma once

// The exports of QMVProc, the product's custom-action library. Each takes
// the installer handle of the running installation and returns 0 on every
// path: outcomes reach the package only through the properties and feature
// states that the actions set, and through the installation log.

#include <cstdint>

#include "msi/MsiApi.h"

#define QMV_EXPORT __attribute__((visibility("default")))

extern "C" {

// Versions and the shared application registry record.
QMV_EXPORT uint32_t QMV_CopyVersionText(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_SetRegistryVersionInfo(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_DeleteRegistryVersionInfo(MSIHANDLE install);

// Help files.
QMV_EXPORT uint32_t QMV_CopyHelpFile(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_DeleteHelpFile(MSIHANDLE install);

// Features.
QMV_EXPORT uint32_t QMV_SetFeatureSelectedLanguage(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_SetFeatureDesktopShortcut(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_SetFeatureWorkAround(MSIHANDLE install);

// Files, paths and the settings key.
QMV_EXPORT uint32_t QMV_CheckCDInstall(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_ChengeRegistrySecurity(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_CopyKnownDevicesDat(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_GetQMVInstallPath(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_DeleteFile(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_SelectCallFunction(MSIHANDLE install);

// Mutexes and the preparing window's semaphore.
QMV_EXPORT uint32_t QMV_AliveQMVMutex(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_ReleaseQMVMutex(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_LaunchBootstrapMutex(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_ClosePreparingWindow(MSIHANDLE install);

// DirectX, the installation folder and the disc recorder.
QMV_EXPORT uint32_t QMV_DirectXInstallControl(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_CheckInstallPath(MSIHANDLE install);
QMV_EXPORT uint32_t QMV_CheckSupportIMAPIv2h(MSIHANDLE install);

}  // extern "C"
