#pragma once

#include "fsk/FskMain.h"
#include "fsk/FskMachine.h"
#include "fsk/FskScript.h"

class XdbStore;

// The "dbManager" machine: both grammars, then the globals
//   dbManager = {Master, ContentMaster, ContentAlbumInfo, contentMaster,
//                contentAlbumInfo}
// over the album database store, with xdb from CatalogGrammar and the
// runtime's Date and trace.
//
// A Master's methods call its store in C++; a refusal of the store or a
// failure of the system throws an Error, "none" is -1. Sets are
// XdbResultSets wrapped in objects with count, getID, getRecord, sort, or,
// and and unique. One Master holds a folder: opening it elsewhere in the
// machine drops the first one's unflushed changes. A Master that goes away,
// or the machine, closes without flushing.
class XdbDbManager {
 public:
  static constexpr const char* kMachineName = "dbManager";
  // Fsk.Error.Native code of a method that is not supported.
  static constexpr int32_t kNotSupported = 1003;
  // The answers of Master.flush and Master.close, which throw when a change
  // is not committed (no later open finds it). Committed, all in the files:
  static constexpr int32_t kComplete = 0;
  // Committed (durable in the journal), and finishing it failed: the next
  // flush or open completes it. The store's LastCompletion() says why.
  static constexpr int32_t kCompletionPending = 1;

  // A factory for FskRegisterMachineFactory; a grammar that does not load
  // is its error.
  static FskMachineFactory Factory();
  // Defines the globals on a machine that has both grammars loaded; may
  // throw FskException.
  static void Build(FskMachine* the);
  // The store of a Master made by this machine; null for anything else.
  static XdbStore* StoreOf(FskMachine* the, const fsk::Value& master);
};
