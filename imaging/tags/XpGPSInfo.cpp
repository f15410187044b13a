#include "imaging/tags/XpGPSInfo.h"

#include <algorithm>
#include <cstring>

#include "imaging/tags/XpTiffTagData.h"
#include "imaging/tags/XpTiffTagIFD.h"

namespace {

constexpr uint64_t kRationalBytes = 8;
constexpr uint64_t kShortBytes = 2;
constexpr uint32_t kRefAsciiCount = 2;
constexpr uint32_t kRationalsOfThree = 3;

const uint8_t* DataOf(const XpTiffTagDataBase& value) { return value.GetData(); }

// The text of a value up to its NUL, never past its bytes.
XpStringA TextOf(const XpTiffTagDataBase& value) {
  const auto* text = reinterpret_cast<const char*>(DataOf(value));
  const uint64_t limit = value.GetByteSize();
  const auto* end = std::find(text, text + limit, '\0');
  return XpStringA(text, static_cast<int32_t>(end - text));
}

// The first byte as a signed character, widened.
char16_t RefCharacterOf(const XpTiffTagDataBase& value) {
  const auto first = static_cast<signed char>(DataOf(value)[0]);
  return static_cast<char16_t>(static_cast<int16_t>(first));
}

void Load(XpGPSVer& element, const XpTiffTagDataBase& value) {
  if (value.GetByteSize() < XpGPSVer::kBytes) {
    return;
  }
  std::memcpy(element.value, DataOf(value), XpGPSVer::kBytes);
  element.present = true;
}

void Load(XpGPSRef& element, const XpTiffTagDataBase& value) {
  if (value.GetCount() == 0 || value.GetByteSize() == 0) {
    return;
  }
  element.value = RefCharacterOf(value);
  element.present = true;
}

void Load(XpGPSRational3& element, const XpTiffTagDataBase& value) {
  if (value.GetCount() < kRationalsOfThree ||
      value.GetByteSize() < sizeof element.numbers) {
    return;
  }
  std::memcpy(element.numbers, DataOf(value), sizeof element.numbers);
  element.present = true;
}

void Load(XpGPSRational& element, const XpTiffTagDataBase& value) {
  if (value.GetCount() == 0 || value.GetByteSize() < kRationalBytes) {
    return;
  }
  uint32_t words[2] = {};
  std::memcpy(words, DataOf(value), sizeof words);
  element.numerator = words[0];
  element.denominator = words[1];
  element.present = true;
}

void Load(XpGPSAnyString& element, const XpTiffTagDataBase& value) {
  element.value = TextOf(value);
  element.present = true;
}

void Load(XpGPSUndef& element, const XpTiffTagDataBase& value) {
  uint64_t done = 0;
  if (XpFailed(element.bytes.Write(DataOf(value), value.GetByteSize(), &done)) ||
      done != value.GetByteSize()) {
    element.Reset();
    return;
  }
  element.present = true;
}

void Load(XpGPSDateStamp& element, const XpTiffTagDataBase& value) {
  const auto* text = reinterpret_cast<const char*>(DataOf(value));
  const uint64_t limit = std::min<uint64_t>(value.GetByteSize(), XpGPSDateStamp::kMaxCharacters);
  const auto length = static_cast<size_t>(std::find(text, text + limit, '\0') - text);
  std::memset(element.value, 0, sizeof element.value);
  std::memcpy(element.value, text, length);
  element.present = true;
}

void Load(XpGPSShort& element, const XpTiffTagDataBase& value) {
  if (value.GetCount() == 0 || value.GetByteSize() < kShortBytes) {
    return;
  }
  std::memcpy(&element.value, DataOf(value), sizeof element.value);
  element.present = true;
}

// GPSAltitudeRef is there whenever its tag is; only a BYTE value gives it a
// value other than 0.
void LoadAltitudeRef(XpGPSRef& element, const XpTiffTagDataBase& value) {
  element.value = 0;
  if (value.GetType() == kXpTiffTypeByte && value.GetCount() != 0) {
    element.value = RefCharacterOf(value);
  }
  element.present = true;
}

template <typename Element>
void LoadTag(const XpTiffTagIFD& ifd, uint16_t tag, Element& element) {
  const XpTiffTagDataBase* value = ifd.FindTag(tag, false);
  if (value != nullptr) {
    Load(element, *value);
  }
}

// A value of type T with count elements filled from bytes, put into ifd.
template <typename T>
bool PutBytes(XpTiffTagIFD& ifd, uint16_t tag, uint32_t count, const void* bytes) {
  XpTiffTagData<T>* value = XpTiffTagData<T>::Create(tag, count);
  if (value == nullptr) {
    return false;
  }
  std::memcpy(value->GetData(), bytes, value->GetByteSize());
  return ifd.SetEntry(value) >= 0;
}

// Each Put leaves an absent element out and answers false when the value
// could not be made.
bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSVer& element) {
  return !element.present ||
         PutBytes<XpTiffTagTypeByte>(ifd, tag, XpGPSVer::kBytes, element.value);
}

bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSRef& element) {
  const char text[kRefAsciiCount] = {static_cast<char>(element.value & 0xFF), '\0'};
  return !element.present || ifd.SetAscii(tag, text, kRefAsciiCount) >= 0;
}

bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSRational3& element) {
  return !element.present ||
         PutBytes<XpTiffTagTypeRational>(ifd, tag, kRationalsOfThree, element.numbers);
}

bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSRational& element) {
  return !element.present || ifd.SetRational(tag, element.numerator, element.denominator) >= 0;
}

bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSAnyString& element) {
  return !element.present || ifd.SetAscii(tag, element.value.CStr()) >= 0;
}

bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSUndef& element) {
  const auto count = static_cast<uint32_t>(element.GetByteCount());
  return !element.present || ifd.SetUndefined(tag, element.GetBytes(), count) >= 0;
}

bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSDateStamp& element) {
  return !element.present || ifd.SetAscii(tag, element.value) >= 0;
}

bool Put(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSShort& element) {
  return !element.present || ifd.SetShort(tag, element.value) >= 0;
}

// GPSAltitudeRef is written as a BYTE.
bool PutAltitudeRef(XpTiffTagIFD& ifd, uint16_t tag, const XpGPSRef& element) {
  return !element.present || ifd.SetByte(tag, static_cast<uint8_t>(element.value & 0xFF)) >= 0;
}

}  // namespace

XpGPSElement::~XpGPSElement() = default;

void XpGPSElement::Reset() { present = false; }

bool XpGPSRational3::GetParts(uint32_t& firstNumerator, uint32_t& firstDenominator,
                              uint32_t& secondNumerator, uint32_t& secondDenominator,
                              uint32_t& thirdNumerator, uint32_t& thirdDenominator) const {
  if (!present) {
    return false;
  }
  firstNumerator = numbers[0];
  firstDenominator = numbers[1];
  secondNumerator = numbers[2];
  secondDenominator = numbers[3];
  thirdNumerator = numbers[4];
  thirdDenominator = numbers[5];
  return true;
}

void XpGPSAnyString::Reset() {
  XpGPSElement::Reset();
  value = XpStringA();
}

void XpGPSUndef::Reset() {
  XpGPSElement::Reset();
  static_cast<void>(bytes.Detach());
}

std::array<XpGPSElement*, XpGPSInfo::kTagCount> XpGPSInfo::Elements() {
  return {&version,         &latitudeRef,      &latitude,        &longitudeRef,
          &longitude,       &altitudeRef,      &altitude,        &timeStamp,
          &satellites,      &status,           &measureMode,     &dop,
          &speedRef,        &speed,            &trackRef,        &track,
          &imgDirectionRef, &imgDirection,     &mapDatum,        &destLatitudeRef,
          &destLatitude,    &destLongitudeRef, &destLongitude,   &destBearingRef,
          &destBearing,     &destDistanceRef,  &destDistance,    &processingMethod,
          &areaInformation, &dateStamp,        &differential};
}

void XpGPSInfo::Reset() {
  for (XpGPSElement* element : Elements()) {
    element->Reset();
  }
}

void XpGPSInfo::LoadFromIFD(const XpTiffTagIFD& ifd) {
  Reset();
  LoadTag(ifd, 0, version);
  LoadTag(ifd, 1, latitudeRef);
  LoadTag(ifd, 2, latitude);
  LoadTag(ifd, 3, longitudeRef);
  LoadTag(ifd, 4, longitude);
  if (const XpTiffTagDataBase* value = ifd.FindTag(5, false); value != nullptr) {
    LoadAltitudeRef(altitudeRef, *value);
  }
  LoadTag(ifd, 6, altitude);
  LoadTag(ifd, 7, timeStamp);
  LoadTag(ifd, 8, satellites);
  LoadTag(ifd, 9, status);
  LoadTag(ifd, 10, measureMode);
  LoadTag(ifd, 11, dop);
  LoadTag(ifd, 12, speedRef);
  LoadTag(ifd, 13, speed);
  LoadTag(ifd, 14, trackRef);
  LoadTag(ifd, 15, track);
  LoadTag(ifd, 16, imgDirectionRef);
  LoadTag(ifd, 17, imgDirection);
  LoadTag(ifd, 18, mapDatum);
  LoadTag(ifd, 19, destLatitudeRef);
  LoadTag(ifd, 20, destLatitude);
  LoadTag(ifd, 21, destLongitudeRef);
  LoadTag(ifd, 22, destLongitude);
  LoadTag(ifd, 23, destBearingRef);
  LoadTag(ifd, 24, destBearing);
  LoadTag(ifd, 25, destDistanceRef);
  LoadTag(ifd, 26, destDistance);
  LoadTag(ifd, 27, processingMethod);
  LoadTag(ifd, 28, areaInformation);
  LoadTag(ifd, 29, dateStamp);
  LoadTag(ifd, 30, differential);
}

XpResult XpGPSInfo::WriteToIFD(XpTiffTagIFD& ifd) const {
  // The version first, then the references and single rationals, then the
  // larger values; the first value that cannot be made ends the write.
  const bool written =
      Put(ifd, 0, version) && PutAltitudeRef(ifd, 5, altitudeRef) &&
      Put(ifd, 1, latitudeRef) && Put(ifd, 3, longitudeRef) && Put(ifd, 9, status) &&
      Put(ifd, 10, measureMode) && Put(ifd, 12, speedRef) && Put(ifd, 14, trackRef) &&
      Put(ifd, 16, imgDirectionRef) && Put(ifd, 19, destLatitudeRef) &&
      Put(ifd, 21, destLongitudeRef) && Put(ifd, 23, destBearingRef) &&
      Put(ifd, 25, destDistanceRef) && Put(ifd, 6, altitude) && Put(ifd, 11, dop) &&
      Put(ifd, 13, speed) && Put(ifd, 15, track) && Put(ifd, 17, imgDirection) &&
      Put(ifd, 24, destBearing) && Put(ifd, 26, destDistance) && Put(ifd, 2, latitude) &&
      Put(ifd, 4, longitude) && Put(ifd, 7, timeStamp) && Put(ifd, 20, destLatitude) &&
      Put(ifd, 22, destLongitude) && Put(ifd, 8, satellites) && Put(ifd, 18, mapDatum) &&
      Put(ifd, 27, processingMethod) && Put(ifd, 28, areaInformation) &&
      Put(ifd, 29, dateStamp) && Put(ifd, 30, differential);
  return written ? kXpOk : kXpErrOutOfMemory;
}
