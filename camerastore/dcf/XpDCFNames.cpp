#include "camerastore/dcf/XpDCFNames.h"

#include <array>
#include <new>
#include <string_view>

#include "camerastore/dcf/XpDCFRootDir.h"
#include "platform/fs/XpDir.h"
#include "platform/fs/XpDirectoryOperations.h"
#include "platform/fs/XpPathQueries.h"
#include "platform/path/XpPath.h"

namespace {

constexpr size_t kNameLength = 8;
constexpr size_t kFolderDigitsStart = 0;
constexpr size_t kFolderDigitCount = 3;
constexpr size_t kFileDigitsStart = 4;
constexpr size_t kFileDigitCount = 4;
constexpr std::u16string_view kNoFileNumber = u"0000";

constexpr std::array<const char16_t*, 3> kRootNames = {u"DCIM", u"MP_ROOT", u"VELDRA"};

bool IsDigit(char16_t ch) { return ch >= u'0' && ch <= u'9'; }

bool IsNameChar(char16_t ch) {
  return IsDigit(ch) || (ch >= u'a' && ch <= u'z') || (ch >= u'A' && ch <= u'Z') || ch == u'_';
}

bool AreDigits(std::u16string_view name, size_t start, size_t count) {
  for (size_t i = start; i < start + count; ++i) {
    if (!IsDigit(name[i])) {
      return false;
    }
  }
  return true;
}

bool AreNameChars(std::u16string_view name) {
  for (const char16_t ch : name) {
    if (!IsNameChar(ch)) {
      return false;
    }
  }
  return true;
}

// The count characters from start read as decimal digits (code minus '0'),
// untested; kXpDCFNoNumber when the name ends before them.
int32_t ReadNumber(std::u16string_view name, size_t start, size_t count) {
  if (name.size() < start + count) {
    return kXpDCFNoNumber;
  }
  int32_t number = 0;
  for (size_t i = start; i < start + count; ++i) {
    number = number * 10 + (static_cast<int32_t>(name[i]) - u'0');
  }
  return number;
}

XpSharedPtr<XpDCFRootDir> GetRoot(const XpString& volumePath, XpDCFRootKind kind, bool create) {
  XpDir volume(volumePath);
  XpSharedPtr<XpDCFRootDir> root = XpDCFOpenRootDir(&volume, kind);
  if (!root && create) {
    // A failure shows as the empty result of the second open.
    (void)XpCreateDirectoryTree(XpDCFGetRootPath(volumePath, kind));
    root = XpDCFOpenRootDir(&volume, kind);
  }
  (void)volume.EndEnum();  // already ended by the open
  return root;
}

}  // namespace

bool XpDCFIsDirectoryName(const XpString& name) {
  const std::u16string_view text = name.View();
  return text.size() == kNameLength && AreNameChars(text) && text[0] >= u'1' && text[0] <= u'9' &&
         AreDigits(text, kFolderDigitsStart + 1, kFolderDigitCount - 1);
}

bool XpDCFIsFileName(const XpString& baseName) {
  const std::u16string_view text = baseName.View();
  return text.size() == kNameLength && AreNameChars(text) &&
         AreDigits(text, kFileDigitsStart, kFileDigitCount) &&
         text.substr(kFileDigitsStart, kFileDigitCount) != kNoFileNumber;
}

int32_t XpDCFGetDirectoryNumber(const XpString& name) {
  return ReadNumber(name.View(), kFolderDigitsStart, kFolderDigitCount);
}

int32_t XpDCFGetFileNumber(const XpString& baseName) {
  return ReadNumber(baseName.View(), kFileDigitsStart, kFileDigitCount);
}

XpString XpDCFGetRootName(XpDCFRootKind kind) {
  if (kind < 0 || static_cast<size_t>(kind) >= kRootNames.size()) {
    return XpString();
  }
  return XpString(kRootNames[static_cast<size_t>(kind)]);
}

XpString XpDCFGetRootPath(const XpString& volumePath, XpDCFRootKind kind) {
  return XpPathJoin(volumePath, XpDCFGetRootName(kind));
}

bool XpDCFHasRootFolder(const XpString& volumePath) {
  for (const XpDCFRootKind kind : {kXpDCFRootImage, kXpDCFRootMovie, kXpDCFRootMaker}) {
    if (XpDirectoryExists(XpDCFGetRootPath(volumePath, kind))) {
      return true;
    }
  }
  return false;
}

XpSharedPtr<XpDCFRootDir> XpDCFOpenRootDir(XpAbstractDir* parent, XpDCFRootKind kind) {
  if (parent == nullptr) {
    return XpSharedPtr<XpDCFRootDir>();
  }
  if (parent->BeginEnum(kXpEnumDirectories | kXpEnumNameEquals, XpDCFGetRootName(kind)) != kXpOk) {
    return XpSharedPtr<XpDCFRootDir>();
  }
  XpSharedPtr<XpDCFRootDir> root;
  XpSharedPtr<XpAbstractFSObj> entry = parent->GetNext();
  if (entry) {
    root = XpSharedPtr<XpDCFRootDir>(new (std::nothrow) XpDCFRootDir(entry));
  }
  (void)parent->EndEnum();  // it ran: nothing to report
  return root;
}

XpSharedPtr<XpDCFRootDir> XpDCFGetImageRoot(const XpString& volumePath, bool create) {
  return GetRoot(volumePath, kXpDCFRootImage, create);
}

XpSharedPtr<XpDCFRootDir> XpDCFGetMovieRoot(const XpString& volumePath, bool create) {
  return GetRoot(volumePath, kXpDCFRootMovie, create);
}
