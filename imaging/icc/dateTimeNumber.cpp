#include "imaging/icc/dateTimeNumber.h"

dateTimeNumber::dateTimeNumber(uint16_t year, uint16_t month, uint16_t day, uint16_t hours,
                               uint16_t minutes, uint16_t seconds)
    : year_(year), month_(month), day_(day), hours_(hours), minutes_(minutes), seconds_(seconds) {}

XpResult dateTimeNumber::Read(XpAbstractFile& file) {
  XpResult result = BeginRead(file);
  for (uint16_t* field : {&year_, &month_, &day_, &hours_, &minutes_, &seconds_}) {
    if (result != kXpOk) {
      break;
    }
    result = ReadUInt16(file, *field);
  }
  return result;
}
