#include "imaging/color/XpGammaTables.h"

#include <gtest/gtest.h>

namespace {

constexpr XpGammaTables::Table kTables[] = {
    XpGammaTables::kAdobeRGBToLinear, XpGammaTables::kLinearToAdobeRGB,
    XpGammaTables::kSRGBToLinear, XpGammaTables::kLinearToSRGB};

TEST(XpGammaTables, EveryTableRunsFromZeroToFullScaleWithoutFalling) {
  const XpGammaTables& tables = XpGammaTables::Get();
  for (const XpGammaTables::Table table : kTables) {
    SCOPED_TRACE(table);
    EXPECT_EQ(tables.Lookup(table, 0), 0);
    EXPECT_EQ(tables.Lookup(table, 65535), 65535);
    for (uint32_t i = 1; i < XpGammaTables::kEntryCount; ++i) {
      ASSERT_GE(tables.Lookup(table, i), tables.Lookup(table, i - 1)) << i;
    }
  }
}

TEST(XpGammaTables, EntriesAtTheCurveJoinsAndTheAdobeExponent) {
  const XpGammaTables& tables = XpGammaTables::Get();
  EXPECT_EQ(tables.Lookup(XpGammaTables::kSRGBToLinear, 2650), 205);
  EXPECT_EQ(tables.Lookup(XpGammaTables::kSRGBToLinear, 2651), 205);
  EXPECT_EQ(tables.Lookup(XpGammaTables::kLinearToSRGB, 205), 2649);
  EXPECT_EQ(tables.Lookup(XpGammaTables::kLinearToSRGB, 206), 2661);
  // 2.2 would give 14263.
  EXPECT_EQ(tables.Lookup(XpGammaTables::kAdobeRGBToLinear, 32768), 14271);
  EXPECT_EQ(tables.Data(XpGammaTables::kLinearToSRGB)[206], 2661);
}

}  // namespace
