#include "framework/strings/XfStringLookup.h"

#include <mutex>
#include <new>
#include <utility>

namespace {

constexpr const char16_t* kLensTableKey = u"LensTable";
constexpr int32_t kLensNumberMask = 0xFF;
constexpr int32_t kLensNumberDivisor = 10;

// A source that answers a fixed list.
class FixedStringsSource : public IXfStringsSource {
 public:
  explicit FixedStringsSource(XfStringsManagerList managers) : managers_(std::move(managers)) {}
  XfStringsManagerList GetStringsManagers() const override { return managers_; }

 private:
  const XfStringsManagerList managers_;
};

struct SourceSlot {
  std::mutex lock;
  XpSharedPtr<IXfStringsSource> source;
};

SourceSlot& Slot() {
  static SourceSlot slot;
  return slot;
}

XpSharedPtr<IXfStringsSource> CurrentSource() {
  SourceSlot& slot = Slot();
  std::lock_guard<std::mutex> guard(slot.lock);
  return slot.source;
}

// The first non-empty answer of ask(manager), in list order.
template <typename Ask>
XpString Search(const Ask& ask) {
  for (const XpSharedPtr<XfStringsManager>& manager : XfGetStringsManagers()) {
    if (!manager) {
      continue;
    }
    XpString answer = ask(*manager);
    if (!answer.IsEmpty()) {
      return answer;
    }
  }
  return XpString();
}

}  // namespace

IXfStringsSource::~IXfStringsSource() = default;

void XfSetStringsSource(const XpSharedPtr<IXfStringsSource>& source) {
  XpSharedPtr<IXfStringsSource> previous;
  {
    SourceSlot& slot = Slot();
    std::lock_guard<std::mutex> guard(slot.lock);
    previous = std::exchange(slot.source, source);
  }
  // previous lets go of the old source outside the lock.
}

[[nodiscard]] XpResult XfSetStringsManagers(const XfStringsManagerList& managers) {
  const XpSharedPtr<IXfStringsSource> source(new (std::nothrow) FixedStringsSource(managers));
  XfSetStringsSource(source);
  return source ? kXpOk : kXpErrOutOfMemory;
}

XfStringsManagerList XfGetStringsManagers() {
  const XpSharedPtr<IXfStringsSource> source = CurrentSource();
  if (!source) {
    return {};
  }
  return source->GetStringsManagers();
}

XpString XfGetString(const char16_t* key) {
  return Search([&](const XfStringsManager& manager) { return manager.GetString(key); });
}

XpString XfGetStringItem(const char16_t* key, const char16_t* item) {
  return Search([&](const XfStringsManager& manager) { return manager.GetStringItem(key, item); });
}

XpString XfFormatStringArgs(const char16_t* key, XfFormatArgs args) {
  return Search([&](const XfStringsManager& manager) { return manager.FormatString(key, args); });
}

XpString XfFormatMessageArgs(const char16_t* key, XfFormatArgs args) {
  return Search([&](const XfStringsManager& manager) { return manager.FormatMessage(key, args); });
}

XpString XfGetErrorTextArgs(uint32_t code, XfFormatArgs args) {
  return Search([&](const XfStringsManager& manager) { return manager.GetErrorText(code, args); });
}

XpString XfGetLensName(int32_t number) {
  if ((number & ~kLensNumberMask) != 0) {
    number /= kLensNumberDivisor;
  }
  XpString item;
  (void)item.Format(u"%d", number);  // a number always formats
  return XfGetStringItem(kLensTableKey, item.CStr());
}
