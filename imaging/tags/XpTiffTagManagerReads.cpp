#include "imaging/tags/XpTiffTagManager.h"

#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <string_view>

#include "imaging/icc/icc_profile.h"
#include "imaging/tags/XpTiffTagFormat.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "platform/memory/XpMemoryFile.h"

namespace {

constexpr uint16_t kColorSpaceUncalibrated = 65535;
constexpr std::string_view kAdobeDescription = "Adobe RGB 1998 (Kavo Corporation)";
constexpr size_t kUniqueIdDigits = 32;
constexpr size_t kHalfDigits = kUniqueIdDigits / 2;
constexpr int kHexBase = 16;

// The first IFD held by the sub-IFD value of tag in ifd, not searched below
// it; null when there is none.
XpTiffTagIFD* FirstIFDOf(const XpTiffTagIFD* ifd, uint16_t tag) {
  if (ifd == nullptr) {
    return nullptr;
  }
  const XpTiffTagDataBase* value = ifd->FindTag(tag, false);
  if (value == nullptr || !value->IsSubIFD()) {
    return nullptr;
  }
  return static_cast<const XpTiffTagDataIFD*>(value)->GetIFD(0);
}

// The first element of a value of the type as two words, when it has one.
template <typename Word>
bool FirstPair(const XpTiffTagDataBase* value, uint16_t type, std::array<Word, 2>& words) {
  if (value == nullptr || value->GetType() != type || value->GetCount() == 0) {
    return false;
  }
  std::memcpy(words.data(), value->GetData(), sizeof words);
  return true;
}

// numerator / denominator of a RATIONAL with a non-zero denominator.
bool RationalQuotient(const XpTiffTagDataBase* value, double& quotient) {
  std::array<uint32_t, 2> words{};
  if (!FirstPair(value, kXpTiffTypeRational, words) || words[1] == 0) {
    return false;
  }
  quotient = static_cast<double>(words[0]) / static_cast<double>(words[1]);
  return true;
}

char FoldAscii(char ch) { return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t index = 0; index < a.size(); ++index) {
    if (FoldAscii(a[index]) != FoldAscii(b[index])) {
      return false;
    }
  }
  return true;
}

bool IsHexDigit(char ch) {
  return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'f') || (ch >= 'A' && ch <= 'F');
}

uint64_t HexNumber(std::string_view digits) {
  uint64_t number = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), number, kHexBase);
  return number;
}

}  // namespace

XpTiffTagIFD* XpTiffTagManager::GetExifIFD() const {
  return FirstIFDOf(GetIFD(0), kXpTiffTagExifIFD);
}

XpTiffTagIFD* XpTiffTagManager::GetGPSIFD() const {
  return FirstIFDOf(GetIFD(0), kXpTiffTagGpsIFD);
}

XpTiffTagIFD* XpTiffTagManager::GetMakerNoteIFD() const {
  return FirstIFDOf(GetExifIFD(), kXpTiffTagMakerNote);
}

XpTiffTagIFD* XpTiffTagManager::GetMakerSubIFD() const {
  return FirstIFDOf(GetMakerNoteIFD(), kXpTiffTagB028IFD);
}

bool XpTiffTagManager::GetExposureTime(uint32_t& numerator, uint32_t& denominator) const {
  const XpTiffTagIFD* exif = GetExifIFD();
  if (exif == nullptr) {
    return false;
  }
  std::array<uint32_t, 2> time{};
  if (FirstPair(exif->FindTag(kTagExposureTime, false), kXpTiffTypeRational, time)) {
    numerator = time[0];
    denominator = time[1];
    return true;
  }
  std::array<int32_t, 2> shutter{};
  if (!FirstPair(exif->FindTag(kTagShutterSpeedValue, false), kXpTiffTypeSRational, shutter) ||
      shutter[1] == 0) {
    return false;
  }
  // Halves round up: 5.5 is 6 and -5.5 is -5.
  const double timeValue = static_cast<double>(shutter[0]) / static_cast<double>(shutter[1]);
  const double index = std::floor(timeValue + 0.5);
  if (index < INT32_MIN || index > INT32_MAX) {
    return false;
  }
  return XpTiffTagApexShutterTime(static_cast<int32_t>(index), numerator, denominator);
}

XpString XpTiffTagManager::GetExposureText() const {
  uint32_t numerator = 0;
  uint32_t denominator = 0;
  if (!GetExposureTime(numerator, denominator)) {
    return XpString();
  }
  return XpTiffTagFormatExposure(numerator, denominator);
}

bool XpTiffTagManager::GetFNumber(double& fNumber) const {
  double quotient = 0.0;
  if (RationalQuotient(FindTag(kTagFNumber, true), quotient)) {
    fNumber = quotient;
    return true;
  }
  if (RationalQuotient(FindTag(kTagApertureValue, true), quotient)) {
    fNumber = std::pow(std::sqrt(2.0), quotient);
    return true;
  }
  return false;
}

XpResult XpTiffTagManager::GetImageUniqueID(uint64_t& first, uint64_t& second) const {
  const XpTiffTagIFD* exif = GetExifIFD();
  if (exif == nullptr) {
    return kXpErrImageTagNotFound;
  }
  const XpStringA text = exif->GetAsciiA(kTagImageUniqueId, false);
  const std::string_view digits = text.View();
  if (digits.size() != kUniqueIdDigits) {
    return kXpErrImageMalformed;
  }
  for (const char ch : digits) {
    if (!IsHexDigit(ch)) {
      return kXpErrImageMalformed;
    }
  }
  first = HexNumber(digits.substr(0, kHalfDigits));
  second = HexNumber(digits.substr(kHalfDigits));
  return kXpOk;
}

bool XpTiffTagManager::IsAdobeRGB() const {
  const XpTiffTagIFD* exif = GetExifIFD();
  const uint16_t colorSpace = exif != nullptr ? exif->GetShort(kTagColorSpace) : 0;
  const bool candidate = colorSpace == kColorSpaceUncalibrated;
  const XpTiffTagIFD* ifd0 = GetIFD(0);
  if (!candidate || ifd0 == nullptr) {
    return candidate;
  }
  XpTiffTagDataBase* embedded = ifd0->FindTag(kTagInterColorProfile, false);
  if (embedded == nullptr) {
    return candidate;
  }
  // Read in place: the file borrows the value's bytes.
  XpMemoryFile file(embedded->GetData(), embedded->GetByteSize(), false);
  icc_profile profile;
  if (profile.Read(file) != kXpOk) {
    return candidate;
  }
  const XpStringA description = profile.GetTag("desc").GetTextDescriptionType().GetText();
  return EqualIgnoringAsciiCase(description.View(), kAdobeDescription);
}

bool XpTiffTagManager::HasMakerNoteMark() const {
  const XpTiffTagIFD* makerNote = GetMakerNoteIFD();
  return makerNote != nullptr && makerNote->GetUndefinedByte(kTagMakerNoteMark, true) != 0;
}
