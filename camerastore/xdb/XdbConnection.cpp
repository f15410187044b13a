#include "camerastore/xdb/XdbConnection.h"

#include <new>

#include "camerastore/xdb/XdbHost.h"
#include "camerastore/xdb/XdbResultCache.h"
#include "platform/result/XpResult.h"

namespace {

constexpr uint32_t kRuntimeFlags = 3;
constexpr int32_t kMasterFailed = -9999;
constexpr int32_t kOpenFailed = -7;
constexpr int32_t kCloseFailed = -9999;
constexpr int32_t kDeleteFailed = -7;
constexpr int32_t kOpenLocals = 1;
constexpr int32_t kOpenResult = 0;
const char* const kGuidIndex = "guid";

// Whether the master slot is registered with the machine.
bool& MasterRemembered() {
  static bool remembered = false;
  return remembered;
}

XdbRuntimeInitializer& Initializer() {
  static XdbRuntimeInitializer initializer = FskMainInitialize;
  return initializer;
}

// Its result is not looked at.
void EmptyResultCache() { (void)XdbResultFreeAll(); }

// Starts the runtime and finds "dbManager".
int32_t FindMachine() {
  const FskErr started = Initializer()(kRuntimeFlags, 0, nullptr);
  if (started != 0) {
    return started;
  }
  FskECMAScript vm = nullptr;
  const FskErr found = FskECMAScriptFindByName("dbManager", &vm);
  if (found != 0) {
    return found;
  }
  XdbConnectionMachine() = FskECMAScriptGetXSMachine(vm);
  return XdbConnectionMachine() != nullptr ? 0 : kXdbNoMachine;
}

}  // namespace

int32_t XdbRuntimeStart() {
  try {
    return FindMachine();
  } catch (const std::bad_alloc&) {
    return static_cast<int32_t>(kXpErrOutOfMemory);
  } catch (...) {
    return static_cast<int32_t>(kXpErrGeneric);
  }
}

int32_t XdbCreateMaster() {
  bool made = false;
  const int32_t result = XdbBracketed({kMasterFailed}, [&made](XdbHost& host) {
    host.New(host.GlobalProperty("dbManager"), "Master", {});
    fxPop(host.Machine(), XdbMasterSlot());
    made = true;
    return 0;
  });
  if (!made) {
    return result;
  }
  // Registering the slot again counts once.
  try {
    fxRemember(XdbConnectionMachine(), XdbMasterSlot());
    MasterRemembered() = true;
  } catch (...) {
    return kMasterFailed;
  }
  return result;
}

int32_t XdbOpenDatabase(const char16_t* path) {
  return XdbBracketedWithText({kOpenFailed, kOpenLocals}, path, [](XdbHost& host, const char* utf8) {
    host.Call(host.Master(), "open", {XdbArg::Text(utf8), XdbArg::Null()});
    host.Store(kOpenResult);
    if (host.LocalInteger(kOpenResult) != kXdbOpened) {
      return kXdbNotOpened;
    }
    host.Call(host.Master(), "createIndex",
              {XdbArg::Text(kGuidIndex), XdbArg::Copy(host.GlobalProperty("xdb", "integerIndex")), XdbArg::Null()});
    host.Drop();
    return kXdbOpened;
  });
}

int32_t XdbCloseDatabase() {
  return XdbBracketed({kCloseFailed, 0, EmptyResultCache}, [](XdbHost& host) {
    host.Call(host.Master(), "deleteIndex", {XdbArg::Text(kGuidIndex)});
    host.Drop();
    host.Call(host.Master(), "close", {});
    host.Drop();
    return 0;
  });
}

int32_t XdbDeleteDatabase(const char16_t* path) {
  return XdbBracketedWithText({kDeleteFailed, 0, EmptyResultCache}, path, [](XdbHost& host, const char* utf8) {
    host.Call(host.Master(), "deleteDatabase", {XdbArg::Text(utf8)});
    host.Drop();
    return 0;
  });
}

int32_t XdbRuntimeStop() {
  // Only a registration made since the last stop is undone: the machine of
  // an earlier start may be gone.
  if (MasterRemembered() && XdbConnectionMachine() != nullptr) {
    try {
      fxForget(XdbConnectionMachine(), XdbMasterSlot());
    } catch (...) {
    }
    MasterRemembered() = false;
  }
  const FskErr stopped = FskMainTerminate();
  // The slot lets go of the Master (or of what the teardown left of it).
  *XdbMasterSlot() = FskSlot();
  return stopped;
}

XdbRuntimeInitializer XdbSetRuntimeInitializer(XdbRuntimeInitializer initializer) {
  XdbRuntimeInitializer previous = Initializer();
  Initializer() = initializer != nullptr ? initializer : FskMainInitialize;
  return previous;
}
