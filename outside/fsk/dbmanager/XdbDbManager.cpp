#include "outside/fsk/dbmanager/XdbDbManager.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fsk/FskException.h"
#include "fsk/FskScript.h"
#include "fsk/Grammar.h"
#include "outside/fsk/dbmanager/XdbMaster.h"
#include "outside/fsk/dbmanager/XdbResultSet.h"
#include "outside/fsk/dbmanager/XdbStore.h"

namespace {

using fsk::Value;
using Arguments = std::vector<Value>;
using Found = XdbStore::Found;

constexpr int32_t kNone = -1;
constexpr const char* kContentPrototypePath = "dbManager.contentMaster";
constexpr const char* kAlbumPrototypePath = "dbManager.contentAlbumInfo";
constexpr const char* kGuidIndexName = "guid";
constexpr const char* kContentFields[] = {"date", "folderID", "fileID", "albumID", "misc", "guid"};

// What the machine's closures share: every live Master, to keep one per
// folder, and the prototype of sets.
struct MachineState {
  std::set<XdbMaster*> masters;
  Value masterPrototype;
  Value setPrototype;
};
using StatePointer = std::shared_ptr<MachineState>;

// The host data of a Master instance.
struct MasterHandle {
  std::shared_ptr<XdbMaster> master;
  StatePointer state;
  ~MasterHandle() { state->masters.erase(master.get()); }
};

// The host data of a set: the set, and the Master whose store made it.
struct SetHandle {
  std::weak_ptr<XdbMaster> master;
  std::unique_ptr<XdbResultSet> set;
};

void DeleteMaster(void* data) { delete static_cast<MasterHandle*>(data); }
void DeleteSet(void* data) { delete static_cast<SetHandle*>(data); }

[[noreturn]] void ThrowError(FskMachine* the, const std::string& message) { fsk::Throw(the, kFskError, message); }

// A failed result of the store as an Error.
void Require(FskMachine* the, XpResult result, const char* what) {
  if (XpSucceeded(result)) {
    return;
  }
  char text[96];
  std::snprintf(text, sizeof text, "%s failed (0x%X)", what, static_cast<unsigned>(result));
  ThrowError(the, text);
}

Value Argument(const Arguments& arguments, size_t index) {
  return index < arguments.size() ? arguments[index] : Value();
}

bool IsNumeric(const Value& value) { return value.Type() == kFskIntegerType || value.Type() == kFskNumberType; }

double NumberValue(FskMachine* the, const Value& value, const char* what) {
  if (!IsNumeric(value)) {
    ThrowError(the, std::string(what) + " must be a number");
  }
  return fsk::ToNumber(the, value);
}

// An integral number within int32 range; otherwise an Error.
int32_t Int32Value(FskMachine* the, const Value& value, const char* what) {
  double number = NumberValue(the, value, what);
  if (std::trunc(number) != number || number < INT32_MIN || number > INT32_MAX) {
    ThrowError(the, std::string(what) + " must be a 32-bit integer");
  }
  return static_cast<int32_t>(number);
}

int32_t Int32Argument(FskMachine* the, const Arguments& arguments, size_t index, const char* what) {
  return Int32Value(the, Argument(arguments, index), what);
}

double NumberArgument(FskMachine* the, const Arguments& arguments, size_t index, const char* what) {
  return NumberValue(the, Argument(arguments, index), what);
}

std::string StringArgument(FskMachine* the, const Arguments& arguments, size_t index) {
  Value value = Argument(arguments, index);
  if (value.Type() != kFskStringType) {
    ThrowError(the, "a string is expected");
  }
  return fsk::ToString(the, value);
}

// The host data of value when it descends from prototype (whose instances
// all carry data of that type), else null.
void* HostDataOf(FskMachine* the, const Value& value, const Value& prototype) {
  if (!value.IsObject() || !fxIsHostObject(the, &value.Slot()) || !fsk::IsInstanceOf(the, value, prototype)) {
    return nullptr;
  }
  return fxGetHostData(the, &value.Slot());
}

MasterHandle& MasterOf(FskMachine* the, const Value& receiver, const MachineState& state) {
  auto* handle = static_cast<MasterHandle*>(HostDataOf(the, receiver, state.masterPrototype));
  if (handle == nullptr) {
    ThrowError(the, "not a Master");
  }
  return *handle;
}

SetHandle& SetOf(FskMachine* the, const Value& value, const MachineState& state) {
  auto* handle = static_cast<SetHandle*>(HostDataOf(the, value, state.setPrototype));
  if (handle == nullptr || handle->set == nullptr) {
    ThrowError(the, "not a set");
  }
  return *handle;
}

// The record objects.
Value ContentObject(FskMachine* the, const XdbContent& content) {
  Value object = fsk::NewInstanceOf(the, fsk::GetPath(the, kContentPrototypePath));
  fsk::Set(the, object, "date", Value::Number(content.date));
  fsk::Set(the, object, "folderID", Value::Integer(content.folderID));
  fsk::Set(the, object, "fileID", Value::Integer(content.fileID));
  fsk::Set(the, object, "albumID", Value::Integer(content.albumID));
  fsk::Set(the, object, "misc", Value::Integer(content.misc));
  fsk::Set(the, object, "guid", Value::Integer(content.guid));
  fsk::Set(the, object, "shareFlag", Value::Integer(content.shareFlag));
  fsk::Set(the, object, "favoriteFlag", Value::Integer(content.favoriteFlag));
  return object;
}

Value AlbumObject(FskMachine* the, const XdbAlbum& album) {
  Value object = fsk::NewInstanceOf(the, fsk::GetPath(the, kAlbumPrototypePath));
  fsk::Set(the, object, "albumDate", Value::Number(album.albumDate));
  fsk::Set(the, object, "title", Value::String(album.title));
  fsk::Set(the, object, "preference", Value::Integer(album.preference));
  return object;
}

Value RecordObject(FskMachine* the, const XdbStore::Record& record) {
  return record.kind == XdbStore::Kind::kContent ? ContentObject(the, record.content)
                                                 : AlbumObject(the, record.album);
}

int32_t Int32Field(FskMachine* the, const Value& object, const char* name) {
  return Int32Value(the, fsk::Get(the, object, name), name);
}

XdbContent ContentFields(FskMachine* the, const Value& object) {
  if (!object.IsObject() || !fsk::IsInstanceOf(the, object, fsk::GetPath(the, kContentPrototypePath))) {
    ThrowError(the, "a ContentMaster is expected");
  }
  XdbContent content;
  content.date = NumberValue(the, fsk::Get(the, object, "date"), "date");
  content.folderID = Int32Field(the, object, "folderID");
  content.fileID = Int32Field(the, object, "fileID");
  content.albumID = Int32Field(the, object, "albumID");
  content.misc = Int32Field(the, object, "misc");
  return content;
}

XdbAlbum AlbumFields(FskMachine* the, const Value& object) {
  if (!object.IsObject() || !fsk::IsInstanceOf(the, object, fsk::GetPath(the, kAlbumPrototypePath))) {
    ThrowError(the, "a ContentAlbumInfo is expected");
  }
  XdbAlbum album;
  album.albumDate = NumberValue(the, fsk::Get(the, object, "albumDate"), "albumDate");
  album.title = fsk::ToString(the, fsk::Get(the, object, "title"));
  album.preference = Int32Field(the, object, "preference");
  return album;
}

// A script set over set, made by master's store.
Value SetObject(FskMachine* the, const MachineState& state, const std::shared_ptr<XdbMaster>& master,
                std::unique_ptr<XdbResultSet> set) {
  fsk::Value object = fsk::NewInstanceOf(the, state.setPrototype);
  fxSetHostData(the, &object.Slot(), new SetHandle{master, std::move(set)});
  return object;
}

XdbMaster::Words WordsOf(FskMachine* the, const Arguments& arguments) {
  XdbMaster::Words words{};
  for (size_t i = 0; i < words.size(); ++i) {
    words[i] = static_cast<uint32_t>(fsk::ToInteger(the, Argument(arguments, i)));
  }
  return words;
}

// The sorting key named by a set's key letter; empty for none.
std::string SortKeyOf(FskMachine* the, const Value& value, bool allowNone) {
  std::string letter = value.Type() == kFskStringType ? fsk::ToString(the, value) : std::string();
  if (letter == "g") {
    return XdbStore::kGuidKey;
  }
  if (letter == "a") {
    return XdbStore::kAlbumKey;
  }
  bool none = value.IsNull() || value.IsUndefined() || (value.Type() == kFskStringType && letter.empty());
  if (allowNone && none) {
    return {};
  }
  ThrowError(the, "unknown key");
}

// A method closure on a Master: the receiver's Master and its state.
using MasterMethod = std::function<Value(FskMachine*, const std::shared_ptr<XdbMaster>&, MachineState&,
                                         const Arguments&)>;

void DefineMasterMethod(FskMachine* the, const StatePointer& state, const Value& prototype, const char* name,
                        int32_t length, MasterMethod method) {
  fsk::Closure closure = [state, method = std::move(method)](FskMachine* machine, const Value& receiver,
                                                             const Arguments& arguments) {
    std::shared_ptr<XdbMaster> master = MasterOf(machine, receiver, *state).master;
    return method(machine, master, *state, arguments);
  };
  fsk::Set(the, prototype, name, fsk::NewFunction(the, std::move(closure), length));
}

// A search closure: the store's search, as a set.
using StoreSearch = std::function<XpResult(FskMachine*, XdbStore&, const Arguments&, Found*)>;

Value RunSearch(FskMachine* the, const std::shared_ptr<XdbMaster>& master, MachineState& state,
                const Arguments& arguments, const StoreSearch& search) {
  Found found;
  Require(the, search(the, master->Store(), arguments, &found), "search");
  return SetObject(the, state, master, std::move(found));
}

Found NewSetOf(FskMachine* the, XdbMaster& master) {
  return std::make_unique<XdbResultSet>(the, master.Store().Database());
}

// Master.open: folders held by another Master of the machine are dropped
// there first.
Value Open(FskMachine* the, const std::shared_ptr<XdbMaster>& master, MachineState& state, const Arguments& arguments) {
  std::string folder = StringArgument(the, arguments, 0);
  std::string normalized = XdbMaster::Normalized(folder);
  for (XdbMaster* other : state.masters) {
    if (other != master.get() && other->Folder() == normalized) {
      other->Abandon();
    }
  }
  int status = 0;
  Require(the, master->Open(folder, &status), "open");
  return Value::Integer(status);
}

Value DeleteDatabase(FskMachine* the, const std::shared_ptr<XdbMaster>& master, MachineState& state,
                     const Arguments& arguments) {
  std::string folder = StringArgument(the, arguments, 0);
  std::string normalized = XdbMaster::Normalized(folder);
  for (XdbMaster* other : state.masters) {
    if (other->Folder() == normalized) {
      ThrowError(the, "the database is open");
    }
  }
  Require(the, master->Store().DeleteDatabase(folder), "deleteDatabase");
  return Value::Integer(0);
}

Value SearchField(FskMachine* the, const std::shared_ptr<XdbMaster>& master, MachineState& state,
             const Arguments& arguments) {
  std::string field = StringArgument(the, arguments, 0);
  StoreSearch search;
  if (field == "a") {
    double album = NumberArgument(the, arguments, 1, "albumID");
    if (std::trunc(album) == album && album >= INT32_MIN && album <= INT32_MAX) {
      search = [album](FskMachine*, XdbStore& store, const Arguments&, Found* found) {
        return store.ContentsOfAlbum(static_cast<int32_t>(album), found);
      };
    } else {
      search = [album](FskMachine*, XdbStore& store, const Arguments&, Found* found) {
        return store.AlbumRange(album, album, found);
      };
    }
  } else if (field == "ad") {
    search = [](FskMachine*, XdbStore& store, const Arguments&, Found* found) { return store.AllAlbums(found); };
  } else if (field == "d") {
    search = [](FskMachine*, XdbStore& store, const Arguments&, Found* found) { return store.AllContents(found); };
  } else if (field == "g") {
    double guid = NumberArgument(the, arguments, 1, "guid");
    search = [guid](FskMachine*, XdbStore& store, const Arguments&, Found* found) {
      return store.GuidEqual(guid, found);
    };
  } else {
    ThrowError(the, "unknown search field");
  }
  return RunSearch(the, master, state, arguments, search);
}

Value RangeSearch(FskMachine* the, const std::shared_ptr<XdbMaster>& master, MachineState& state,
                  const Arguments& arguments) {
  std::string field = StringArgument(the, arguments, 0);
  double low = NumberArgument(the, arguments, 1, "low");
  double high = NumberArgument(the, arguments, 2, "high");
  if (field != "g" && field != "a") {
    ThrowError(the, "unknown search field");
  }
  bool guid = field == "g";
  return RunSearch(the, master, state, arguments,
                   [guid, low, high](FskMachine*, XdbStore& store, const Arguments&, Found* found) {
                     return guid ? store.GuidRange(low, high, found) : store.AlbumRange(low, high, found);
                   });
}

Value SearchGroup(FskMachine* the, const std::shared_ptr<XdbMaster>& master, MachineState& state,
                  const Arguments& arguments) {
  std::string group = StringArgument(the, arguments, 0);
  int32_t value = Int32Argument(the, arguments, 1, "value");
  if (group != "sf" && group != "ff") {
    ThrowError(the, "unknown group");
  }
  bool share = group == "sf";
  return RunSearch(the, master, state, arguments,
                   [share, value](FskMachine*, XdbStore& store, const Arguments&, Found* found) {
                     return share ? store.ShareAny(value, found) : store.FavoriteEqual(value, found);
                   });
}

// addPhotoToGroup (set) and removePhotoFromGroup (clear).
Value SetGroup(FskMachine* the, XdbMaster& master, const Arguments& arguments, bool set) {
  std::string group = StringArgument(the, arguments, 0);
  int32_t id = Int32Argument(the, arguments, 1, "id");
  int32_t value = set || group == "sf" ? Int32Argument(the, arguments, 2, "value") : 0;
  if (group == "sf") {
    Require(the, master.Store().SetShare(id, value, set), "group");
  } else if (group == "ff") {
    Require(the, master.Store().SetFavorite(id, value, set), "group");
  } else {
    ThrowError(the, "unknown group");
  }
  return Value::Integer(0);
}

Value NewIdOrNone(int32_t id) { return Value::Integer(id == 0 ? kNone : id); }

// What flush and close answer once the changes are durable.
Value CompletionAnswer(const XdbStore& store) {
  return Value::Integer(store.LastCompletion().pending ? XdbDbManager::kCompletionPending : XdbDbManager::kComplete);
}

void DefineStoreMethods(FskMachine* the, const StatePointer& state, const Value& prototype) {
  DefineMasterMethod(the, state, prototype, "open", 2, Open);
  DefineMasterMethod(the, state, prototype, "deleteDatabase", 1, DeleteDatabase);
  DefineMasterMethod(the, state, prototype, "createIndex", 3,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) {
                       if (StringArgument(machine, arguments, 0) != kGuidIndexName) {
                         ThrowError(machine, "unknown index");
                       }
                       if (!master->Store().IsOpen()) {
                         Require(machine, kXpErrNotOpen, "createIndex");
                       }
                       master->SetGuidIndexInUse(true);
                       return Value::Integer(0);
                     });
  DefineMasterMethod(the, state, prototype, "deleteIndex", 1,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) {
                       if (StringArgument(machine, arguments, 0) != kGuidIndexName || !master->GuidIndexInUse()) {
                         ThrowError(machine, "the index is not in use");
                       }
                       master->SetGuidIndexInUse(false);
                       return Value::Integer(0);
                     });
  auto flush = [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&, const Arguments&) {
    Require(machine, master->Store().Flush(), "flush");
    return CompletionAnswer(master->Store());
  };
  DefineMasterMethod(the, state, prototype, "flush", 0, flush);
  DefineMasterMethod(the, state, prototype, "compact", 0, flush);
  DefineMasterMethod(the, state, prototype, "close", 0,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments&) {
                       XpResult result = master->Close();
                       if (result == kXpErrNotOpen) {
                         return Value::Integer(XdbDbManager::kComplete);
                       }
                       Require(machine, result, "close");
                       return CompletionAnswer(master->Store());
                     });
}

void DefineRecordMethods(FskMachine* the, const StatePointer& state, const Value& prototype) {
  DefineMasterMethod(the, state, prototype, "addPhoto", 1,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) {
                       XdbContent content = ContentFields(machine, Argument(arguments, 0));
                       int32_t id = 0;
                       Require(machine, master->Store().AddContent(content, &id), "addPhoto");
                       return NewIdOrNone(id);
                     });
  DefineMasterMethod(the, state, prototype, "createAlbum", 1,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) {
                       XdbAlbum album = AlbumFields(machine, Argument(arguments, 0));
                       int32_t id = 0;
                       Require(machine, master->Store().AddAlbum(album, &id), "createAlbum");
                       return NewIdOrNone(id);
                     });
  DefineMasterMethod(the, state, prototype, "addPhotoToGroup", 3,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) { return SetGroup(machine, *master, arguments, true); });
  DefineMasterMethod(the, state, prototype, "removePhotoFromGroup", 3,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) { return SetGroup(machine, *master, arguments, false); });
  auto remover = [](XdbStore::Kind kind) {
    return [kind](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                  const Arguments& arguments) {
      int32_t id = Int32Argument(machine, arguments, 0, "id");
      Require(machine, master->Store().Delete(id, kind), "delete");
      return Value::Integer(0);
    };
  };
  DefineMasterMethod(the, state, prototype, "deletePhoto", 1, remover(XdbStore::Kind::kContent));
  DefineMasterMethod(the, state, prototype, "deleteAlbum", 1, remover(XdbStore::Kind::kAlbum));
  DefineMasterMethod(the, state, prototype, "updatePhoto", 2,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) {
                       int32_t id = Int32Argument(machine, arguments, 0, "id");
                       XdbContent content = ContentFields(machine, Argument(arguments, 1));
                       Require(machine, master->Store().UpdateContent(id, content), "updatePhoto");
                       return Value::Integer(0);
                     });
  DefineMasterMethod(the, state, prototype, "updateAlbumInfo", 2,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) {
                       int32_t id = Int32Argument(machine, arguments, 0, "id");
                       XdbAlbum album = AlbumFields(machine, Argument(arguments, 1));
                       Require(machine, master->Store().UpdateAlbum(id, album), "updateAlbumInfo");
                       return Value::Integer(0);
                     });
  auto getter = [](bool albumsOnly) {
    return [albumsOnly](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState&,
                        const Arguments& arguments) {
      int32_t id = Int32Argument(machine, arguments, 0, "id");
      if (!master->Store().IsOpen()) {
        Require(machine, kXpErrNotOpen, "getRecord");
      }
      std::optional<XdbStore::Record> record = master->Store().GetRecord(id);
      if (!record || (albumsOnly && record->kind != XdbStore::Kind::kAlbum)) {
        return Value();
      }
      return RecordObject(machine, *record);
    };
  };
  DefineMasterMethod(the, state, prototype, "getRecord", 1, getter(false));
  DefineMasterMethod(the, state, prototype, "getRecordA", 1, getter(true));
  DefineMasterMethod(the, state, prototype, "getLimit", 0,
                     [](FskMachine*, const std::shared_ptr<XdbMaster>& master, MachineState&, const Arguments&) {
                       return Value::Integer(master->Store().Limit());
                     });
}

void DefineSearchMethods(FskMachine* the, const StatePointer& state, const Value& prototype) {
  DefineMasterMethod(the, state, prototype, "search", 2, SearchField);
  DefineMasterMethod(the, state, prototype, "rangeSearch", 3, RangeSearch);
  DefineMasterMethod(the, state, prototype, "searchGroup", 2, SearchGroup);
  DefineMasterMethod(the, state, prototype, "searchPhoto", 2,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState& machineState,
                        const Arguments& arguments) {
                       int32_t folder = Int32Argument(machine, arguments, 0, "folderID");
                       int32_t file = Int32Argument(machine, arguments, 1, "fileID");
                       return RunSearch(machine, master, machineState, arguments,
                                        [folder, file](FskMachine*, XdbStore& store, const Arguments&, Found* found) {
                                          return store.Dcf(folder, file, found);
                                        });
                     });
  DefineMasterMethod(the, state, prototype, "searchPhotoByYearAndMonth", 2,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>& master, MachineState& machineState,
                        const Arguments& arguments) {
                       int32_t year = Int32Argument(machine, arguments, 0, "year");
                       int32_t month = Int32Argument(machine, arguments, 1, "month");
                       return RunSearch(machine, master, machineState, arguments,
                                        [year, month](FskMachine*, XdbStore& store, const Arguments&, Found* found) {
                                          return store.InMonth(year, month, found);
                                        });
                     });
  DefineMasterMethod(the, state, prototype, "searchAlbumInfo", 1,
                     [](FskMachine* machine, const std::shared_ptr<XdbMaster>&, MachineState&,
                        const Arguments&) -> Value { fxError(machine, XdbDbManager::kNotSupported); });
}

// Master.resultCache3: its closures reach the Master weakly, so the cache
// never keeps it alive.
Value NewResultCache(FskMachine* the, const std::shared_ptr<XdbMaster>& master, const StatePointer& state) {
  std::weak_ptr<XdbMaster> weak = master;
  auto reach = [](FskMachine* machine, const std::weak_ptr<XdbMaster>& owner) {
    std::shared_ptr<XdbMaster> alive = owner.lock();
    if (!alive) {
      ThrowError(machine, "the Master is gone");
    }
    return alive;
  };
  Value cache = fsk::NewObject(the);
  fsk::Set(the, cache, "push",
           fsk::NewFunction(the,
                            [weak, reach, state](FskMachine* machine, const Value&, const Arguments& arguments) {
                              Value set = Argument(arguments, 4);
                              SetOf(machine, set, *state);
                              reach(machine, weak)->Push(WordsOf(machine, arguments), set);
                              return Value();
                            },
                            5));
  fsk::Set(the, cache, "get",
           fsk::NewFunction(the,
                            [weak, reach](FskMachine* machine, const Value&, const Arguments& arguments) {
                              return reach(machine, weak)->Get(WordsOf(machine, arguments));
                            },
                            4));
  fsk::Set(the, cache, "free",
           fsk::NewFunction(the,
                            [weak, reach](FskMachine* machine, const Value&, const Arguments& arguments) {
                              reach(machine, weak)->Free(WordsOf(machine, arguments));
                              return Value();
                            },
                            4));
  fsk::Set(the, cache, "freeAll",
           fsk::NewFunction(the,
                            [weak, reach](FskMachine* machine, const Value&, const Arguments&) {
                              reach(machine, weak)->FreeAll();
                              return Value();
                            },
                            0));
  return cache;
}

Value MakeMasterPrototype(FskMachine* the, const StatePointer& state) {
  fxNewHostObject(the, DeleteMaster);
  Value prototype;
  fxPop(the, &prototype.Slot());
  DefineStoreMethods(the, state, prototype);
  DefineRecordMethods(the, state, prototype);
  DefineSearchMethods(the, state, prototype);
  return prototype;
}

fsk::Closure MasterConstructor(const StatePointer& state) {
  return [state](FskMachine* the, const Value& instance, const Arguments&) {
    auto master = std::make_shared<XdbMaster>(the);
    fsk::Set(the, instance, "resultCache3", NewResultCache(the, master, state));
    Value self = instance;
    fxSetHostData(the, &self.Slot(), new MasterHandle{master, state});
    state->masters.insert(master.get());
    return Value();
  };
}

// Set methods.
using SetMethod = std::function<Value(FskMachine*, SetHandle&, const Value& receiver, const Arguments&)>;

void DefineSetMethod(FskMachine* the, const StatePointer& state, const Value& prototype, const char* name,
                     int32_t length, SetMethod method) {
  fsk::Closure closure = [state, method = std::move(method)](FskMachine* machine, const Value& receiver,
                                                             const Arguments& arguments) {
    return method(machine, SetOf(machine, receiver, *state), receiver, arguments);
  };
  fsk::Set(the, prototype, name, fsk::NewFunction(the, std::move(closure), length));
}

int64_t CountOf(FskMachine* the, SetHandle& handle) {
  int64_t count = 0;
  Require(the, handle.set->Count(&count), "count");
  return count;
}

int32_t IdAt(FskMachine* the, SetHandle& handle, const Arguments& arguments) {
  int32_t position = Int32Argument(the, arguments, 0, "position");
  if (position < 0 || position >= CountOf(the, handle)) {
    ThrowError(the, "position out of range");
  }
  int32_t id = 0;
  Require(the, handle.set->IdAt(position, &id), "getID");
  return id;
}

std::shared_ptr<XdbMaster> MasterOfSet(FskMachine* the, SetHandle& handle) {
  std::shared_ptr<XdbMaster> master = handle.master.lock();
  if (!master) {
    ThrowError(the, "the Master is gone");
  }
  return master;
}

void DefineCombination(FskMachine* the, const StatePointer& state, const Value& prototype, const char* name,
                       bool intersection) {
  DefineSetMethod(the, state, prototype, name, 1,
                  [state, intersection](FskMachine* machine, SetHandle& handle, const Value&,
                                        const Arguments& arguments) {
                    SetHandle& other = SetOf(machine, Argument(arguments, 0), *state);
                    std::shared_ptr<XdbMaster> master = MasterOfSet(machine, handle);
                    Found out = NewSetOf(machine, *master);
                    XpResult result = intersection ? XdbResultSet::And(*handle.set, *other.set, out.get())
                                                   : XdbResultSet::Or(*handle.set, *other.set, out.get());
                    Require(machine, result, intersection ? "and" : "or");
                    return SetObject(machine, *state, master, std::move(out));
                  });
}

Value MakeSetPrototype(FskMachine* the, const StatePointer& state) {
  fxNewHostObject(the, DeleteSet);
  Value prototype;
  fxPop(the, &prototype.Slot());
  DefineSetMethod(the, state, prototype, "count", 0, [](FskMachine* machine, SetHandle& handle, const Value&,
                                                  const Arguments&) {
    return Value::Integer(CountOf(machine, handle));
  });
  DefineSetMethod(the, state, prototype, "getID", 1, [](FskMachine* machine, SetHandle& handle, const Value&,
                                                  const Arguments& arguments) {
    return Value::Integer(IdAt(machine, handle, arguments));
  });
  DefineSetMethod(the, state, prototype, "getRecord", 1, [](FskMachine* machine, SetHandle& handle, const Value&,
                                                      const Arguments& arguments) {
    int32_t id = IdAt(machine, handle, arguments);
    std::shared_ptr<XdbMaster> master = handle.master.lock();
    if (!master || !master->Store().IsOpen()) {
      return Value();
    }
    std::optional<XdbStore::Record> record = master->Store().GetRecord(id);
    return record ? RecordObject(machine, *record) : Value();
  });
  DefineSetMethod(the, state, prototype, "sort", 2, [](FskMachine* machine, SetHandle& handle, const Value& receiver,
                                                 const Arguments& arguments) {
    std::vector<std::string> keys{SortKeyOf(machine, Argument(arguments, 0), false)};
    std::string second = SortKeyOf(machine, Argument(arguments, 1), true);
    if (!second.empty()) {
      keys.push_back(second);
    }
    Require(machine, handle.set->Sort(keys), "sort");
    return receiver;
  });
  DefineSetMethod(the, state, prototype, "unique", 1,
                  [state](FskMachine* machine, SetHandle& handle, const Value&, const Arguments& arguments) {
                    std::string key = SortKeyOf(machine, Argument(arguments, 0), false);
                    std::shared_ptr<XdbMaster> master = MasterOfSet(machine, handle);
                    Found out = NewSetOf(machine, *master);
                    Require(machine, handle.set->Unique(key, out.get()), "unique");
                    return SetObject(machine, *state, master, std::move(out));
                  });
  DefineCombination(the, state, prototype, "or", false);
  DefineCombination(the, state, prototype, "and", true);
  return prototype;
}

// A record constructor keeping its arguments under fields; extra fields
// start at zero.
fsk::Closure RecordConstructor(std::vector<std::string> fields, std::vector<std::string> zeroFields,
                               int32_t titleIndex) {
  return [fields = std::move(fields), zeroFields = std::move(zeroFields), titleIndex](
             FskMachine* the, const Value& instance, const Arguments& arguments) {
    for (size_t i = 0; i < fields.size(); ++i) {
      Value value = Argument(arguments, i);
      if (static_cast<int32_t>(i) == titleIndex) {
        value = Value::String(fsk::ToString(the, value));
      }
      fsk::Set(the, instance, fields[i], value);
    }
    for (const std::string& field : zeroFields) {
      fsk::Set(the, instance, field, Value::Integer(0));
    }
    return Value();
  };
}

}  // namespace

void XdbDbManager::Build(FskMachine* the) {
  fsk::HostBracket bracket(the);
  auto state = std::make_shared<MachineState>();
  Value global = fsk::Global(the);
  Value dbManager = fsk::NewObject(the);
  fsk::Set(the, global, "dbManager", dbManager);

  Value contentMaster = fsk::NewObject(the);
  Value contentAlbumInfo = fsk::NewObject(the);
  fsk::Set(the, dbManager, "contentMaster", contentMaster);
  fsk::Set(the, dbManager, "contentAlbumInfo", contentAlbumInfo);
  fsk::Set(the, dbManager, "ContentMaster",
           fsk::NewConstructor(the,
                               RecordConstructor(std::vector<std::string>(std::begin(kContentFields),
                                                                          std::end(kContentFields)),
                                                 {"shareFlag", "favoriteFlag"}, -1),
                               6, contentMaster));
  fsk::Set(the, dbManager, "ContentAlbumInfo",
           fsk::NewConstructor(the, RecordConstructor({"albumDate", "title", "preference"}, {}, 1), 3,
                               contentAlbumInfo));

  state->setPrototype = MakeSetPrototype(the, state);
  state->masterPrototype = MakeMasterPrototype(the, state);
  fsk::Set(the, dbManager, "Master", fsk::NewConstructor(the, MasterConstructor(state), 0, state->masterPrototype));
}

XdbStore* XdbDbManager::StoreOf(FskMachine* the, const fsk::Value& master) {
  auto* handle = static_cast<MasterHandle*>(HostDataOf(the, master, fsk::GetPath(the, "dbManager.Master.prototype")));
  return handle != nullptr ? &handle->master->Store() : nullptr;
}

FskMachineFactory XdbDbManager::Factory() {
  return [](const char* name, FskMachine** out) {
    *out = nullptr;
    FskMachine* machine = nullptr;
    FskErr error = FskNewGrammarMachine(name, {"CatalogGrammar", "CatalogGrammarExt"}, &machine);
    if (error != 0) {
      return error;
    }
    try {
      Build(machine);
    } catch (const FskException&) {
      fxDeleteMachine(machine);
      return static_cast<FskErr>(kXpErrGeneric);
    }
    *out = machine;
    return static_cast<FskErr>(0);
  };
}
