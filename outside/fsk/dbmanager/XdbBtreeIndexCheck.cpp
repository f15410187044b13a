#include "outside/fsk/dbmanager/XdbBtreeIndex.h"

#include <array>
#include <cstring>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "fsk/FskException.h"
#include "platform/memory/XpByteOrder.h"

// The consistency check of XdbBtreeIndex: a walk over the pages in memory.

namespace {

using fsk::Value;

// The header atom: {size, type}, then ten words of which these three.
constexpr size_t kRootWord = 36;
constexpr size_t kFreeWord = 40;
constexpr size_t kOverflowWord = 44;

// A page object's memory: its size word, padding to 8 bytes, the page.
constexpr size_t kPageBlockHeader = 8;
// Page layouts in memory order.
constexpr uint16_t kLeafFlag = 0x01;
constexpr uint16_t kInnerFlag = 0x02;
constexpr size_t kIndexHeaderSize = 12;
constexpr size_t kOverflowHeaderSize = 8;
constexpr size_t kUniqueKeyOffset = 8;
constexpr size_t kSharedKeyOffset = 12;
// The longest walk the check follows through one overflow chain.
constexpr int kChainLimit = 1 << 20;

// The header atom's words are big-endian and signed.
int32_t LoadBigEndian32(const unsigned char* bytes) {
  return static_cast<int32_t>(XpLoadBig32(bytes));
}

int64_t Address(const void* pointer) { return static_cast<int64_t>(reinterpret_cast<intptr_t>(pointer)); }

template <typename T>
T LoadHost(const unsigned char* bytes) {
  T value{};
  std::memcpy(&value, bytes, sizeof value);
  return value;
}

// The bytes of a page object, or an empty span when it has none.
struct PageBytes {
  const unsigned char* bytes = nullptr;
  uint32_t size = 0;
};

PageBytes BytesOf(FskMachine* the, const Value& page) {
  Value target = page;
  const auto* block = static_cast<const unsigned char*>(fxGetHostData(the, &target.Slot()));
  if (block == nullptr) {
    return PageBytes{};
  }
  return PageBytes{block + kPageBlockHeader, LoadHost<uint32_t>(block)};
}

}  // namespace

// The walk of Check over the pages in memory.
class XdbBtreeIndex::Checker {
 public:
  explicit Checker(XdbBtreeIndex& index) : index_(index), the_(index.the_) {}

  std::string Run() {
    VisitPage(index_.Cached(index_.RootOffset(), false), 0, std::nullopt, std::nullopt);
    CheckFreeChain();
    CheckHeaderAtom();
    for (const auto& [offset, entry] : index_.cache_) {
      CheckAgainstFile(offset, entry);
    }
    return errors_.str();
  }

 private:
  struct Page {
    PageBytes memory;
    uint16_t flags = 0;
    uint16_t count = 0;
    uint16_t degree = 0;
    uint16_t entrySize = 0;
    uint16_t keySize = 0;

    const unsigned char* Entry(int entry) const { return memory.bytes + kIndexHeaderSize + entry * entrySize; }
    bool Unique() const { return (flags & 0x10) != 0; }
    const unsigned char* Key(int entry) const {
      return Entry(entry) + (Unique() ? kUniqueKeyOffset : kSharedKeyOffset);
    }
  };

  Page Load(const Value& node, int32_t offset) {
    Page page;
    page.memory = BytesOf(the_, node);
    if (page.memory.bytes == nullptr || page.memory.size < kIndexHeaderSize) {
      errors_ << "page " << offset << " has no memory; ";
      return Page{};
    }
    page.flags = LoadHost<uint16_t>(page.memory.bytes);
    page.count = LoadHost<uint16_t>(page.memory.bytes + 2);
    page.degree = LoadHost<uint16_t>(page.memory.bytes + 4);
    page.entrySize = LoadHost<uint16_t>(page.memory.bytes + 6);
    page.keySize = LoadHost<uint16_t>(page.memory.bytes + 8);
    if (kIndexHeaderSize + (page.count + size_t{1}) * page.entrySize > page.memory.size) {
      errors_ << "page " << offset << " overruns its memory; ";
      return Page{};
    }
    return page;
  }

  int Compare(const Page& page, int a, int b) const {
    const unsigned char* left = page.Key(a);
    const unsigned char* right = page.Key(b);
    switch (index_.kind_.keys) {
      case KeyKind::kInteger: {
        auto x = LoadHost<int32_t>(left);
        auto y = LoadHost<int32_t>(right);
        return x < y ? -1 : (x > y ? 1 : 0);
      }
      case KeyKind::kNumber: {
        auto x = LoadHost<double>(left);
        auto y = LoadHost<double>(right);
        return x < y ? -1 : (x > y ? 1 : 0);
      }
      case KeyKind::kString:
        break;
    }
    return std::memcmp(left, right, page.keySize);
  }

  int CompareWith(const Page& page, int entry, const std::string& bound) const {
    if (index_.kind_.keys == KeyKind::kString) {
      return std::memcmp(page.Key(entry), bound.data(), page.keySize);
    }
    if (index_.kind_.keys == KeyKind::kInteger) {
      auto x = LoadHost<int32_t>(page.Key(entry));
      auto y = LoadHost<int32_t>(reinterpret_cast<const unsigned char*>(bound.data()));
      return x < y ? -1 : (x > y ? 1 : 0);
    }
    auto x = LoadHost<double>(page.Key(entry));
    auto y = LoadHost<double>(reinterpret_cast<const unsigned char*>(bound.data()));
    return x < y ? -1 : (x > y ? 1 : 0);
  }

  static std::string KeyCopy(const Page& page, int entry) {
    return std::string(reinterpret_cast<const char*>(page.Key(entry)), page.keySize);
  }

  void VisitPage(const Value& node, int depth, const std::optional<std::string>& low,
             const std::optional<std::string>& high) {
    auto offset = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Get(the_, node, "offset")));
    if (!pages_.insert(offset).second) {
      errors_ << "page " << offset << " reached twice; ";
      return;
    }
    Page page = Load(node, offset);
    if (page.memory.bytes == nullptr) {
      return;
    }
    int count = page.count;
    if (depth > 0 && (count < page.degree - 1 || count > 2 * page.degree - 1)) {
      errors_ << "page " << offset << " holds " << count << " keys; ";
    }
    for (int entry = 0; entry < count; ++entry) {
      bool ordered = entry > 0 ? Compare(page, entry - 1, entry) < 0 : (!low || CompareWith(page, entry, *low) > 0);
      if (!ordered || (high && CompareWith(page, entry, *high) >= 0)) {
        errors_ << "key " << entry << " of page " << offset << " out of order; ";
      }
      if (!page.Unique()) {
        CheckChain(LoadHost<int32_t>(page.Entry(entry) + 4), LoadHost<int32_t>(page.Entry(entry) + 8));
      }
    }
    if ((page.flags & kLeafFlag) != 0) {
      if (leafDepth_ >= 0 && leafDepth_ != depth) {
        errors_ << "leaves at depths " << leafDepth_ << " and " << depth << "; ";
      }
      leafDepth_ = depth;
      return;
    }
    if ((page.flags & kInnerFlag) == 0) {
      errors_ << "page " << offset << " is neither leaf nor inner; ";
      return;
    }
    // Copies: reading a child may move nothing, but the view is kept short.
    std::vector<int32_t> children;
    std::vector<std::string> keys;
    for (int entry = 0; entry <= count; ++entry) {
      children.push_back(LoadHost<int32_t>(page.Entry(entry)));
      if (entry < count) {
        keys.push_back(KeyCopy(page, entry));
      }
    }
    for (int entry = 0; entry <= count; ++entry) {
      std::optional<std::string> childLow = entry > 0 ? std::optional<std::string>(keys[entry - 1]) : low;
      std::optional<std::string> childHigh = entry < count ? std::optional<std::string>(keys[entry]) : high;
      VisitPage(index_.Cached(children[entry], false), depth + 1, childLow, childHigh);
    }
  }

  void CheckChain(int32_t pageOffset, int32_t slot) {
    for (int steps = 0; pageOffset != 0; ++steps) {
      if (steps > kChainLimit || !slots_.insert({pageOffset, slot}).second) {
        errors_ << "overflow slot " << pageOffset << ":" << slot << " used twice; ";
        return;
      }
      overflowPages_.insert(pageOffset);
      PageBytes memory = BytesOf(the_, index_.Cached(pageOffset, true));
      if (memory.bytes == nullptr) {
        errors_ << "overflow page " << pageOffset << " has no memory; ";
        return;
      }
      auto slotCount = LoadHost<uint16_t>(memory.bytes + 2);
      auto slotSize = LoadHost<uint16_t>(memory.bytes + 4);
      if (slot < 0 || slot >= slotCount) {
        errors_ << "overflow slot " << slot << " outside page " << pageOffset << "; ";
        return;
      }
      const unsigned char* at = memory.bytes + kOverflowHeaderSize + static_cast<size_t>(slot) * slotSize;
      pageOffset = LoadHost<int32_t>(at);
      slot = LoadHost<int32_t>(at + 4) & 0xFFFF;
    }
  }

  void CheckFreeChain() {
    std::set<int32_t> seen;
    for (int32_t offset = index_.FreeHead(); offset != 0;) {
      if (!seen.insert(offset).second) {
        errors_ << "free chain runs in a circle at " << offset << "; ";
        return;
      }
      if (pages_.count(offset) != 0 || overflowPages_.count(offset) != 0) {
        errors_ << "free page " << offset << " is in use; ";
      }
      index_.CheckPageOffset(offset);
      offset = static_cast<int32_t>(fsk::ToInteger(the_, fsk::Call(the_, index_.index_, "readFree", offset)));
    }
  }

  void CheckHeaderAtom() {
    std::array<unsigned char, kHeaderSize> atom{};
    fsk::Call(the_, index_.index_, "readDataAt", Address(atom.data()), kHeaderSize, 0);
    Header stored{LoadBigEndian32(atom.data() + kRootWord), LoadBigEndian32(atom.data() + kFreeWord),
                  LoadBigEndian32(atom.data() + kOverflowWord)};
    if (LoadBigEndian32(atom.data()) != kHeaderSize || LoadBigEndian32(atom.data() + 4) != kHeaderType) {
      errors_ << "header atom damaged; ";
    }
    if (stored != index_.CurrentHeader()) {
      errors_ << "header atom holds root " << stored.root << " free " << stored.free << " overflow "
              << stored.overflow << "; ";
    }
  }

  void CheckAgainstFile(int32_t offset, const CachedPage& entry) {
    Value stored = entry.overflow ? index_.NewOverflowPage(offset) : index_.NewIndexPage(offset);
    fsk::Call(the_, stored, "read", index_.index_);
    PageBytes memory = BytesOf(the_, entry.page);
    PageBytes file = BytesOf(the_, stored);
    bool same = memory.bytes != nullptr && memory.size == file.size &&
                std::memcmp(memory.bytes, file.bytes, memory.size) == 0;
    fsk::Call(the_, stored, "close");
    if (!same) {
      errors_ << "page " << offset << " differs from the file; ";
    }
  }

  XdbBtreeIndex& index_;
  FskMachine* the_;
  std::set<int32_t> pages_;
  std::set<int32_t> overflowPages_;
  std::set<std::pair<int32_t, int32_t>> slots_;
  int leafDepth_ = -1;
  std::ostringstream errors_;
};

std::string XdbBtreeIndex::Check() {
  if (!IsOpen()) {
    return "not open";
  }
  std::string errors;
  XpResult result = Run([&] {
    errors = Checker(*this).Run();
    TrimCache();
  });
  if (XpFailed(result)) {
    errors += "the check failed with result " + std::to_string(result) + "; ";
  }
  return errors;
}
