#pragma once

#include <cstdint>
#include <map>

#include "framework/notify/XfNotification.h"
#include "platform/sync/XpCriticalSection.h"
#include "platform/text/XpString.h"

// A question or message for the user; it always waits for a reply. The
// caption is the application's name at construction. A check flag is the
// registry value behind a "do not ask again" box, kept under "CheckFlags" of
// the application's registry root; an empty name means the prompt has none.
// Every text may be set and read from any thread.
class XfNotificationWithPrompt : public XfNotification {
 public:
  // The style bits that a style change keeps.
  static constexpr uint32_t kKeptStyleMask = 0xF000;

  XfNotificationWithPrompt(XpSharedPtr<XfObject> subject, XpSharedPtr<XfObject> target,
                           uint32_t code, XpSharedPtr<XfObject> payload);
  ~XfNotificationWithPrompt() override;

  XpString GetCaption() const;
  void SetCaption(const XpString& caption);
  XpString GetMessage() const;
  void SetMessage(const XpString& message);
  XpString GetDetail() const;
  void SetDetail(const XpString& detail);
  XpString GetCheckFlagName() const;
  void SetCheckFlagName(const XpString& name);

  uint32_t GetPromptStyle() const;
  // Takes every bit from style except those of kKeptStyleMask, which stay.
  void SetPromptStyle(uint32_t style);

  // A named item's text; empty when there is none.
  XpString GetItem(const XpString& key) const;
  void SetItem(const XpString& key, const XpString& value);

  // The stored flag; false without a name, a value or a registry root.
  bool GetCheckFlag() const;
  // Stores the flag as a DWORD 0/1; does nothing (kXpOk) without a name.
  // kXpErrGeneric when the key cannot be opened or written.
  [[nodiscard]] XpResult SetCheckFlag(bool value);

 protected:
  // For subclasses' constructors: adds bits to the style as it stands.
  void AddStyleBits(uint32_t bits);

 private:
  mutable XpCriticalSection lock_;
  uint32_t style_;
  XpString caption_;
  XpString message_;
  XpString detail_;
  XpString checkFlagName_;
  std::map<XpString, XpString> items_;
};

// An error for the user: a prompt whose style carries kErrorStyleBits.
class XfNotificationError : public XfNotificationWithPrompt {
 public:
  static constexpr uint32_t kErrorStyleBits = 0x3000;

  XfNotificationError(XpSharedPtr<XfObject> subject, XpSharedPtr<XfObject> target, uint32_t code,
                      XpSharedPtr<XfObject> payload);

  XfNotificationKind GetKind() const override { return kXfKindError; }
};
