#include "accessor/import/K2ImportRecord.h"

#include <cstring>

#include "accessor/import/K2MakeDCFObjFromImportedObject.h"
#include "camerastore/dcf/K2DCFObj.h"
#include "camerastore/dcf/XpDCFObj.h"
#include "imaging/format/XpFormatChecker.h"
#include "imaging/geometry/XpSize.h"
#include "imaging/io/XpImageIo.h"
#include "imaging/tags/XpGPSInfo.h"
#include "imaging/tags/XpGPSPosition.h"
#include "imaging/tags/XpTiffTagData.h"
#include "imaging/tags/XpTiffTagIds.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "platform/text/XpStringA.h"
#include "platform/value/XpIniElement.h"

namespace {

constexpr double kMinutesPerDegree = 60.0;
constexpr double kSecondsPerDegree = 3600.0;

// The first element of an integer tag value, sign-extended for the signed
// types; false for other types and empty values.
bool FirstInteger(const XpTiffTagDataBase* value, int64_t* out) {
  if (value == nullptr || value->GetCount() == 0 || value->GetData() == nullptr) {
    return false;
  }
  const uint8_t* data = value->GetData();
  switch (value->GetType()) {
    case kXpTiffTypeByte:
      *out = data[0];
      return true;
    case kXpTiffTypeSByte:
      *out = static_cast<int8_t>(data[0]);
      return true;
    case kXpTiffTypeShort: {
      uint16_t number = 0;
      std::memcpy(&number, data, sizeof(number));
      *out = number;
      return true;
    }
    case kXpTiffTypeSShort: {
      int16_t number = 0;
      std::memcpy(&number, data, sizeof(number));
      *out = number;
      return true;
    }
    case kXpTiffTypeLong: {
      uint32_t number = 0;
      std::memcpy(&number, data, sizeof(number));
      *out = number;
      return true;
    }
    case kXpTiffTypeSLong: {
      int32_t number = 0;
      std::memcpy(&number, data, sizeof(number));
      *out = number;
      return true;
    }
    default:
      return false;
  }
}

// The two words of the first element of a rational value, both taken as
// unsigned; false for other types and empty values.
bool FirstRational(const XpTiffTagDataBase* value, uint32_t* numerator, uint32_t* denominator) {
  if (value == nullptr || value->GetCount() == 0 || value->GetData() == nullptr) {
    return false;
  }
  if (value->GetType() != kXpTiffTypeRational && value->GetType() != kXpTiffTypeSRational) {
    return false;
  }
  std::memcpy(numerator, value->GetData(), sizeof(uint32_t));
  std::memcpy(denominator, value->GetData() + sizeof(uint32_t), sizeof(uint32_t));
  return true;
}

// The text of an ASCII value up to its first NUL; false for other types.
bool AsciiText(const XpTiffTagDataBase* value, XpString* out) {
  if (value == nullptr || value->GetType() != kXpTiffTypeAscii || value->GetData() == nullptr) {
    return false;
  }
  const auto* text = reinterpret_cast<const char*>(value->GetData());
  const size_t length = strnlen(text, value->GetCount());
  *out = XpStringA(text, static_cast<int32_t>(length)).ToWide();
  return true;
}

// Degrees of a GPS coordinate from its three rationals, computed in double
// from the unsigned parts. Without seconds their denominator does not
// matter. kUnset when a denominator in use is 0.
double CoordinateDegrees(const XpGPSRational3& coordinate) {
  uint32_t dN = 0;
  uint32_t dD = 0;
  uint32_t mN = 0;
  uint32_t mD = 0;
  uint32_t sN = 0;
  uint32_t sD = 0;
  if (!coordinate.GetParts(dN, dD, mN, mD, sN, sD)) {
    return XpGPSPosition::kUnset;
  }
  if (dD == 0 || mD == 0 || (sN != 0 && sD == 0)) {
    return XpGPSPosition::kUnset;
  }
  double degrees = static_cast<double>(dN) / static_cast<double>(dD) +
                   static_cast<double>(mN) / (static_cast<double>(mD) * kMinutesPerDegree);
  if (sN != 0) {
    degrees += static_cast<double>(sN) / (static_cast<double>(sD) * kSecondsPerDegree);
  }
  return degrees;
}

// The signed coordinate: positive for the positive reference letter,
// negative for the negative one, kUnset for any other or a missing part.
double SignedCoordinate(const XpGPSRef& reference, const XpGPSRational3& coordinate,
                        char16_t positive, char16_t negative) {
  if (!reference.present || !coordinate.present) {
    return XpGPSPosition::kUnset;
  }
  const double degrees = CoordinateDegrees(coordinate);
  if (degrees == XpGPSPosition::kUnset) {
    return XpGPSPosition::kUnset;
  }
  if (reference.value == positive) {
    return degrees;
  }
  if (reference.value == negative) {
    return degrees * -1.0;
  }
  return XpGPSPosition::kUnset;
}

void AddInteger(XpIniElement* dict, const char16_t* key, int64_t number) {
  (void)dict->Add(key, kXpIniTypeInt, number);
}

void AddReal(XpIniElement* dict, const char16_t* key, double number) {
  if (dict->Add(key, kXpIniTypeReal) != kXpOk) {
    return;
  }
  XpIniElement* element = dict->Find(key);
  if (element != nullptr) {
    (void)element->SetReal(number);
  }
}

void AddText(XpIniElement* dict, const char16_t* key, const XpString& text) {
  (void)dict->Add(key, kXpIniTypeString, text);
}

void AddPictureSize(const XpString& path, XpIniElement* content) {
  XpSharedPtr<XpImageIo> reader = XpImageIo::CreateForPath(path);
  if (!reader) {
    return;
  }
  XpSize size;
  if (reader->ReadImageSizeFlag0FromPath(path, &size) != kXpOk) {
    return;
  }
  AddInteger(content, u"ImageWidth", size.cx);
  AddInteger(content, u"ImageHeight", size.cy);
}

void AddTagProperties(const XpTiffTagManager& tags, XpIniElement* content) {
  int64_t number = 0;
  if (FirstInteger(tags.FindTag(kTagIsoSpeed, true), &number)) {
    AddInteger(content, u"ISOSpeedRatings", number);
  }
  uint32_t numerator = 0;
  uint32_t denominator = 0;
  if (tags.GetExposureTime(numerator, denominator) && denominator != 0) {
    AddInteger(content, u"ExposureTimeNumerator", numerator);
    AddInteger(content, u"ExposureTimeDenominator", denominator);
  }
  if (FirstInteger(tags.FindTag(kTagFlash, true), &number)) {
    AddInteger(content, u"Flash", number);
  }
  if (FirstRational(tags.FindTag(kTagFocalLength, true), &numerator, &denominator) &&
      denominator != 0) {
    AddReal(content, u"FocalLength",
            static_cast<double>(numerator) / static_cast<double>(denominator));
  }
  double fNumber = 0.0;
  if (tags.GetFNumber(fNumber)) {
    AddReal(content, u"FNumber", fNumber);
  }
  XpString text;
  if (AsciiText(tags.FindTag(kTagMake, true), &text)) {
    AddText(content, u"Make", text);
  }
  if (AsciiText(tags.FindTag(kTagModel, true), &text)) {
    AddText(content, u"Model", text);
  }
}

void AddGPSProperties(const XpTiffTagManager& tags, XpIniElement* content) {
  const XpTiffTagIFD* gps = tags.GetGPSIFD();
  if (gps == nullptr) {
    return;
  }
  XpGPSInfo info;
  info.LoadFromIFD(*gps);
  const XpGPSPosition position(SignedCoordinate(info.latitudeRef, info.latitude, u'N', u'S'),
                               SignedCoordinate(info.longitudeRef, info.longitude, u'E', u'W'));
  if (!position.IsValid()) {
    return;
  }
  AddReal(content, u"Latitude", position.latitude);
  AddReal(content, u"Longitude", position.longitude);
}

}  // namespace

K2ImportRecord::K2ImportRecord() = default;

K2ImportRecord::~K2ImportRecord() = default;

XpResult K2ImportRecord::Build(const std::vector<K2ImportedObject>& objects,
                               const XpString& destinationFolder) {
  XpResult result = InitHeader(kSourceApp, nullptr);
  if (result != kXpOk) {
    return result;
  }
  result = Add(u"ImportDirPath", kXpIniTypeString, destinationFolder);
  if (result != kXpOk) {
    return result;
  }
  if (Find(u"ContentsGroupList") == nullptr) {
    return kXpErrOutOfMemory;
  }
  XpIniElement* group = AddContentsGroup(kGroupName);
  if (group == nullptr) {
    return kXpErrOutOfMemory;
  }
  XpIniElement* list = group->Find(u"ContentsList");
  if (list == nullptr) {
    return kXpErrOutOfMemory;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    const auto index = static_cast<int32_t>(i);
    result = list->InsertAt(index, kXpIniTypeDict);
    if (result != kXpOk) {
      return result;
    }
    result = AddContent(objects[i], list->GetAt(index));
    if (result != kXpOk) {
      // A half-filled content would name no files; the reader gets the
      // complete ones before it.
      (void)list->RemoveAt(index);
      return result;
    }
  }
  return kXpOk;
}

XpResult K2ImportRecord::AddContent(const K2ImportedObject& object, XpIniElement* content) {
  XpSharedPtr<K2DCFObj> dcfObject = K2MakeDCFObjFromImportedObject(object);
  if (!dcfObject) {
    return kXpErrGeneric;
  }
  if (AddContentProperties(dcfObject, content) != kXpOk) {
    return kXpErrGeneric;
  }
  XpResult result = content->Add(u"Files", kXpIniTypeArray);
  if (result != kXpOk) {
    return result;
  }
  XpIniElement* files = content->Find(u"Files");
  if (files == nullptr) {
    return kXpErrOutOfMemory;
  }
  for (size_t i = 0; i < object.files.size(); ++i) {
    result = files->InsertAt(static_cast<int32_t>(i), kXpIniTypeString, object.files[i]);
    if (result != kXpOk) {
      return result;
    }
  }
  return kXpOk;
}

XpResult K2ImportRecord::AddContentProperties(const XpSharedPtr<K2DCFObj>& object,
                                              XpIniElement* content) {
  if (!object || content == nullptr) {
    return kXpErrBadArgument;
  }
  XpSharedPtr<XpDCFObj> shot = object->GetDCFObj();
  if (!shot) {
    return kXpErrOutOfMemory;
  }
  const auto kind = static_cast<int32_t>(shot->GetFormatKind());
  XpResult result = content->Add(u"ContentType", kXpIniTypeInt, static_cast<int64_t>(kind));
  if (result != kXpOk) {
    return result;
  }
  result = AddDate(content, u"DateTimeOriginal", object->GetDate());
  if (result != kXpOk) {
    return result;
  }
  XpDateTime created;
  XpDateTime modified;
  result = shot->GetTimes(&created, &modified, nullptr);
  if (result != kXpOk) {
    return result;
  }
  XpSharedPtr<XpAbstractFSObj> picture = shot->GetPictureFile();
  if (picture) {
    (void)XpFormatChecker::GetFileDate(picture->GetPath(), modified);
  }
  result = AddDate(content, u"DateTimeCreated", created);
  if (result != kXpOk) {
    return result;
  }
  result = AddDate(content, u"DateTimeModefied", modified);
  if (result != kXpOk) {
    return result;
  }
  const std::vector<int32_t> favourites = object->GetSubList();
  if (!favourites.empty()) {
    result = content->Add(u"FavoriteList", kXpIniTypeArray);
    if (result != kXpOk) {
      return result;
    }
    XpIniElement* list = content->Find(u"FavoriteList");
    if (list == nullptr) {
      return kXpErrOutOfMemory;
    }
    for (size_t i = 0; i < favourites.size(); ++i) {
      result = list->InsertAt(static_cast<int32_t>(i), kXpIniTypeInt, favourites[i]);
      if (result != kXpOk) {
        return result;
      }
    }
  }
  return AddPictureProperties(shot, content);
}

XpResult K2ImportRecord::AddPictureProperties(const XpSharedPtr<XpDCFObj>& object,
                                              XpIniElement* content) {
  if (content == nullptr) {
    return kXpErrBadArgument;
  }
  if (!object) {
    return kXpOk;
  }
  XpSharedPtr<XpAbstractFSObj> picture = object->GetPictureFile();
  if (!picture) {
    return kXpOk;
  }
  const XpString path = picture->GetPath();
  AddPictureSize(path, content);
  XpSharedPtr<XpTiffTagManager> tags = XpImageIoReadTagsForPath(path);
  if (!tags) {
    return kXpOk;
  }
  AddTagProperties(*tags, content);
  AddGPSProperties(*tags, content);
  return kXpOk;
}

XpResult K2ImportRecord::AddDate(XpIniElement* dict, const XpString& key,
                                 const XpDateTime& date) {
  if (dict == nullptr) {
    return kXpErrBadArgument;
  }
  (void)dict->Add(key, kXpIniTypeReal);
  XpIniElement* element = dict->Find(key);
  if (element == nullptr) {
    return kXpErrGeneric;
  }
  return element->SetReal(date.GetValue());
}
