#pragma once

#include <vector>

#include "accessor/import/K2ImportedObject.h"
#include "framework/suite/SfContentInfoXML.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

class K2DCFObj;
class XpDCFObj;
class XpIniElement;

// The import record: a content-info document that lists every imported
// object with the paths of its copies, its dates, its favourite numbers and
// the main properties of its picture, for the suite's browser to show.
//
// Root: "XMLFileType", "SourceApp" ("Accessor/K2"), "ImportDirPath" and a
// "ContentsGroupList" with the one group "ImportedDCFObjects". Each content
// is added with, in this order: "ContentType" (integer), "DateTimeOriginal",
// "DateTimeCreated", "DateTimeModefied" (day-count reals), "FavoriteList"
// (integers), "ImageWidth", "ImageHeight", "ISOSpeedRatings",
// "ExposureTimeNumerator", "ExposureTimeDenominator", "Flash" (integers),
// "FocalLength", "FNumber" (reals), "Make", "Model" (strings), "Latitude",
// "Longitude" (reals) and "Files" (strings); keys without a value are left
// out. The file lists a dictionary's keys in the dictionary's own order.
// SaveToFile is that of the value tree (temporary file, flush, rename).
class K2ImportRecord : public SfContentInfoXML {
 public:
  static constexpr const char16_t* kSourceApp = u"Accessor/K2";
  static constexpr const char16_t* kGroupName = u"ImportedDCFObjects";

  K2ImportRecord();
  ~K2ImportRecord() override;

  // The header, the group and one content per object in list order. The
  // first content that fails ends the build with its error (kXpErrGeneric
  // when its file times cannot be read) and is taken out again; the
  // contents before it stay, so the caller saves what the record holds
  // whatever this returned.
  [[nodiscard]] XpResult Build(const std::vector<K2ImportedObject>& objects,
                               const XpString& destinationFolder);

  // The properties of the object and then its "Files"; kXpErrGeneric when
  // the object cannot be built or its properties fail.
  [[nodiscard]] XpResult AddContent(const K2ImportedObject& object, XpIniElement* content);
  // Type, dates, favourites and picture properties. kXpErrBadArgument for a
  // null object or content; the error of reading the file times when they
  // cannot be read (both file dates are then missing).
  [[nodiscard]] XpResult AddContentProperties(const XpSharedPtr<K2DCFObj>& object,
                                              XpIniElement* content);
  // Size, Exif and GPS keys of the object's picture file; nothing without
  // one. kXpErrBadArgument for a null content, else kXpOk whatever could be
  // read or added.
  [[nodiscard]] XpResult AddPictureProperties(const XpSharedPtr<XpDCFObj>& object,
                                              XpIniElement* content);
  // key as the day count of date (days since 1899-12-30).
  [[nodiscard]] XpResult AddDate(XpIniElement* dict, const XpString& key,
                                 const XpDateTime& date);
};
