#pragma once

#include <array>
#include <cstdint>

#include "platform/memory/XpMemoryFile.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpStringA.h"

class XpTiffTagDataBase;
class XpTiffTagIFD;

// One element of the GPS record: a value and whether its tag was there.
class XpGPSElement {
 public:
  XpGPSElement() = default;
  XpGPSElement(const XpGPSElement&) = delete;
  XpGPSElement& operator=(const XpGPSElement&) = delete;
  virtual ~XpGPSElement();

  // Absent again.
  virtual void Reset();

  bool present = false;
};

// GPSVersionID: four bytes.
class XpGPSVer : public XpGPSElement {
 public:
  static constexpr uint32_t kBytes = 4;
  uint8_t value[kBytes] = {};
};

// A reference letter ('N', 'S', 'E', 'W', 'K', ...): the first byte taken
// as a signed character and widened.
class XpGPSRef : public XpGPSElement {
 public:
  char16_t value = 0;
};

// Three unsigned rationals: degrees or hours, minutes, seconds.
class XpGPSRational3 : public XpGPSElement {
 public:
  static constexpr uint32_t kNumbers = 6;

  // When present: first numerator, first denominator, second numerator,
  // second denominator, third numerator, third denominator. False, outputs
  // untouched, when absent.
  bool GetParts(uint32_t& firstNumerator, uint32_t& firstDenominator, uint32_t& secondNumerator,
                uint32_t& secondDenominator, uint32_t& thirdNumerator,
                uint32_t& thirdDenominator) const;

  uint32_t numbers[kNumbers] = {};
};

// One unsigned rational.
class XpGPSRational : public XpGPSElement {
 public:
  uint32_t numerator = 0;
  uint32_t denominator = 0;
};

// A text up to its NUL.
class XpGPSAnyString : public XpGPSElement {
 public:
  void Reset() override;

  XpStringA value;
};

// Bytes of any kind, held in memory.
class XpGPSUndef : public XpGPSElement {
 public:
  // Absent, and no bytes.
  void Reset() override;
  const uint8_t* GetBytes() const { return static_cast<const uint8_t*>(bytes.GetBuffer()); }
  uint64_t GetByteCount() const { return bytes.GetDataSize(); }

  XpMemoryFile bytes;
};

// GPSDateStamp: up to ten characters and a NUL.
class XpGPSDateStamp : public XpGPSElement {
 public:
  static constexpr uint32_t kMaxCharacters = 10;
  char value[kMaxCharacters + 1] = {};
};

// One unsigned 16-bit number.
class XpGPSShort : public XpGPSElement {
 public:
  uint16_t value = 0;
};

// The GPS IFD of an Exif block as a record of its 31 tags, each element
// knowing whether its tag was there.
class XpGPSInfo {
 public:
  static constexpr uint16_t kTagCount = 31;

  XpGPSInfo() = default;
  XpGPSInfo(const XpGPSInfo&) = delete;
  XpGPSInfo& operator=(const XpGPSInfo&) = delete;
  ~XpGPSInfo() = default;

  // Every element absent.
  void Reset();
  // Resets, then loads each tag 0-30 from its first entry in the IFD (the
  // IFDs below it are not searched). An element is present only when its
  // tag is there and its value holds the bytes the element needs.
  void LoadFromIFD(const XpTiffTagIFD& ifd);
  // Puts every present element into the IFD as a tag, replacing a tag
  // already there. kXpErrOutOfMemory when a value cannot be made; the
  // elements not yet put then stay out.
  [[nodiscard]] XpResult WriteToIFD(XpTiffTagIFD& ifd) const;

  XpGPSVer version;                   // 0
  XpGPSRef latitudeRef;               // 1
  XpGPSRational3 latitude;            // 2
  XpGPSRef longitudeRef;              // 3
  XpGPSRational3 longitude;           // 4
  XpGPSRef altitudeRef;               // 5
  XpGPSRational altitude;             // 6
  XpGPSRational3 timeStamp;           // 7
  XpGPSAnyString satellites;          // 8
  XpGPSRef status;                    // 9
  XpGPSRef measureMode;               // 10
  XpGPSRational dop;                  // 11
  XpGPSRef speedRef;                  // 12
  XpGPSRational speed;                // 13
  XpGPSRef trackRef;                  // 14
  XpGPSRational track;                // 15
  XpGPSRef imgDirectionRef;           // 16
  XpGPSRational imgDirection;         // 17
  XpGPSAnyString mapDatum;            // 18
  XpGPSRef destLatitudeRef;           // 19
  XpGPSRational3 destLatitude;        // 20
  XpGPSRef destLongitudeRef;          // 21
  XpGPSRational3 destLongitude;       // 22
  XpGPSRef destBearingRef;            // 23
  XpGPSRational destBearing;          // 24
  XpGPSRef destDistanceRef;           // 25
  XpGPSRational destDistance;         // 26
  XpGPSUndef processingMethod;        // 27
  XpGPSUndef areaInformation;         // 28
  XpGPSDateStamp dateStamp;           // 29
  XpGPSShort differential;            // 30

 private:
  // The elements in tag order.
  std::array<XpGPSElement*, kTagCount> Elements();
};
