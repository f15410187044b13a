#pragma once

#include "fsk/Grammar.h"

// Natives of the fixture grammars.
namespace fixture {

// Answers its argument count.
inline void ArgumentCount(FskMachine* the) { fxInteger(the, fxResult(the), fxArgc(the)); }

// Marks its instance.
inline void Make(FskMachine* the) {
  fxBoolean(the, fxPush(the), true);
  fxPushSlot(the, fxThis(the));
  fxSetID(the, fxID(the, "made"));
}

inline void Release(void*) {}

}  // namespace fixture
