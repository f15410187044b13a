#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fsk/FskMain.h"
#include "fsk/FskMachine.h"

namespace fsktest {

// A value as the scripted machine logs it or answers with it.
struct ScriptedValue {
  FskValueType type = kFskUndefinedType;
  bool boolean = false;
  int64_t integer = 0;
  double number = 0;
  // A string's text, or the name of an object ("master#1", "set#2").
  std::string text;

  static ScriptedValue Undefined() { return {}; }
  static ScriptedValue Null();
  static ScriptedValue Boolean(bool value);
  static ScriptedValue Integer(int64_t value);
  static ScriptedValue Number(double value);
  static ScriptedValue String(std::string text);

  // 350, 1.5, 2.0 (a number), "text", null, undefined, true, [master#1].
  std::string Text() const;
  bool operator==(const ScriptedValue& other) const = default;
};

// What a scripted method does when called.
class ScriptedAnswer {
 public:
  static ScriptedAnswer Return(ScriptedValue value);
  // A new object with the properties; with contentRecord it is an instance
  // of dbManager.contentMaster.
  static ScriptedAnswer ReturnObject(std::vector<std::pair<std::string, ScriptedValue>> properties,
                                     bool contentRecord = false);
  // A new result set (with getID, getRecord, count, sort, or, and, unique).
  static ScriptedAnswer ReturnSet();
  // Throws an Error with the message.
  static ScriptedAnswer Throw(std::string message);

  enum class Kind { kReturn, kObject, kSet, kThrow };
  Kind kind = Kind::kReturn;
  ScriptedValue value;
  std::vector<std::pair<std::string, ScriptedValue>> properties;
  bool contentRecord = false;
  std::string message;
};

// One construction or call that the scripted machine received.
struct ScriptedCall {
  // "dbManager" for constructions; else the receiver's name: "master#1",
  // "resultCache3", "set#2".
  std::string receiver;
  // The method, or "new Master" for a construction.
  std::string method;
  std::vector<ScriptedValue> arguments;

  // open("/t/DBFILES/", null)
  std::string Text() const;
};

// For one test: registers a "dbManager" machine whose script is driven by
// the test. Its global object holds dbManager (with the constructors Master,
// ContentMaster and ContentAlbumInfo and the prototype contentMaster) and
// xdb (with integerIndex 64). A Master has the methods of the album
// database glue and a resultCache3 object (push, get, free, freeAll) that by
// default keeps pushed sets by their four words. Each method answers from
// its queue, keyed "Master.open", "resultCache3.get", "set.count" or, for
// constructions, "dbManager.ContentMaster"; an empty queue answers
// undefined (get answers the set pushed under its words). Every
// construction and call is logged.
//
// The destructor puts the previous factory back; when the runtime is still
// started it is reset (every machine destroyed).
class ScriptedDbManager {
 public:
  ScriptedDbManager();
  ~ScriptedDbManager();
  ScriptedDbManager(const ScriptedDbManager&) = delete;
  ScriptedDbManager& operator=(const ScriptedDbManager&) = delete;

  void Answer(const std::string& key, ScriptedAnswer answer);
  const std::vector<ScriptedCall>& Calls() const;
  std::vector<std::string> CallTexts() const;
  // The machine while it lives: null before the runtime makes it and after
  // its teardown.
  FskMachine* Machine() const;
  // Its remembered slots; 0 when there is no machine.
  int32_t RememberedCount() const;

  struct State;

 private:
  std::shared_ptr<State> state_;
  FskMachineFactory previous_;
};

}  // namespace fsktest
