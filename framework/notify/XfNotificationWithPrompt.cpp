#include "framework/notify/XfNotificationWithPrompt.h"

#include <mutex>
#include <utility>

#include "framework/app/XfAppRegistry.h"
#include "framework/strings/XfStringLookup.h"

namespace {

constexpr uint32_t kInitialStyle = 1;
constexpr const char16_t* kApplicationNameKey = u"Strings/ApplicationName";
constexpr const char16_t* kCheckFlagsKey = u"CheckFlags";

}  // namespace

XfNotificationWithPrompt::XfNotificationWithPrompt(XpSharedPtr<XfObject> subject,
                                                   XpSharedPtr<XfObject> target, uint32_t code,
                                                   XpSharedPtr<XfObject> payload)
    : XfNotification(std::move(subject), std::move(target), code, std::move(payload), true,
                     false),
      style_(kInitialStyle),
      caption_(XfGetString(kApplicationNameKey)) {}

XfNotificationWithPrompt::~XfNotificationWithPrompt() = default;

XpString XfNotificationWithPrompt::GetCaption() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return caption_;
}

void XfNotificationWithPrompt::SetCaption(const XpString& caption) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  caption_ = caption;
}

XpString XfNotificationWithPrompt::GetMessage() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return message_;
}

void XfNotificationWithPrompt::SetMessage(const XpString& message) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  message_ = message;
}

XpString XfNotificationWithPrompt::GetDetail() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return detail_;
}

void XfNotificationWithPrompt::SetDetail(const XpString& detail) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  detail_ = detail;
}

XpString XfNotificationWithPrompt::GetCheckFlagName() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return checkFlagName_;
}

void XfNotificationWithPrompt::SetCheckFlagName(const XpString& name) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  checkFlagName_ = name;
}

uint32_t XfNotificationWithPrompt::GetPromptStyle() const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  return style_;
}

void XfNotificationWithPrompt::SetPromptStyle(uint32_t style) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  style_ = (style_ & kKeptStyleMask) | (style & ~kKeptStyleMask);
}

void XfNotificationWithPrompt::AddStyleBits(uint32_t bits) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  style_ |= bits;
}

XpString XfNotificationWithPrompt::GetItem(const XpString& key) const {
  std::lock_guard<XpCriticalSection> hold(lock_);
  const auto found = items_.find(key);
  return found == items_.end() ? XpString() : found->second;
}

void XfNotificationWithPrompt::SetItem(const XpString& key, const XpString& value) {
  std::lock_guard<XpCriticalSection> hold(lock_);
  items_[key] = value;
}

bool XfNotificationWithPrompt::GetCheckFlag() const {
  const XpString name = GetCheckFlagName();
  if (name.IsEmpty()) {
    return false;
  }
  const XfRegistryKey key = XfOpenAppRegistrySubKeyForRead(kCheckFlagsKey);
  bool value = false;
  XfRegistryReadBool(key.get(), name, value);
  return value;
}

XpResult XfNotificationWithPrompt::SetCheckFlag(bool value) {
  const XpString name = GetCheckFlagName();
  if (name.IsEmpty()) {
    return kXpOk;
  }
  const XfRegistryKey key = XfOpenAppRegistrySubKey(kCheckFlagsKey);
  if (!key) {
    return kXpErrGeneric;
  }
  return key->SetBool(name, value);
}

XfNotificationError::XfNotificationError(XpSharedPtr<XfObject> subject,
                                         XpSharedPtr<XfObject> target, uint32_t code,
                                         XpSharedPtr<XfObject> payload)
    : XfNotificationWithPrompt(std::move(subject), std::move(target), code, std::move(payload)) {
  AddStyleBits(kErrorStyleBits);
}
