#include "imaging/tags/XpGPSInfo.h"

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/tags/XpGPSPosition.h"
#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using XpGPSInfo_ = ::XpGPSInfo;

constexpr uint16_t kByte = 1;
constexpr uint16_t kAscii = 2;
constexpr uint16_t kShort = 3;
constexpr uint16_t kRational = 5;
constexpr uint16_t kUndefined = 7;
constexpr uint16_t kGpsIFDTag = 34853;

// A value of any type, its first bytes copied from data.
void PutValue(XpTiffTagIFD& ifd, uint16_t tag, uint16_t type, uint32_t count,
              const std::vector<uint8_t>& data) {
  XpTiffTagDataBase* value = XpTiffTagDataCreate(type, tag, count);
  ASSERT_NE(value, nullptr);
  std::memcpy(value->GetData(), data.data(), std::min<uint64_t>(data.size(), value->GetByteSize()));
  ifd.SetEntry(value);
}

void PutRationals(XpTiffTagIFD& ifd, uint16_t tag, const std::vector<uint32_t>& words) {
  std::vector<uint8_t> data(words.size() * sizeof(uint32_t));
  std::memcpy(data.data(), words.data(), data.size());
  PutValue(ifd, tag, kRational, static_cast<uint32_t>(words.size() / 2), data);
}

// The tree IFD 0 (+ the GPS IFD when given) written in the byte order and
// parsed again.
std::unique_ptr<XpTiffTagManager> Reparsed(std::unique_ptr<XpTiffTagIFD> gps, bool bigEndian) {
  XpTiffTagManager tags;
  EXPECT_TRUE(tags.Reset());
  tags.SetByteOrder(bigEndian ? kXpByteOrderBigEndian : kXpByteOrderLittleEndian);
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(271, "KAVO");
  if (gps != nullptr) {
    XpTiffTagDataIFD* pointer = XpTiffTagDataIFD::Create(kGpsIFDTag, 0);
    pointer->AddIFD(gps.release());
    ifd0->SetEntry(pointer);
  }
  tags.GetRoot()->AddIFD(ifd0);
  return ParsedBytes(WrittenBytes(tags));
}

// Every element of the record as text, absent ones as "~".
std::string Describe(const XpGPSInfo_& info) {
  std::string text;
  const auto flag = [&](const XpGPSElement& element) {
    text += element.present ? "" : "~";
    return element.present;
  };
  const auto ref = [&](const XpGPSRef& element) {
    if (flag(element)) text += std::to_string(static_cast<int>(element.value));
    text += "|";
  };
  const auto rational = [&](const XpGPSRational& element) {
    if (flag(element)) {
      text += std::to_string(element.numerator) + "/" + std::to_string(element.denominator);
    }
    text += "|";
  };
  const auto rational3 = [&](const XpGPSRational3& element) {
    if (flag(element)) {
      for (uint32_t number : element.numbers) text += std::to_string(number) + " ";
    }
    text += "|";
  };
  const auto string = [&](const XpGPSAnyString& element) {
    if (flag(element)) text += std::string("\"") + element.value.CStr() + "\"";
    text += "|";
  };
  const auto undef = [&](const XpGPSUndef& element) {
    if (flag(element)) text += "[" + HexOf(element.GetBytes(), element.GetByteCount()) + "]";
    text += "|";
  };
  if (flag(info.version)) text += HexOf(info.version.value, 4);
  text += "|";
  ref(info.latitudeRef);
  rational3(info.latitude);
  ref(info.longitudeRef);
  rational3(info.longitude);
  ref(info.altitudeRef);
  rational(info.altitude);
  rational3(info.timeStamp);
  string(info.satellites);
  ref(info.status);
  ref(info.measureMode);
  rational(info.dop);
  ref(info.speedRef);
  rational(info.speed);
  ref(info.trackRef);
  rational(info.track);
  ref(info.imgDirectionRef);
  rational(info.imgDirection);
  string(info.mapDatum);
  ref(info.destLatitudeRef);
  rational3(info.destLatitude);
  ref(info.destLongitudeRef);
  rational3(info.destLongitude);
  ref(info.destBearingRef);
  rational(info.destBearing);
  ref(info.destDistanceRef);
  rational(info.destDistance);
  undef(info.processingMethod);
  undef(info.areaInformation);
  if (flag(info.dateStamp)) text += std::string("\"") + info.dateStamp.value + "\"";
  text += "|";
  if (flag(info.differential)) text += std::to_string(info.differential.value);
  return text;
}

using GPSTest = testsupport::HermeticTest;

// Runs body for a little-endian and a big-endian block.
void ForEachByteOrder(const std::function<void(bool)>& body) {
  for (const bool bigEndian : {false, true}) {
    SCOPED_TRACE(bigEndian ? "Motorola" : "Intel");
    body(bigEndian);
  }
}

using XpGPSInfo = GPSTest;
using XpGPSPosition = GPSTest;

// --- GetGPSPosition ---------------------------------------------------------

struct PositionCase {
  const char* name;
  // Fills the GPS IFD; null: no GPS IFD at all.
  std::function<void(XpTiffTagIFD&)> fill;
  bool found;
  double latitude;
  double longitude;
};

void Tokyo(XpTiffTagIFD& gps, const char* latitudeRef, const char* longitudeRef) {
  gps.SetAscii(1, latitudeRef);
  PutRationals(gps, 2, {35, 1, 39, 1, 2940, 100});
  gps.SetAscii(3, longitudeRef);
  PutRationals(gps, 4, {139, 1, 44, 1, 3000, 100});
}

TEST_F(XpGPSPosition, ComesFromTheReferencesAndThreeRationals) {
  ForEachByteOrder([&](bool bigEndian) {
    const double latitude = 35.0 + 39.0 / 60.0 + 29.4 / 3600.0;
    const double longitude = 139.0 + 44.0 / 60.0 + 30.0 / 3600.0;
    const PositionCase cases[] = {
        {"north east", [](XpTiffTagIFD& gps) { Tokyo(gps, "N", "E"); }, true, latitude, longitude},
        {"south west", [](XpTiffTagIFD& gps) { Tokyo(gps, "S", "W"); }, true, -latitude,
         -longitude},
        {"lower-case reference", [](XpTiffTagIFD& gps) { Tokyo(gps, "n", "E"); }, false, 0, 0},
        {"latitude of two rationals",
         [](XpTiffTagIFD& gps) {
           Tokyo(gps, "N", "E");
           PutRationals(gps, 2, {35, 1, 39, 1});
         },
         false, 0, 0},
        {"minutes denominator 0",
         [](XpTiffTagIFD& gps) {
           Tokyo(gps, "N", "E");
           PutRationals(gps, 2, {35, 1, 39, 0, 2940, 100});
         },
         false, 0, 0},
        {"no longitude",
         [](XpTiffTagIFD& gps) {
           gps.SetAscii(1, "N");
           PutRationals(gps, 2, {35, 1, 39, 1, 2940, 100});
         },
         false, 0, 0},
        {"no GPS IFD", nullptr, false, 0, 0},
        {"latitude as three bytes",
         [](XpTiffTagIFD& gps) {
           Tokyo(gps, "N", "E");
           PutValue(gps, 2, kByte, 3, {35, 39, 29});
         },
         false, 0, 0},
    };
    for (const PositionCase& row : cases) {
      SCOPED_TRACE(row.name);
      std::unique_ptr<XpTiffTagIFD> gps;
      if (row.fill) {
        gps = std::make_unique<XpTiffTagIFD>();
        row.fill(*gps);
      }
      const std::unique_ptr<XpTiffTagManager> tags = Reparsed(std::move(gps), bigEndian);
      ::XpGPSPosition position(1.0, 2.0);
      EXPECT_EQ(tags->GetGPSPosition(position), row.found);
      if (row.found) {
        EXPECT_NEAR(position.latitude, row.latitude, 1e-9);
        EXPECT_NEAR(position.longitude, row.longitude, 1e-9);
      } else {
        EXPECT_EQ(position, ::XpGPSPosition(1.0, 2.0));
      }
    }
  });
}

TEST_F(XpGPSPosition, DegreesAreUnsetForAZeroDenominatorAndSignedByTheFlag) {
  EXPECT_EQ(XpGPSDegrees(true, 1, 0, 0, 1, 0, 1), 1000.0);
  EXPECT_EQ(XpGPSDegrees(true, 1, 1, 0, 1, 0, 0), 1000.0);
  EXPECT_EQ(XpGPSDegrees(false, 10, 1, 30, 1, 0, 1), -10.5);
  // Numbers are unsigned 32-bit: 0xFFFFFFFF is not -1.
  EXPECT_EQ(XpGPSDegrees(true, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 1, 0, 1), 1.0);
  EXPECT_NEAR(XpGPSDegrees(true, 0, 1, 0xFFFFFFFFu, 1, 0, 1), 4294967295.0 / 60.0, 1e-6);
}

TEST_F(XpGPSPosition, ValidityAndContainment) {
  struct Case {
    double latitude;
    double longitude;
    bool valid;
  };
  const Case cases[] = {
      {90, 180, true},      {-90, -180, true}, {90.0001, 0, false}, {0, 180.0001, false},
      {-90.0001, 0, false}, {0, 1000.0, false}, {1000.0, 0, false},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(std::to_string(row.latitude) + " " + std::to_string(row.longitude));
    EXPECT_EQ(::XpGPSPosition(row.latitude, row.longitude).IsValid(), row.valid);
  }
  const ::XpGPSPosition unset;
  EXPECT_FALSE(unset.IsValid());
  EXPECT_EQ(unset, ::XpGPSPosition(1000.0, 1000.0));
  EXPECT_NE(unset, ::XpGPSPosition(1000.0, 0.0));

  // North 40, south 30, east 140, west 130; the limits are inside.
  const ::XpGPSPosition edges[] = {{30, 130}, {40, 140}, {35, 135}};
  for (const ::XpGPSPosition& inside : edges) {
    EXPECT_TRUE(inside.IsInside(40, 30, 140, 130));
  }
  const ::XpGPSPosition outsides[] = {{29.99, 135}, {40.01, 135}, {35, 129.99}, {35, 140.01}};
  for (const ::XpGPSPosition& outside : outsides) {
    EXPECT_FALSE(outside.IsInside(40, 30, 140, 130));
  }
}

// --- Loads ------------------------------------------------------------------

TEST_F(XpGPSInfo, LoadsOnlyWhatTheValueHolds) {
  ForEachByteOrder([&](bool bigEndian) {
    auto gps = std::make_unique<XpTiffTagIFD>();
    gps->SetAscii(29, "2009:05:06XY");
    gps->SetShort(5, 7);
    PutValue(*gps, 0, kByte, 2, {2, 2});
    PutValue(*gps, 13, kByte, 1, {9});
    PutValue(*gps, 27, kUndefined, 8, {'A', 'S', 'C', 'I', 'I', 0, 0, 0});
    PutValue(*gps, 30, kByte, 1, {1});
    PutValue(*gps, 6, kShort, 3, {1, 0, 2, 0, 3, 0});
    const std::unique_ptr<XpTiffTagManager> tags = Reparsed(std::move(gps), bigEndian);
    ASSERT_NE(tags->GetGPSIFD(), nullptr);

    XpGPSInfo_ info;
    info.LoadFromIFD(*tags->GetGPSIFD());
    EXPECT_TRUE(info.dateStamp.present);
    EXPECT_STREQ(info.dateStamp.value, "2009:05:06");
    // A SHORT altitude reference is there, with the value 0.
    EXPECT_TRUE(info.altitudeRef.present);
    EXPECT_EQ(info.altitudeRef.value, 0);
    EXPECT_FALSE(info.version.present);
    EXPECT_FALSE(info.speed.present);
    // Three SHORTs are 6 bytes: too few for one rational.
    EXPECT_FALSE(info.altitude.present);
    // One BYTE cannot give a 16-bit number.
    EXPECT_FALSE(info.differential.present);
    ASSERT_TRUE(info.processingMethod.present);
    EXPECT_EQ(HexOf(info.processingMethod.GetBytes(), info.processingMethod.GetByteCount()),
              "41 53 43 49 49 00 00 00");
  });
}

TEST_F(XpGPSInfo, ShortDateStampsAndByteAltitudeReferences) {
  ForEachByteOrder([&](bool bigEndian) {
    auto gps = std::make_unique<XpTiffTagIFD>();
    gps->SetAscii(29, "2009", 5);
    gps->SetByte(5, 1);
    PutValue(*gps, 0, kByte, 4, {2, 3, 0, 0});
    // Values of another type than the standard gives still load when they
    // hold the bytes: the count alone counts.
    PutValue(*gps, 30, kShort, 1, {3, 0});
    PutValue(*gps, 9, kByte, 1, {'A'});
    const std::unique_ptr<XpTiffTagManager> tags = Reparsed(std::move(gps), bigEndian);

    XpGPSInfo_ info;
    info.LoadFromIFD(*tags->GetGPSIFD());
    EXPECT_STREQ(info.dateStamp.value, "2009");
    EXPECT_TRUE(info.altitudeRef.present);
    EXPECT_EQ(info.altitudeRef.value, 1);
    EXPECT_TRUE(info.version.present);
    EXPECT_EQ(HexOf(info.version.value, 4), "02 03 00 00");
    EXPECT_EQ(info.differential.value, 3);
    EXPECT_EQ(info.status.value, u'A');
    EXPECT_FALSE(info.latitudeRef.present);
  });
}

TEST_F(XpGPSInfo, DateStampOfTenCharactersWithoutNulAndHighReferenceBytes) {
  ForEachByteOrder([&](bool bigEndian) {
    auto gps = std::make_unique<XpTiffTagIFD>();
    // Ten characters and no NUL in the value.
    PutValue(*gps, 29, kAscii, 10, {'2', '0', '1', '0', ':', '0', '1', ':', '0', '2'});
    PutValue(*gps, 1, kAscii, 2, {0xC0, 0});
    const std::unique_ptr<XpTiffTagManager> tags = Reparsed(std::move(gps), bigEndian);

    XpGPSInfo_ info;
    info.LoadFromIFD(*tags->GetGPSIFD());
    EXPECT_STREQ(info.dateStamp.value, "2010:01:02");
    // The reference byte is a signed character, widened.
    EXPECT_EQ(info.latitudeRef.value, 0xFFC0);
  });
}

TEST_F(XpGPSInfo, ALoadForgetsTheElementsOfTheLastOne) {
  ForEachByteOrder([&](bool bigEndian) {
    auto first = std::make_unique<XpTiffTagIFD>();
    Tokyo(*first, "N", "E");
    first->SetUndefined(28, "area", 4);
    first->SetAscii(18, "WGS-84");
    auto second = std::make_unique<XpTiffTagIFD>();
    second->SetShort(30, 1);
    const std::unique_ptr<XpTiffTagManager> one = Reparsed(std::move(first), bigEndian);
    const std::unique_ptr<XpTiffTagManager> two = Reparsed(std::move(second), bigEndian);

    XpGPSInfo_ info;
    info.LoadFromIFD(*one->GetGPSIFD());
    EXPECT_TRUE(info.areaInformation.present);
    EXPECT_STREQ(info.mapDatum.value.CStr(), "WGS-84");
    info.LoadFromIFD(*two->GetGPSIFD());
    EXPECT_EQ(Describe(info),
              "~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|~|1");
    EXPECT_EQ(info.areaInformation.GetByteCount(), 0u);
    uint32_t parts[6] = {7, 7, 7, 7, 7, 7};
    EXPECT_FALSE(
        info.latitude.GetParts(parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]));
    EXPECT_EQ(parts[0], 7u);
  });
}

// --- WriteToIFD -------------------------------------------------------------

void FillEveryElement(XpGPSInfo_& info) {
  const auto ref = [](XpGPSRef& element, char16_t value) {
    element.present = true;
    element.value = value;
  };
  const auto rational = [](XpGPSRational& element, uint32_t numerator, uint32_t denominator) {
    element.present = true;
    element.numerator = numerator;
    element.denominator = denominator;
  };
  const auto rational3 = [](XpGPSRational3& element, uint32_t first) {
    element.present = true;
    for (uint32_t index = 0; index < XpGPSRational3::kNumbers; ++index) {
      element.numbers[index] = first + index;
    }
  };
  const auto undef = [](XpGPSUndef& element, const char* bytes, uint64_t count) {
    element.present = true;
    uint64_t done = 0;
    ASSERT_EQ(element.bytes.Write(bytes, count, &done), kXpOk);
  };
  info.version.present = true;
  std::memcpy(info.version.value, "\x02\x02\x00\x00", 4);
  ref(info.latitudeRef, u'N');
  rational3(info.latitude, 10);
  ref(info.longitudeRef, u'W');
  rational3(info.longitude, 20);
  ref(info.altitudeRef, 1);
  rational(info.altitude, 1234, 10);
  rational3(info.timeStamp, 30);
  info.satellites.present = true;
  info.satellites.value = "04 05 09";
  ref(info.status, u'A');
  ref(info.measureMode, u'3');
  rational(info.dop, 15, 10);
  ref(info.speedRef, u'K');
  rational(info.speed, 50, 1);
  ref(info.trackRef, u'T');
  rational(info.track, 90, 1);
  ref(info.imgDirectionRef, u'M');
  rational(info.imgDirection, 180, 1);
  info.mapDatum.present = true;
  info.mapDatum.value = "WGS-84";
  ref(info.destLatitudeRef, u'S');
  rational3(info.destLatitude, 40);
  ref(info.destLongitudeRef, u'E');
  rational3(info.destLongitude, 50);
  ref(info.destBearingRef, u'T');
  rational(info.destBearing, 45, 1);
  ref(info.destDistanceRef, u'N');
  rational(info.destDistance, 7, 2);
  undef(info.processingMethod, "ASCII\0\0\0GPS", 11);
  undef(info.areaInformation, "\x01\x02\x03", 3);
  info.dateStamp.present = true;
  std::memcpy(info.dateStamp.value, "2009:05:06", 11);
  info.differential.present = true;
  info.differential.value = 1;
}

TEST_F(XpGPSInfo, WriteToIFDRoundTripsEveryElement) {
  ForEachByteOrder([&](bool bigEndian) {
    XpGPSInfo_ written;
    FillEveryElement(written);
    auto gps = std::make_unique<XpTiffTagIFD>();
    gps->SetAscii(1, "S");  // replaced
    ASSERT_EQ(written.WriteToIFD(*gps), kXpOk);
    EXPECT_EQ(gps->GetCount(), 31);

    struct Shape {
      uint16_t tag;
      uint16_t type;
      uint32_t count;
      const char* bytes;
    };
    const Shape shapes[] = {
        {0, kByte, 4, "02 02 00 00"},
        {1, kAscii, 2, "4E 00"},
        {5, kByte, 1, "01"},
        {2, kRational, 3, nullptr},
        {6, kRational, 1, nullptr},
        {8, kAscii, 9, nullptr},
        {27, kUndefined, 11, nullptr},
        {29, kAscii, 11, nullptr},
        {30, kShort, 1, "01 00"},
    };
    for (const Shape& shape : shapes) {
      SCOPED_TRACE(shape.tag);
      const XpTiffTagDataBase* value = gps->FindTag(shape.tag, false);
      ASSERT_NE(value, nullptr);
      EXPECT_EQ(value->GetType(), shape.type);
      EXPECT_EQ(value->GetCount(), shape.count);
      if (shape.bytes != nullptr) {
        EXPECT_EQ(HexOf(value->GetData(), value->GetByteSize()), shape.bytes);
      }
    }

    const std::unique_ptr<XpTiffTagManager> tags = Reparsed(std::move(gps), bigEndian);
    XpGPSInfo_ loaded;
    loaded.LoadFromIFD(*tags->GetGPSIFD());
    EXPECT_EQ(Describe(loaded), Describe(written));
    EXPECT_EQ(Describe(loaded).find('~'), std::string::npos);
  });
}

TEST_F(XpGPSInfo, WriteToIFDSkipsAbsentElements) {
  XpGPSInfo_ info;
  info.speed.present = true;
  info.speed.numerator = 3;
  info.speed.denominator = 1;
  XpTiffTagIFD gps;
  gps.SetAscii(1, "N");
  ASSERT_EQ(info.WriteToIFD(gps), kXpOk);
  EXPECT_EQ(gps.GetCount(), 2);
  EXPECT_EQ(gps.GetAsciiA(1).View(), "N");
  EXPECT_EQ(gps.GetRationalValue(13), 3.0);
}

}  // namespace
