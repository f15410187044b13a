// The GPS position of XpTiffTagManager.
#include "imaging/tags/XpGPSInfo.h"
#include "imaging/tags/XpTiffTagManager.h"

namespace {

// The degrees of a coordinate whose reference is positiveRef or
// negativeRef; kUnset for any other reference or a missing part.
double CoordinateOf(const XpGPSRef& ref, const XpGPSRational3& parts, char16_t positiveRef,
                    char16_t negativeRef) {
  if (!ref.present || (ref.value != positiveRef && ref.value != negativeRef)) {
    return XpGPSPosition::kUnset;
  }
  uint32_t n[XpGPSRational3::kNumbers] = {};
  if (!parts.GetParts(n[0], n[1], n[2], n[3], n[4], n[5])) {
    return XpGPSPosition::kUnset;
  }
  return XpGPSDegrees(ref.value == positiveRef, n[0], n[1], n[2], n[3], n[4], n[5]);
}

}  // namespace

bool XpTiffTagManager::GetGPSPosition(XpGPSPosition& position) const {
  XpGPSPosition found;
  if (const XpTiffTagIFD* gps = GetGPSIFD(); gps != nullptr) {
    XpGPSInfo info;
    info.LoadFromIFD(*gps);
    found.latitude = CoordinateOf(info.latitudeRef, info.latitude, u'N', u'S');
    found.longitude = CoordinateOf(info.longitudeRef, info.longitude, u'E', u'W');
  }
  if (!found.IsValid()) {
    return false;
  }
  position = found;
  return true;
}
