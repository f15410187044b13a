#include "installer-actions/tlvproc/DesktopEntryShortcut.h"

#include <string>
#include <vector>

#include "platform/fs/XpReadWholeFile.h"
#include "platform/text/XpUtf.h"

namespace {

constexpr std::u16string_view kGroupLine = u"[Desktop Entry]";
constexpr std::u16string_view kTypeKey = u"Type";
constexpr std::u16string_view kExecKey = u"Exec";
constexpr std::u16string_view kApplicationType = u"Application";
constexpr std::u16string_view kLinkType = u"Link";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// The units that stand for bytes that are not UTF-8.
constexpr char16_t kEscapedFirst = 0xDC80;
constexpr char16_t kEscapedLast = 0xDCFF;

std::u16string_view Trimmed(std::u16string_view text) {
  const size_t first = text.find_first_not_of(u" \t");
  if (first == std::u16string_view::npos) return {};
  const size_t last = text.find_last_not_of(u" \t");
  return text.substr(first, last - first + 1);
}

bool IsText(std::string_view bytes, std::u16string_view units) {
  if (bytes.find('\0') != std::string_view::npos) return false;
  for (const char16_t unit : units) {
    if (unit >= kEscapedFirst && unit <= kEscapedLast) return false;
  }
  return true;
}

}  // namespace

DesktopEntryShortcut::DesktopEntryShortcut(const XpString& path) : path_(path) {
  std::vector<uint8_t> bytes;
  if (path.IsEmpty() || XpFailed(XpReadWholeFile(path, &bytes))) return;
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
  const std::u16string units = XpUtf8ToUtf16(text);
  if (!IsText(text, units)) return;
  Parse(units);
}

void DesktopEntryShortcut::Parse(std::u16string_view text) {
  bool inGroup = false;
  std::u16string_view type;
  std::u16string_view exec;
  bool haveExec = false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(u'\n', start);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == u'[') {
      inGroup = Trimmed(line) == kGroupLine;
      continue;
    }
    const size_t equals = line.find(u'=');
    if (!inGroup || line.empty() || line.front() == u'#' || equals == std::u16string_view::npos) continue;
    const std::u16string_view key = Trimmed(line.substr(0, equals));
    const std::u16string_view value = Trimmed(line.substr(equals + 1));
    // The first of a repeated key counts.
    if (key == kTypeKey && type.empty()) type = value;
    if (key == kExecKey && !haveExec) {
      exec = value;
      haveExec = true;
    }
  }
  if (type == kApplicationType && !exec.empty()) {
    kind_ = Kind::kApplication;
    exec_ = XpString(exec);
  }
  if (type == kLinkType) kind_ = Kind::kLink;
}

uint32_t DesktopEntryShortcut::ResolveTarget(XpString& target) const {
  if (kind_ != Kind::kApplication) return InstallerCommonFunction::kNotFound;
  target = exec_;
  return 0;
}

uint32_t DesktopEntryShortcut::ReadAddress(InstallerCommonFunction& common, XpString& address) const {
  if (kind_ != Kind::kLink) return InstallerCommonFunction::kNotFound;
  return common.GetKeyValueIni(path_, u"Desktop Entry", u"URL", address, kAddressCapacity);
}
