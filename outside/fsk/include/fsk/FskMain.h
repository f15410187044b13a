#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "fsk/FskMachine.h"

// The runtime's life in the process and its named machines.
//
// FskMainInitialize counts starts; FskMainTerminate counts them down and, at
// zero, destroys every machine it made (each torn down as fxDeleteMachine
// does). A machine is made by its registered factory on its first request
// and kept until then. By default "dbManager" is registered with the album
// database machine's factory, which loads the two grammars, CatalogGrammar
// then CatalogGrammarExt, and defines its globals.

struct FskECMAScriptRecord;
using FskECMAScript = FskECMAScriptRecord*;

// Makes a machine named name into *out; 0 or the failure's code.
using FskMachineFactory = std::function<FskErr(const char* name, FskMachine** out)>;

FskErr FskMainInitialize(uint32_t flags, int argc, char** argv);
// 0, or kXpErrWrongState when the runtime was not started.
FskErr FskMainTerminate();

// Before FskMainInitialize: kXpErrWrongState. An unknown name: 0 with *vm
// null. A factory that fails: its code, with *vm null.
FskErr FskECMAScriptFindByName(const char* name, FskECMAScript* vm);
// Null for a null vm.
FskMachine* FskECMAScriptGetXSMachine(FskECMAScript vm);

// Registers factory under name (an empty factory removes the name) and
// returns the previous factory. Machines made already are not touched.
FskMachineFactory FskRegisterMachineFactory(const char* name, FskMachineFactory factory);
// A factory that makes a machine with the grammars loaded, in order.
FskMachineFactory FskGrammarMachineFactory(std::vector<std::string> grammars);

// For tests: how often the runtime is started, and a return to the state
// before the first start (every machine destroyed, the count 0).
int32_t FskMainStartCount();
void FskMainReset();
