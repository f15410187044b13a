#pragma once

#include "dsetup/DirectXSetup.h"
#include "platform/text/XpString.h"

// The package's DirectX set-up library: "dsetup.so" with its five entry
// points and "dsetup32.so" beside it, loaded from one folder and freed
// together.
class DirectXSetupLibrary {
 public:
  DirectXSetupLibrary() = default;
  DirectXSetupLibrary(const DirectXSetupLibrary&) = delete;
  DirectXSetupLibrary& operator=(const DirectXSetupLibrary&) = delete;
  ~DirectXSetupLibrary() { Free(); }

  // False when either library cannot be loaded or an entry point is
  // missing; nothing then stays loaded.
  bool Load(const XpString& folder);
  void Free();

  DirectXSetupGetVersionFunction getVersion = nullptr;
  DirectXSetupSetCallbackFunction setCallback = nullptr;
  DirectXSetupShowEULAFunction showEula = nullptr;
  DirectXSetupWFunction setup = nullptr;
  DirectXSetupGetEULAWFunction getEulaText = nullptr;

 private:
  void* setupLibrary_ = nullptr;
  // Loaded because the set-up needs it beside dsetup.so; nothing is taken
  // from it.
  void* setup32Library_ = nullptr;
};
