#include "catalogdb/tests/XdbBtreeTestIndex.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <sstream>

#include "catalogdb/common/CatalogByteOrder.h"
#include "catalogdb/grammar/CatalogBtreeIndexObject.h"
#include "catalogdb/grammar/CatalogBtreeLayout.h"
#include "catalogdb/include/CatalogGrammarNames.h"
#include "outside/fsk/dbmanager/XdbBtreeIndex.h"

namespace xdbtest {

namespace {

namespace cb = CatalogBtree;
using fsk::Value;

constexpr int32_t kHeaderAtomSize = 48;
constexpr int32_t kIndexType = 0x494E4458;  // "INDX"
constexpr int kChainLimit = 100000;

unsigned char* Pointer(FskMachine* the, const Value& value) {
  return reinterpret_cast<unsigned char*>(static_cast<intptr_t>(fsk::ToInteger(the, value)));
}

int64_t Integer(FskMachine* the, const Value& value) { return fsk::ToInteger(the, value); }

XdbBtreeIndex::Kind KindOf(const IndexShape& shape) {
  XdbBtreeIndex::Kind kind;
  kind.unique = shape.unique;
  kind.keys = shape.keys == KeyType::kInteger  ? XdbBtreeIndex::KeyKind::kInteger
              : shape.keys == KeyType::kNumber ? XdbBtreeIndex::KeyKind::kNumber
                                               : XdbBtreeIndex::KeyKind::kString;
  kind.keyLength = shape.keyLength;
  kind.order = shape.order;
  kind.defaultSize = shape.defaultSize;
  kind.pageEntries = shape.pageEntries;
  kind.overflowEntries = shape.overflowEntries;
  return kind;
}

}  // namespace

std::string Describe(const TestKey& key) {
  std::ostringstream text;
  if (key.text.empty()) {
    text << key.number;
  } else {
    text << '"' << key.text << '"';
  }
  return text.str();
}

TestIndex::TestIndex(FskMachine* the, const IndexShape& shape) : the_(the), shape_(shape) {
  index_ = fsk::NewInstanceOf(the_, fsk::GetPath(the_, CatalogGrammarNames::kIndex));
  XdbBtreeIndex::SetProperties(the_, index_, KindOf(shape_));
  fsk::Set(the_, index_, "type", Value::Integer(kIndexType));
  pageSize_ = static_cast<int32_t>(Integer(the_, fsk::Call(the_, index_, "calculatePageSize")));
  shape_.overflowEntries = static_cast<int32_t>(Integer(the_, fsk::Get(the_, index_, "overflowEntries")));
  fsk::Set(the_, index_, "pageSize", Value::Integer(pageSize_));
  file_.assign(kHeaderAtomSize, 0);
  end_ = kHeaderAtomSize;
  InstallCallbacks();

  Value root = NewIndexPage(Allocate());
  cache_[CatalogPageOffset(the_, root)] = root;
  fsk::Call(the_, root, "write");
  fsk::Set(the_, index_, "root", root);
}

Value TestIndex::Constructor(const char* name) const { return fsk::GetPath(the_, name); }

void TestIndex::SetFunction(const char* name, int32_t length, fsk::Closure closure) {
  fsk::Set(the_, index_, name, fsk::NewFunction(the_, std::move(closure), length));
}

void TestIndex::InstallCallbacks() {
  write_ = fsk::NewFunction(
      the_,
      [this](FskMachine* the, const Value& page, const std::vector<Value>&) {
        return fsk::Call(the, page, "writeData", index_);
      },
      0);
  SetFunction("readDataAt", 3, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    int64_t count = Integer(the, args.at(1));
    int64_t offset = Integer(the, args.at(2));
    if (offset < 0 || count < 0 || offset + count > static_cast<int64_t>(file_.size())) {
      fxError(the, EIO);
    }
    std::memcpy(Pointer(the, args.at(0)), file_.data() + offset, static_cast<size_t>(count));
    return Value();
  });
  SetFunction("writeDataAt", 3, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    int64_t count = Integer(the, args.at(1));
    int64_t offset = Integer(the, args.at(2));
    if (failWrites || offset < 0 || count < 0) {
      fxError(the, EIO);
    }
    if (offset + count > static_cast<int64_t>(file_.size())) {
      file_.resize(static_cast<size_t>(offset + count));
    }
    std::memcpy(file_.data() + offset, Pointer(the, args.at(0)), static_cast<size_t>(count));
    return Value();
  });
  SetFunction("readAtom", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    unsigned char* atom = Pointer(the, args.at(0));
    int32_t size = CatalogLoadBigEndianInt32(file_.data() + position_);
    int32_t type = CatalogLoadBigEndianInt32(file_.data() + position_ + 4);
    if (size > CatalogLoadHost32(atom) || size < 8 || type != CatalogLoadHost32(atom + 4)) {
      fxError(the, EINVAL);
    }
    CatalogStoreHost32(atom, size);
    std::memcpy(atom + 8, file_.data() + position_ + 8, static_cast<size_t>(size - 8));
    position_ += size;
    return Value();
  });
  SetFunction("writeAtom", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    const unsigned char* atom = Pointer(the, args.at(0));
    int32_t size = CatalogLoadHost32(atom);
    if (position_ + size > static_cast<int64_t>(file_.size())) {
      file_.resize(static_cast<size_t>(position_ + size));
    }
    CatalogStoreBigEndianInt32(file_.data() + position_, size);
    CatalogStoreBigEndianInt32(file_.data() + position_ + 4, CatalogLoadHost32(atom + 4));
    std::memcpy(file_.data() + position_ + 8, atom + 8, static_cast<size_t>(size - 8));
    position_ += size;
    return Value();
  });
  SetFunction("readNode", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    return Cached(static_cast<int32_t>(Integer(the, args.at(0))), false);
  });
  SetFunction("readOverflow", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    return Cached(static_cast<int32_t>(Integer(the, args.at(0))), true);
  });
  SetFunction("makeNode", 1, [this](FskMachine* the, const Value&, const std::vector<Value>&) {
    if (makeNodeBudget == 0) {
      fxError(the, EFBIG);
    }
    makeNodeBudget -= makeNodeBudget > 0 ? 1 : 0;
    Value page = NewIndexPage(Allocate());
    cache_[CatalogPageOffset(the_, page)] = page;
    return page;
  });
  SetFunction("getOverflow", 0, [this](FskMachine* the, const Value&, const std::vector<Value>&) {
    auto current = static_cast<int32_t>(Integer(the, fsk::Get(the, index_, "overflow")));
    if (current != 0) {
      Value page = Cached(current, true);
      if (!fsk::ToBoolean(the, fsk::Call(the, page, "isFull"))) {
        return page;
      }
    }
    Value page = NewOverflowPage(Allocate());
    int32_t offset = CatalogPageOffset(the, page);
    cache_[offset] = page;
    fsk::Set(the, index_, "overflow", Value::Integer(offset));
    return page;
  });
  SetFunction("addFree", 1, [this](FskMachine* the, const Value&, const std::vector<Value>& args) {
    auto offset = static_cast<int32_t>(Integer(the, args.at(0)));
    fsk::Call(the, index_, "writeFree", offset, FreeHead());
    fsk::Set(the, index_, "free", Value::Integer(offset));
    cache_.erase(offset);
    if (Integer(the, fsk::Get(the, index_, "overflow")) == offset) {
      fsk::Set(the, index_, "overflow", Value::Integer(0));
    }
    freed.push_back(offset);
    return Value();
  });
  SetFunction("changing", 0, [this](FskMachine*, const Value&, const std::vector<Value>&) {
    ++changingCalls;
    return Value();
  });
  SetFunction("cacheLock", 1, [this](FskMachine*, const Value&, const std::vector<Value>&) {
    ++locks;
    return Value();
  });
  SetFunction("cacheUnlock", 1, [this](FskMachine*, const Value&, const std::vector<Value>&) {
    ++unlocks;
    return Value();
  });
  SetFunction("eachUpLeaf", 3, [this](FskMachine*, const Value&, const std::vector<Value>& args) {
    leaves_.emplace_back(args.at(1), args.at(2));
    return Value();
  });
}

Value TestIndex::NewIndexPage(int32_t offset) {
  return XdbBtreeIndex::NewPage(the_, KindOf(shape_), pageSize_, offset, false, write_);
}

Value TestIndex::NewOverflowPage(int32_t offset) {
  return XdbBtreeIndex::NewPage(the_, KindOf(shape_), pageSize_, offset, true, write_);
}

Value TestIndex::Cached(int32_t offset, bool overflow) {
  auto found = cache_.find(offset);
  if (found != cache_.end()) {
    return found->second;
  }
  Value page = overflow ? NewOverflowPage(offset) : NewIndexPage(offset);
  fsk::Call(the_, page, "read", index_);
  cache_[offset] = page;
  return page;
}

int32_t TestIndex::Allocate() {
  int32_t head = FreeHead();
  if (head != 0) {
    auto next = static_cast<int32_t>(Integer(the_, fsk::Call(the_, index_, "readFree", head)));
    fsk::Set(the_, index_, "free", Value::Integer(next));
    return head;
  }
  int32_t offset = end_;
  end_ += pageSize_;
  return offset;
}

int32_t TestIndex::FreeHead() const { return static_cast<int32_t>(Integer(the_, fsk::Get(the_, index_, "free"))); }

Value TestIndex::Root() const { return fsk::Get(the_, index_, "root"); }

Value TestIndex::Node(int32_t offset) { return Cached(offset, false); }

Value TestIndex::OverflowNode(int32_t offset) { return Cached(offset, true); }

Value TestIndex::KeyValue(const TestKey& key) const {
  switch (shape_.keys) {
    case KeyType::kInteger:
      return Value::Integer(static_cast<int32_t>(key.number));
    case KeyType::kNumber:
      return Value::Number(key.number);
    case KeyType::kString:
      return Value::String(key.text);
  }
  return Value();
}

TestKey TestIndex::KeyOf(const Value& value) const {
  if (shape_.keys == KeyType::kString) {
    return TestKey::Of(fsk::ToString(the_, value));
  }
  return TestKey::Of(fsk::ToNumber(the_, value));
}

void TestIndex::Insert(const TestKey& key, int32_t id) { fsk::Call(the_, index_, "insertData", KeyValue(key), id); }

bool TestIndex::RemoveKey(const TestKey& key) {
  return fsk::ToBoolean(the_, fsk::Call(the_, index_, "removeKey", KeyValue(key)));
}

bool TestIndex::RemoveKeyId(const TestKey& key, int32_t id) {
  return fsk::ToBoolean(the_, fsk::Call(the_, index_, "removeKeyID", Root(), KeyValue(key), id));
}

Value TestIndex::NewResult(std::vector<int32_t>* ids) {
  Value result = fsk::NewObject(the_);
  fsk::Set(the_, result, "addID",
           fsk::NewFunction(
               the_,
               [ids](FskMachine* the, const Value&, const std::vector<Value>& args) {
                 ids->push_back(static_cast<int32_t>(fsk::ToInteger(the, args.at(0))));
                 return Value();
               },
               1));
  return result;
}

std::vector<int32_t> TestIndex::Search(const TestKey& key) {
  std::vector<int32_t> ids;
  fsk::Call(the_, index_, "searchNode", Root(), KeyValue(key), NewResult(&ids));
  return ids;
}

std::vector<std::pair<TestKey, std::vector<int32_t>>> TestIndex::Walk() {
  leaves_.clear();
  fsk::Call(the_, index_, "eachUpNode", Value::Null(), Root());
  std::vector<std::pair<TestKey, std::vector<int32_t>>> walk;
  for (const auto& [key, value] : leaves_) {
    std::vector<int32_t> ids;
    if (shape_.unique) {
      ids.push_back(static_cast<int32_t>(fsk::ToInteger(the_, value)));
    } else {
      for (int32_t i = 0;; ++i) {
        Value id = fsk::GetAt(the_, value, i);
        if (id.IsUndefined()) {
          break;
        }
        ids.push_back(static_cast<int32_t>(fsk::ToInteger(the_, id)));
      }
    }
    walk.emplace_back(KeyOf(key), std::move(ids));
  }
  leaves_.clear();
  return walk;
}

int64_t TestIndex::Count(bool onlyKeys) {
  return fsk::ToInteger(the_, fsk::Call(the_, index_, "countNode", Root(), onlyKeys));
}

void TestIndex::Reopen() {
  position_ = 0;
  fsk::Call(the_, index_, "writeFileAux");
  for (const char* name : {"flags", "keySize", "cacheSize", "pageEntries", "overflowEntries", "pageSize", "defaultSize",
                           "root", "free", "overflow"}) {
    fsk::Set(the_, index_, name, Value());
  }
  cache_.clear();
  position_ = 0;
  fsk::Call(the_, index_, "readFile");
  pageSize_ = static_cast<int32_t>(Integer(the_, fsk::Get(the_, index_, "pageSize")));
  auto pages = (static_cast<int64_t>(file_.size()) - kHeaderAtomSize + pageSize_ - 1) / pageSize_;
  end_ = static_cast<int32_t>(kHeaderAtomSize + pages * pageSize_);
  auto rootOffset = static_cast<int32_t>(Integer(the_, Root()));
  fsk::Set(the_, index_, "root", Node(rootOffset));
}

// The walk of Check over the tree.
struct TestIndex::Walker {
  TestIndex& index;
  std::set<int32_t> pages;
  std::set<int32_t> overflowPages;
  int leafDepth = -1;
  std::ostringstream errors;

  TestKey KeyAt(const cb::IndexPage& view, int entry) const {
    const unsigned char* key = view.Key(entry);
    switch (view.Kind()) {
      case cb::KeyKind::kInteger:
        return TestKey::Of(CatalogLoadHost32(key));
      case cb::KeyKind::kNumber: {
        double number = 0;
        std::memcpy(&number, key, sizeof number);
        return TestKey::Of(number);
      }
      case cb::KeyKind::kString:
        return TestKey::Of(std::string(reinterpret_cast<const char*>(key),
                                       strnlen(reinterpret_cast<const char*>(key), view.KeySize())));
    }
    return TestKey();
  }

  void Chain(int32_t page, int32_t slot) {
    for (int steps = 0; page != 0; ++steps) {
      if (steps > kChainLimit) {
        errors << "overflow chain without end; ";
        return;
      }
      Value node = index.OverflowNode(page);
      if (overflowPages.insert(page).second) {
        errors << index.CheckPageBytes(node, true);
      }
      cb::OverflowPage view = CatalogOverflowPageOf(index.Machine(), node);
      int32_t next = view.NextPage(slot);
      if (next != 0 && view.Id(slot, view.IdsPerSlot() - 1) == 0) {
        errors << "a slot inside a chain at " << page << " is not full; ";
      }
      slot = view.NextSlot(slot);
      page = next;
    }
  }

  void Visit(const Value& node, int depth, const std::optional<TestKey>& low, const std::optional<TestKey>& high) {
    FskMachine* the = index.Machine();
    int32_t offset = CatalogPageOffset(the, node);
    if (!pages.insert(offset).second) {
      errors << "page " << offset << " reached twice; ";
      return;
    }
    errors << index.CheckPageBytes(node, false);
    cb::IndexPage view = CatalogIndexPageOf(the, node);
    int count = view.Count();
    if (depth > 0 && (count < view.Degree() - 1 || count > view.MaxKeys())) {
      errors << "page " << offset << " holds " << count << " keys; ";
    }
    std::vector<TestKey> keys;
    for (int entry = 0; entry < count; ++entry) {
      keys.push_back(KeyAt(view, entry));
      bool below = entry > 0 ? keys[entry - 1] < keys[entry] : (!low || *low < keys[entry]);
      if (!below || (high && !(keys[entry] < *high))) {
        errors << "key " << Describe(keys[entry]) << " out of order in page " << offset << "; ";
      }
      if (!view.IsUnique() && view.OverflowPage(entry) != 0) {
        Chain(view.OverflowPage(entry), view.OverflowSlot(entry));
      }
    }
    if (view.IsLeaf()) {
      if (leafDepth >= 0 && leafDepth != depth) {
        errors << "leaves at depths " << leafDepth << " and " << depth << "; ";
      }
      leafDepth = depth;
      return;
    }
    std::vector<int32_t> children;
    for (int entry = 0; entry <= count; ++entry) {
      children.push_back(view.Child(entry));
    }
    for (int entry = 0; entry <= count; ++entry) {
      std::optional<TestKey> childLow = entry > 0 ? std::optional<TestKey>(keys[entry - 1]) : low;
      std::optional<TestKey> childHigh = entry < count ? std::optional<TestKey>(keys[entry]) : high;
      Visit(index.Node(children[entry]), depth + 1, childLow, childHigh);
    }
  }
};

std::string TestIndex::CheckPageBytes(const Value& page, bool overflow) {
  int32_t offset = CatalogPageOffset(the_, page);
  Value stored = overflow ? NewOverflowPage(offset) : NewIndexPage(offset);
  fsk::Call(the_, stored, "read", index_);
  CatalogPageMemory memory = CatalogPageMemoryOf(the_, page);
  CatalogPageMemory file = CatalogPageMemoryOf(the_, stored);
  bool same = memory.size == file.size && std::memcmp(memory.bytes, file.bytes, memory.size) == 0;
  fsk::Call(the_, stored, "close");
  return same ? std::string() : "page " + std::to_string(offset) + " differs from the file; ";
}

std::string TestIndex::Check() {
  Walker walker{*this, {}, {}, -1, {}};
  try {
    walker.Visit(Root(), 0, std::nullopt, std::nullopt);
    bool bigEndian = (shape_.order & cb::kIndexMemoryOrder) == 0;
    std::set<int32_t> seen;
    for (int32_t offset = FreeHead(); offset != 0;) {
      if (!seen.insert(offset).second || offset < kHeaderAtomSize ||
          offset + static_cast<int64_t>(cb::kFreeRecordSize) > static_cast<int64_t>(file_.size())) {
        walker.errors << "free chain broken at " << offset << "; ";
        break;
      }
      if (walker.pages.count(offset) != 0 || walker.overflowPages.count(offset) != 0) {
        walker.errors << "free page " << offset << " is in use; ";
      }
      const unsigned char* record = file_.data() + offset;
      uint16_t flags = bigEndian ? cb::LoadBigEndian16(record) : cb::LoadHost16(record);
      if (flags != cb::kFreeFlags) {
        walker.errors << "free page " << offset << " has flags " << flags << "; ";
        break;
      }
      offset = bigEndian ? CatalogLoadBigEndianInt32(record + 4) : CatalogLoadHost32(record + 4);
    }
  } catch (const FskException& error) {
    walker.errors << "error " << error.what() << "; ";
  }
  return walker.errors.str();
}

}  // namespace xdbtest
