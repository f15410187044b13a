#pragma once

#include <cstdint>

#include "imaging/icc/icc_basic_type.h"

// A date and time of a profile: six 16-bit numbers, year first.
class dateTimeNumber : public icc_basic_type {
 public:
  dateTimeNumber() = default;
  dateTimeNumber(uint16_t year, uint16_t month, uint16_t day, uint16_t hours, uint16_t minutes,
                 uint16_t seconds);

  [[nodiscard]] XpResult Read(XpAbstractFile& file) override;

  uint16_t GetYear() const { return year_; }
  uint16_t GetMonth() const { return month_; }
  uint16_t GetDay() const { return day_; }
  uint16_t GetHours() const { return hours_; }
  uint16_t GetMinutes() const { return minutes_; }
  uint16_t GetSeconds() const { return seconds_; }
  void SetYear(uint16_t year) { year_ = year; }
  void SetMonth(uint16_t month) { month_ = month; }
  void SetDay(uint16_t day) { day_ = day; }
  void SetHours(uint16_t hours) { hours_ = hours; }
  void SetMinutes(uint16_t minutes) { minutes_ = minutes; }
  void SetSeconds(uint16_t seconds) { seconds_ = seconds; }

 private:
  uint16_t year_ = 0;
  uint16_t month_ = 0;
  uint16_t day_ = 0;
  uint16_t hours_ = 0;
  uint16_t minutes_ = 0;
  uint16_t seconds_ = 0;
};
