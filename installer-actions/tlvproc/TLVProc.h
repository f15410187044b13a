#pragma once

// The exports of TLVProc, the custom-action library that takes the former
// suite off the machine and carries over what the product keeps from it.
// Each takes the installer handle and returns 0 on every path.

#include <cstdint>

#include "msi/MsiApi.h"

#define TLV_EXPORT __attribute__((visibility("default")))

extern "C" {

// Stops and unregisters the former suite's COM servers and resident programs.
TLV_EXPORT uint32_t TLV_ReleaseSelfRegistModule(MSIHANDLE install);
TLV_EXPORT uint32_t TLV_ReleaseResidentRegistModule(MSIHANDLE install);

// Sets one INSTALLED_<component>_FLAG property per former component.
TLV_EXPORT uint32_t TLV_SearchInstallModule(MSIHANDLE install);

// Removes the former suite.
TLV_EXPORT uint32_t TLV_DeleteTLVModule(MSIHANDLE install);

// Carries over the key files and the history values, and deletes the values again.
TLV_EXPORT uint32_t TLV_CopyTemporaryKeysDat(MSIHANDLE install);
TLV_EXPORT uint32_t TLV_CopyTLVIDRegistry(MSIHANDLE install);
TLV_EXPORT uint32_t TLV_DeleteTLVIDRegistry(MSIHANDLE install);

TLV_EXPORT uint32_t TLV_SelectCallFunction(MSIHANDLE install);

}  // extern "C"
