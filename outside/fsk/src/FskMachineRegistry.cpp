#include <map>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "fsk/FskMain.h"
#include "fsk/Grammar.h"
#include "outside/fsk/dbmanager/XdbDbManager.h"
#include "platform/result/XpResult.h"

struct FskECMAScriptRecord {
  std::string name;
  FskMachine* machine = nullptr;
};

namespace {

struct Registry {
  int32_t starts = 0;
  std::map<std::string, FskMachineFactory> factories;
  // In order of making; destroyed in reverse.
  std::vector<std::unique_ptr<FskECMAScriptRecord>> machines;
};

Registry& TheRegistry() {
  static Registry registry = [] {
    Registry fresh;
    fresh.factories["dbManager"] = XdbDbManager::Factory();
    return fresh;
  }();
  return registry;
}

void DestroyMachines() {
  Registry& registry = TheRegistry();
  while (!registry.machines.empty()) {
    std::unique_ptr<FskECMAScriptRecord> record = std::move(registry.machines.back());
    registry.machines.pop_back();
    fxDeleteMachine(record->machine);
  }
}

// A factory that throws fails with a code like any other.
FskErr RunFactory(const FskMachineFactory& factory, const char* name, FskMachine** machine) {
  try {
    return factory(name, machine);
  } catch (const FskException&) {
    return static_cast<FskErr>(kXpErrGeneric);
  } catch (const std::bad_alloc&) {
    return static_cast<FskErr>(kXpErrOutOfMemory);
  }
}

}  // namespace

FskErr FskMainInitialize(uint32_t flags, int argc, char** argv) {
  (void)flags;
  (void)argc;
  (void)argv;
  ++TheRegistry().starts;
  return static_cast<FskErr>(kXpOk);
}

FskErr FskMainTerminate() {
  Registry& registry = TheRegistry();
  if (registry.starts <= 0) {
    return static_cast<FskErr>(kXpErrWrongState);
  }
  if (--registry.starts == 0) {
    DestroyMachines();
  }
  return static_cast<FskErr>(kXpOk);
}

FskErr FskECMAScriptFindByName(const char* name, FskECMAScript* vm) {
  *vm = nullptr;
  Registry& registry = TheRegistry();
  if (registry.starts <= 0) {
    return static_cast<FskErr>(kXpErrWrongState);
  }
  for (const auto& record : registry.machines) {
    if (record->name == name) {
      *vm = record.get();
      return static_cast<FskErr>(kXpOk);
    }
  }
  auto factory = registry.factories.find(name);
  if (factory == registry.factories.end()) {
    return static_cast<FskErr>(kXpOk);
  }
  FskMachine* machine = nullptr;
  FskErr error = RunFactory(factory->second, name, &machine);
  if (error != static_cast<FskErr>(kXpOk) || machine == nullptr) {
    fxDeleteMachine(machine);
    return error != static_cast<FskErr>(kXpOk) ? error : static_cast<FskErr>(kXpErrGeneric);
  }
  auto record = std::make_unique<FskECMAScriptRecord>();
  record->name = name;
  record->machine = machine;
  *vm = record.get();
  registry.machines.push_back(std::move(record));
  return static_cast<FskErr>(kXpOk);
}

FskMachine* FskECMAScriptGetXSMachine(FskECMAScript vm) { return vm != nullptr ? vm->machine : nullptr; }

FskMachineFactory FskRegisterMachineFactory(const char* name, FskMachineFactory factory) {
  Registry& registry = TheRegistry();
  FskMachineFactory previous;
  auto found = registry.factories.find(name);
  if (found != registry.factories.end()) {
    previous = std::move(found->second);
    registry.factories.erase(found);
  }
  if (factory) {
    registry.factories[name] = std::move(factory);
  }
  return previous;
}

FskMachineFactory FskGrammarMachineFactory(std::vector<std::string> grammars) {
  return [grammars = std::move(grammars)](const char* name, FskMachine** out) {
    return FskNewGrammarMachine(name, grammars, out);
  };
}

int32_t FskMainStartCount() { return TheRegistry().starts; }

void FskMainReset() {
  DestroyMachines();
  TheRegistry().starts = 0;
}
