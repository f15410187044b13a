#include "outside/fsk/dbmanager/XdbBtreeIndex.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <utility>

#include "fsk/FskException.h"
#include "outside/fsk/dbmanager/XdbHostCall.h"

namespace {

using fsk::Value;

constexpr char kDuplicateKey[] = "BTree duplicate key!";
constexpr int32_t kNoRoot = -1;
constexpr int32_t kIntegerKeySize = 4;
constexpr int32_t kNumberKeySize = 8;

// EINVAL from the natives means a damaged file; a duplicate key comes as
// a plain error.
[[nodiscard]] XpResult ResultOf(FskMachine* the, const FskException& error) {
  Value thrown(error.Value());
  if (thrown.IsObject() && fsk::Get(the, thrown, "code").Type() != kFskIntegerType) {
    Value message = fsk::Get(the, thrown, "message");
    if (!message.IsUndefined() && fsk::ToString(the, message) == kDuplicateKey) {
      return kXpErrAlreadyExists;
    }
  }
  return XdbHostCall::ResultOfError(the, error, kXpErrInvalidFile);
}

}  // namespace

XdbBtreeIndex::XdbBtreeIndex(FskMachine* the) : XdbComponent(the, ResultOf) {}

XdbBtreeIndex::~XdbBtreeIndex() {
  // A failed close has nowhere to go from here; a closed file has nothing to close.
  (void)Close();
}

// Runs one operation of an open index, then writes the header when root,
// free or overflow changed and trims the cache. After a failure the cache
// is forgotten: what is in the file is what counts.
XpResult XdbBtreeIndex::Operation(XdbCallable<void()> work) {
  if (!IsOpen()) {
    return kXpErrNotOpen;
  }
  XpResult result = Run(work);
  // Only the natives' changing and the callbacks that move free or
  // overflow change the header words; a failure may have left any of them.
  if (headerMayChange_ || XpFailed(result)) {
    XpResult header = Run([&] { WriteHeaderIfChanged(); });
    if (XpSucceeded(header)) {
      headerMayChange_ = false;
    }
    if (XpSucceeded(result)) {
      result = header;
    }
  }
  XpResult settled = kXpOk;
  if (XpFailed(result) || CacheOverLimit()) {
    settled = Run([&] {
      if (XpFailed(result)) {
        ForgetCache();
        ReloadRoot();
        return;
      }
      TrimCache();
    });
  }
  for (Value& page : retired_) {
    XpResult ignored = Run([&] { fsk::Call(the_, page, "close"); });
    (void)ignored;
  }
  retired_.clear();
  return XpSucceeded(result) ? settled : result;
}

void XdbBtreeIndex::MakeObject() {
  index_ = fsk::NewInstanceOf(the_, fsk::GetPath(the_, "xdbBtree.index"));
  fsk::Set(the_, index_, "refnum", Value::Integer(kNeverOpened));
  fsk::Set(the_, index_, "type", Value::Integer(kHeaderType));
  InstallCallbacks();
}

void XdbBtreeIndex::SetFunction(const char* name, int32_t length, fsk::Closure closure) {
  fsk::Set(the_, index_, name, fsk::NewFunction(the_, std::move(closure), length));
}

void XdbBtreeIndex::InstallCallbacks() {
  write_ = fsk::NewFunction(
      the_,
      [this](FskMachine* the, const Value& page, const std::vector<Value>&) {
        return fsk::Call(the, page, "writeData", index_);
      },
      0);
  SetFunction("readNode", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    return Cached(static_cast<int32_t>(fsk::ToInteger(the, args.at(0))), false);
  });
  SetFunction("readOverflow", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    return Cached(static_cast<int32_t>(fsk::ToInteger(the, args.at(0))), true);
  });
  SetFunction("makeNode", 1, [this](FskMachine*, const Value&, const std::vector<Value>&) {
    Value page = NewIndexPage(Allocate());
    Remember(page, false);
    return page;
  });
  SetFunction("getOverflow", 0,
              [this](FskMachine*, const Value&, const std::vector<Value>&) { return GetOverflowPage(); });
  SetFunction("addFree", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    GiveBack(static_cast<int32_t>(fsk::ToInteger(the, args.at(0))));
    return Value();
  });
  SetFunction("changing", 0, [this](FskMachine*, const Value&, const std::vector<Value>&) {
    ++changingCalls_;
    headerMayChange_ = true;
    return Value();
  });
  SetFunction("cacheLock", 1, [this](FskMachine*, const Value&, const std::vector<Value>& args) {
    Lock(args.at(0), 1);
    return Value();
  });
  SetFunction("cacheUnlock", 1, [this](FskMachine*, const Value&, const std::vector<Value>& args) {
    Lock(args.at(0), -1);
    return Value();
  });
  SetFunction("eachUpLeaf", 3, [this](FskMachine*, const Value&, const std::vector<Value>& args) {
    if (visit_ != nullptr) {
      (*visit_)(KeyOf(args.at(1)), IdsOf(args.at(2)));
    }
    return Value();
  });
}

void XdbBtreeIndex::SetProperties(FskMachine* the, const Value& index, const Kind& kind) {
  int32_t kindBits = 0;
  int32_t keySize = kind.keyLength;
  if (kind.keys == KeyKind::kInteger) {
    kindBits = kIntegerIndex;
    keySize = kIntegerKeySize;
  } else if (kind.keys == KeyKind::kNumber) {
    kindBits = kNumberIndex;
    keySize = kNumberKeySize;
  }
  fsk::Set(the, index, "flags", Value::Integer((kind.unique ? kUnique : 0) | kindBits | kind.order));
  fsk::Set(the, index, "keySize", Value::Integer(keySize));
  fsk::Set(the, index, "pageEntries", Value::Integer(kind.pageEntries));
  fsk::Set(the, index, "overflowEntries", Value::Integer(kind.overflowEntries));
  fsk::Set(the, index, "defaultSize", Value::Integer(kind.defaultSize));
  fsk::Set(the, index, "cacheSize", Value::Integer(kind.cacheSize));
  fsk::Set(the, index, "free", Value::Integer(0));
  fsk::Set(the, index, "overflow", Value::Integer(0));
}

int32_t XdbBtreeIndex::IntegerProperty(const char* name) const {
  return static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, index_, name)));
}

// kind_ and pageSize_ from the index's properties.
void XdbBtreeIndex::ReadProperties() {
  int32_t flags = IntegerProperty("flags");
  kind_.unique = (flags & kUnique) != 0;
  kind_.keys = (flags & kIntegerIndex) != 0 ? KeyKind::kInteger
               : (flags & kNumberIndex) != 0 ? KeyKind::kNumber
                                             : KeyKind::kString;
  kind_.keyLength = IntegerProperty("keySize");
  kind_.order = flags & kOrderMask;
  kind_.defaultSize = IntegerProperty("defaultSize");
  kind_.pageEntries = IntegerProperty("pageEntries");
  kind_.overflowEntries = IntegerProperty("overflowEntries");
  kind_.cacheSize = IntegerProperty("cacheSize");
  pageSize_ = IntegerProperty("pageSize");
}

// A header read from a file must describe an index this class makes: the
// page size is the one the stored shape gives.
void XdbBtreeIndex::CheckStoredShape() {
  int32_t flags = IntegerProperty("flags");
  constexpr int32_t kKnownFlags = kUnique | kIntegerIndex | kNumberIndex | kOrderMask;
  bool bothKinds = (flags & kIntegerIndex) != 0 && (flags & kNumberIndex) != 0;
  bool order = (flags & kLittleEndian) == kLittleEndian || (flags & kLittleEndian) == kBigEndian;
  if ((flags & ~kKnownFlags) != 0 || bothKinds || !order) {
    Fail(kXpErrInvalidFile);
  }
  int32_t storedEntries = IntegerProperty("overflowEntries");
  int32_t storedSize = IntegerProperty("pageSize");
  auto computed = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Call(the_, index_, "calculatePageSize")));
  if (computed != storedSize || IntegerProperty("overflowEntries") != storedEntries) {
    Fail(kXpErrInvalidFile);
  }
  ReadProperties();
  bool keySizeFits = kind_.keys == KeyKind::kInteger  ? kind_.keyLength == kIntegerKeySize
                     : kind_.keys == KeyKind::kNumber ? kind_.keyLength == kNumberKeySize
                                                      : kind_.keyLength > 0;
  if (!keySizeFits || kind_.cacheSize < 1) {
    Fail(kXpErrInvalidFile);
  }
}

XpResult XdbBtreeIndex::Create(const std::string& path, const Kind& kind) {
  XpResult result = Establish([&] {
    bool shapeFits = kind.keyLength > 0 && kind.cacheSize > 0 && (kind.order & ~kOrderMask) == 0 &&
                     ((kind.order & kLittleEndian) == kLittleEndian ||
                      (kind.order & kLittleEndian) == kBigEndian);
    if (!shapeFits) {
      Fail(kXpErrBadArgument);
    }
    MakeObject();
    SetProperties(the_, index_, kind);
    fsk::Set(the_, index_, "pageSize",
             Value::Integer(fsk::ToInteger(the_, fsk::Call(the_, index_, "calculatePageSize"))));
    ReadProperties();
    fsk::Call(the_, index_, "create", path);
    end_ = kHeaderSize;
    Value root = NewIndexPage(Allocate());
    Remember(root, false);
    fsk::Call(the_, root, "write");
    fsk::Set(the_, index_, "root", root);
    WriteHeader();
  });
  return result == kXpErrInvalidFile ? kXpErrBadArgument : result;
}

XpResult XdbBtreeIndex::Open(const std::string& path) {
  return Establish([&] {
    MakeObject();
    fsk::Call(the_, index_, "open", path);
    fsk::Call(the_, index_, "setOffset", 0);
    fsk::Call(the_, index_, "readFile");
    CheckStoredShape();
    int64_t size = fsk::ToInteger(the_, fsk::Call(the_, index_, "getSize"));
    int64_t pages = (size - kHeaderSize + pageSize_ - 1) / pageSize_;
    end_ = kHeaderSize + pages * pageSize_;
    written_ = CurrentHeader();
    if (written_.free != 0) {
      CheckPageOffset(written_.free);
    }
    if (written_.overflow != 0) {
      CheckPageOffset(written_.overflow);
    }
    if (written_.root == kNoRoot) {
      // An index without a root gets an empty leaf.
      Value root = NewIndexPage(Allocate());
      Remember(root, false);
      fsk::Call(the_, root, "write");
      fsk::Set(the_, index_, "root", root);
      WriteHeaderIfChanged();
      return;
    }
    fsk::Set(the_, index_, "root", Cached(written_.root, false));
  });
}

XpResult XdbBtreeIndex::Close() { return CloseFile(index_); }

void XdbBtreeIndex::ReleaseObjects() {
  headerMayChange_ = false;
  {
    fsk::HostBracket bracket(the_);
    ForgetCache();
  }
  CloseQuietly(index_);
  retired_.clear();
  index_ = write_ = Value();
}

Value XdbBtreeIndex::NewPage(FskMachine* the, const Kind& kind, int32_t pageSize, int32_t offset, bool overflow,
                             const Value& write) {
  Value holder = fsk::GetPath(the, "xdbBtree");
  Value page;
  if (overflow) {
    page = fsk::New(the, holder, "OverflowPage", offset, pageSize, kind.overflowEntries);
  } else if (kind.keys == KeyKind::kInteger) {
    page = fsk::New(the, holder, "IntegerPage", offset, pageSize, kind.pageEntries, kind.unique);
  } else if (kind.keys == KeyKind::kNumber) {
    page = fsk::New(the, holder, "NumberPage", offset, pageSize, kind.pageEntries, kind.unique);
  } else {
    page = fsk::New(the, holder, "StringPage", offset, pageSize, kind.pageEntries, kind.unique, kind.keyLength);
  }
  fsk::Set(the, page, "write", write);
  return page;
}

Value XdbBtreeIndex::NewIndexPage(int32_t offset) { return NewPage(the_, kind_, pageSize_, offset, false, write_); }

Value XdbBtreeIndex::NewOverflowPage(int32_t offset) { return NewPage(the_, kind_, pageSize_, offset, true, write_); }

// A page offset must name a whole page of the file.
void XdbBtreeIndex::CheckPageOffset(int32_t offset) const {
  if (offset < kHeaderSize || (offset - kHeaderSize) % pageSize_ != 0 || offset + int64_t{pageSize_} > end_) {
    fxError(the_, EINVAL);
  }
}

void XdbBtreeIndex::Remember(const Value& page, bool overflow) {
  auto offset = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, page, "offset")));
  cache_[offset] = CachedPage{page, overflow, 0, ++clock_};
}

Value XdbBtreeIndex::Cached(int32_t offset, bool overflow) {
  auto found = cache_.find(offset);
  if (found != cache_.end()) {
    if (found->second.overflow != overflow) {
      fxError(the_, EINVAL);
    }
    found->second.used = ++clock_;
    return found->second.page;
  }
  CheckPageOffset(offset);
  Value page = overflow ? NewOverflowPage(offset) : NewIndexPage(offset);
  try {
    fsk::Call(the_, page, "read", index_);
  } catch (const FskException&) {
    fsk::Call(the_, page, "close");
    throw;
  }
  Remember(page, overflow);
  return page;
}

// A page from the free chain, else one past the end of the file.
int32_t XdbBtreeIndex::Allocate() {
  int32_t head = FreeHead();
  if (head != 0) {
    CheckPageOffset(head);
    if (cache_.count(head) != 0) {
      fxError(the_, EINVAL);
    }
    auto next = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Call(the_, index_, "readFree", head)));
    headerMayChange_ = true;
    fsk::Set(the_, index_, "free", Value::Integer(next));
    return head;
  }
  if (end_ + pageSize_ > kLargestFile) {
    fxError(the_, EFBIG);
  }
  auto offset = static_cast<int32_t>(end_);
  end_ += pageSize_;
  return offset;
}

Value XdbBtreeIndex::GetOverflowPage() {
  int32_t current = OverflowOffset();
  if (current != 0) {
    Value page = Cached(current, true);
    if (!fsk::ToBoolean(the_, fsk::Call(the_, page, "isFull"))) {
      return page;
    }
  }
  Value page = NewOverflowPage(Allocate());
  Remember(page, true);
  headerMayChange_ = true;
  fsk::Set(the_, index_, "overflow", fsk::Get(the_, page, "offset"));
  return page;
}

void XdbBtreeIndex::GiveBack(int32_t offset) {
  CheckPageOffset(offset);
  if (offset == RootOffset()) {
    // The natives give back the old root after they set the new one.
    fxError(the_, EINVAL);
  }
  fsk::Call(the_, index_, "writeFree", offset, FreeHead());
  headerMayChange_ = true;
  fsk::Set(the_, index_, "free", Value::Integer(offset));
  if (OverflowOffset() == offset) {
    fsk::Set(the_, index_, "overflow", Value::Integer(0));
  }
  auto found = cache_.find(offset);
  if (found != cache_.end()) {
    retired_.push_back(found->second.page);
    cache_.erase(found);
  }
}

void XdbBtreeIndex::Lock(const Value& node, int change) {
  auto offset = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, node, "offset")));
  auto found = cache_.find(offset);
  if (found != cache_.end()) {
    found->second.locks = std::max(0, found->second.locks + change);
  }
}

int32_t XdbBtreeIndex::RootOffset() const {
  if (!index_.IsObject()) {
    return kNoRoot;
  }
  Value root = fsk::Get(the_, index_, "root");
  if (root.IsUndefined() || root.IsNull()) {
    return kNoRoot;
  }
  if (root.IsObject()) {
    return static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, root, "offset")));
  }
  return static_cast<int32_t>(fsk::ToInteger(the_, root));
}

int32_t XdbBtreeIndex::FreeHead() const { return index_.IsObject() ? IntegerProperty("free") : 0; }

int32_t XdbBtreeIndex::OverflowOffset() const {
  if (!index_.IsObject()) {
    return 0;
  }
  Value overflow = fsk::Get(the_, index_, "overflow");
  if (overflow.IsObject()) {
    return static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, overflow, "offset")));
  }
  return overflow.IsUndefined() || overflow.IsNull() ? 0 : static_cast<int32_t>(fsk::ToInteger(the_, overflow));
}

XdbBtreeIndex::Header XdbBtreeIndex::CurrentHeader() const {
  return Header{RootOffset(), FreeHead(), OverflowOffset()};
}

void XdbBtreeIndex::WriteHeader() {
  fsk::Call(the_, index_, "setOffset", 0);
  fsk::Call(the_, index_, "writeFileAux");
  written_ = CurrentHeader();
}

void XdbBtreeIndex::WriteHeaderIfChanged() {
  if (index_.IsObject() && CurrentHeader() != written_) {
    WriteHeader();
  }
}

bool XdbBtreeIndex::CacheOverLimit() const { return cache_.size() > CacheLimit(); }

size_t XdbBtreeIndex::CacheLimit() const { return static_cast<size_t>(std::max(kind_.cacheSize, 1)); }

// Evicts the pages used longest ago until cacheSize remain; the root and
// locked pages stay.
void XdbBtreeIndex::TrimCache() {
  if (!CacheOverLimit()) {
    return;
  }
  int32_t root = RootOffset();
  while (cache_.size() > CacheLimit()) {
    auto oldest = cache_.end();
    for (auto entry = cache_.begin(); entry != cache_.end(); ++entry) {
      bool evictable = entry->first != root && entry->second.locks == 0;
      if (evictable && (oldest == cache_.end() || entry->second.used < oldest->second.used)) {
        oldest = entry;
      }
    }
    if (oldest == cache_.end()) {
      return;
    }
    Value page = oldest->second.page;
    cache_.erase(oldest);
    fsk::Call(the_, page, "close");
  }
}

void XdbBtreeIndex::ForgetCache() {
  std::map<int32_t, CachedPage> pages;
  pages.swap(cache_);
  for (auto& [offset, entry] : pages) {
    try {
      fsk::Call(the_, entry.page, "close");
    } catch (const FskException&) {  // NOLINT(bugprone-empty-catch): a page that will not close is dropped.
    }
  }
}

void XdbBtreeIndex::ReloadRoot() {
  int32_t root = RootOffset();
  fsk::Set(the_, index_, "root", Value());
  if (root != kNoRoot) {
    fsk::Set(the_, index_, "root", Cached(root, false));
  }
}

Value XdbBtreeIndex::KeyValue(const Key& key) const {
  switch (kind_.keys) {
    case KeyKind::kInteger:
      if (const auto* integer = std::get_if<int32_t>(&key)) {
        return Value::Integer(*integer);
      }
      break;
    case KeyKind::kNumber:
      if (const auto* number = std::get_if<double>(&key); number != nullptr && !std::isnan(*number)) {
        return Value::Number(*number);
      }
      break;
    case KeyKind::kString:
      if (const auto* text = std::get_if<std::string>(&key);
          text != nullptr && text->size() <= static_cast<size_t>(kind_.keyLength) &&
          text->find('\0') == std::string::npos) {
        return Value::String(*text);
      }
      break;
  }
  Fail(kXpErrBadArgument);
}

XdbBtreeIndex::Key XdbBtreeIndex::KeyOf(const Value& value) const {
  switch (kind_.keys) {
    case KeyKind::kInteger:
      return Key(static_cast<int32_t>(fsk::ToInteger(the_, value)));
    case KeyKind::kNumber:
      return Key(fsk::ToNumber(the_, value));
    case KeyKind::kString:
      break;
  }
  return Key(fsk::ToString(the_, value));
}

// The IDs of an entry's value: the ID of a unique entry (none when it is
// 0), else the numbered properties.
std::vector<int32_t> XdbBtreeIndex::IdsOf(const Value& value) const {
  std::vector<int32_t> ids;
  if (!value.IsObject()) {
    auto id = static_cast<int32_t>(fsk::ToInteger(the_, value));
    if (id != 0) {
      ids.push_back(id);
    }
    return ids;
  }
  for (int32_t at = 0;; ++at) {
    Value id = fsk::GetAt(the_, value, at);
    if (id.IsUndefined()) {
      return ids;
    }
    ids.push_back(static_cast<int32_t>(fsk::ToInteger(the_, id)));
  }
}

Value XdbBtreeIndex::NewResult(std::vector<int32_t>* ids) {
  Value result = fsk::NewObject(the_);
  fsk::Set(the_, result, "addID",
           fsk::NewFunction(
               the_,
               [ids](FskMachine* the, const Value&, const std::vector<Value>& args) {
                 auto id = static_cast<int32_t>(fsk::ToInteger(the, args.at(0)));
                 if (id != 0) {
                   ids->push_back(id);
                 }
                 return Value();
               },
               1));
  return result;
}

XpResult XdbBtreeIndex::Insert(const Key& key, int32_t id) {
  return Operation([&] {
    Value value = KeyValue(key);
    if (id <= 0) {
      Fail(kXpErrBadArgument);
    }
    fsk::Call(the_, index_, "insertData", value, id);
  });
}

XpResult XdbBtreeIndex::RemoveKey(const Key& key, bool* removed) {
  return Operation([&] {
    Value value = KeyValue(key);
    *removed = fsk::ToBoolean(the_, fsk::Call(the_, index_, "removeKey", value));
  });
}

XpResult XdbBtreeIndex::RemoveKeyId(const Key& key, int32_t id, bool* removed) {
  return Operation([&] {
    Value value = KeyValue(key);
    if (id <= 0) {
      Fail(kXpErrBadArgument);
    }
    Value root = fsk::Get(the_, index_, "root");
    *removed = fsk::ToBoolean(the_, fsk::Call(the_, index_, "removeKeyID", root, value, id));
  });
}

XpResult XdbBtreeIndex::Search(const Key& key, std::vector<int32_t>* ids) {
  ids->clear();
  return Operation([&] {
    Value value = KeyValue(key);
    fsk::Call(the_, index_, "searchNode", fsk::Get(the_, index_, "root"), value, NewResult(ids));
  });
}

XpResult XdbBtreeIndex::FilterSearch(const Filter& filter, std::vector<int32_t>* ids) {
  ids->clear();
  return Operation([&] {
    Value function = fsk::NewObject(the_);
    fsk::Set(the_, function, "call",
             fsk::NewFunction(
                 the_,
                 [this, &filter](FskMachine*, const Value&, const std::vector<Value>& args) {
                   return Value::Boolean(filter(KeyOf(args.at(0))));
                 },
                 1));
    fsk::Call(the_, index_, "filterSearchNode", fsk::Get(the_, index_, "root"), function, NewResult(ids));
  });
}

XpResult XdbBtreeIndex::PrefixSearch(const std::string& prefix, std::vector<int32_t>* ids) {
  ids->clear();
  return Operation([&] {
    if (kind_.keys != KeyKind::kString) {
      Fail(kXpErrBadArgument);
    }
    Value text = KeyValue(Key(prefix));
    fsk::Call(the_, index_, "partialSearchNode", fsk::Get(the_, index_, "root"), text,
              static_cast<int64_t>(prefix.size()), NewResult(ids));
  });
}

XpResult XdbBtreeIndex::Walk(const Visit& visit) {
  return Operation([&] {
    visit_ = &visit;
    try {
      fsk::Call(the_, index_, "eachUpNode", Value::Null(), fsk::Get(the_, index_, "root"));
    } catch (...) {
      visit_ = nullptr;
      throw;
    }
    visit_ = nullptr;
  });
}

XpResult XdbBtreeIndex::Count(bool onlyKeys, int64_t* count) {
  return Operation([&] {
    *count = fsk::ToInteger(the_, fsk::Call(the_, index_, "countNode", fsk::Get(the_, index_, "root"), onlyKeys));
  });
}

XpResult XdbBtreeIndex::BuildSortingRanks(std::vector<int64_t>* ranks) {
  return Operation([&] {
    Value array = fsk::NewObject(the_);
    fsk::Set(the_, array, "index", Value::Integer(0));
    fsk::Set(the_, array, "setValue",
             fsk::NewFunction(
                 the_,
                 [ranks](FskMachine* the, const Value&, const std::vector<Value>& args) {
                   auto id = static_cast<size_t>(fsk::ToInteger(the, args.at(0)));
                   if (id >= ranks->size()) {
                     ranks->resize(id + 1, -1);
                   }
                   (*ranks)[id] = fsk::ToInteger(the, args.at(1));
                   return Value();
                 },
                 2));
    fsk::Call(the_, index_, "buildSortingNode", array, fsk::Get(the_, index_, "root"));
  });
}

XpResult XdbBtreeIndex::BuildSortingArray(int32_t slots) {
  return Operation([&] {
    if (slots < 0) {
      Fail(kXpErrBadArgument);
    }
    Value array = fsk::New(the_, fsk::GetPath(the_, "xdbBtree"), "SortingArray", slots);
    fsk::Call(the_, index_, "buildSortingNode", array, fsk::Get(the_, index_, "root"));
    fsk::Set(the_, index_, "sortingArray", array);
  });
}

bool XdbBtreeIndex::HasSortingArray() const { return SortingArray().IsObject(); }

fsk::Value XdbBtreeIndex::SortingArray() const {
  if (!IsOpen()) {
    return Value();
  }
  fsk::HostBracket bracket(the_);
  return fsk::Get(the_, index_, "sortingArray");
}

XpResult XdbBtreeIndex::GetStatistics(Statistics* statistics) {
  *statistics = Statistics{};
  return Operation([&] {
    Value object = fsk::NewObject(the_);
    fsk::Set(the_, object, "depth", Value::Integer(0));
    fsk::Set(the_, object, "add",
             fsk::NewFunction(
                 the_,
                 [statistics](FskMachine* the, const Value&, const std::vector<Value>& args) {
                   statistics->keys += 1;
                   statistics->ids += fsk::ToInteger(the, args.at(0));
                   statistics->overflowPages += fsk::ToInteger(the, args.at(1));
                   statistics->overflowSlots += fsk::ToInteger(the, args.at(2));
                   statistics->keyBytes += fsk::ToInteger(the, args.at(3));
                   return Value();
                 },
                 4));
    fsk::Call(the_, index_, "statsNode", fsk::Get(the_, index_, "root"), object, 0);
    statistics->depth = fsk::ToInteger(the_, fsk::Get(the_, object, "depth"));
  });
}
