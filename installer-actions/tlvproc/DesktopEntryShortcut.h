#pragma once

#include <cstdint>

#include "installer-actions/common/InstallerCommonFunction.h"
#include "platform/text/XpString.h"

// A shortcut on the desktop or in the start menu: a desktop-entry file whose
// group "Desktop Entry" names its Type. An application entry points at the
// command of its Exec key, taken as it stands; a link entry at the address of
// its URL key. A file that is neither, or is not UTF-8 text, points nowhere.
class DesktopEntryShortcut {
 public:
  static constexpr const char16_t* kPattern = u"*.desktop";
  static constexpr uint32_t kAddressCapacity = 522;

  enum class Kind { kNone, kApplication, kLink };

  explicit DesktopEntryShortcut(const XpString& path);

  Kind GetKind() const { return kind_; }

  // 0 with the Exec value of an application entry, else kNotFound.
  uint32_t ResolveTarget(XpString& target) const;
  // 0 with the address of a link entry (read as the settings file's URL
  // value of the group), else kNotFound.
  uint32_t ReadAddress(InstallerCommonFunction& common, XpString& address) const;

 private:
  void Parse(std::u16string_view text);

  XpString path_;
  Kind kind_ = Kind::kNone;
  XpString exec_;
};
