#include "imaging/tags/XpTiffTagIFD.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/tags/XpTiffTagDataIFD.h"
#include "imaging/tags/XpTiffTagManager.h"
#include "imaging/tests/tags/TagTreeSupport.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using XpTiffTagIFD = testsupport::HermeticTest;

std::vector<uint16_t> TagsOf(const ::XpTiffTagIFD& ifd) {
  std::vector<uint16_t> tags;
  for (int32_t index = 0; index < ifd.GetCount(); ++index) {
    tags.push_back(ifd.GetAt(index)->GetTag());
  }
  return tags;
}

// A sub-IFD value for tag holding the IFDs given.
XpTiffTagDataIFD* Holding(uint16_t tag, std::vector<::XpTiffTagIFD*> ifds) {
  XpTiffTagDataIFD* value = XpTiffTagDataIFD::Create(tag, 0);
  for (::XpTiffTagIFD* ifd : ifds) {
    value->AddIFD(ifd);
  }
  return value;
}

::XpTiffTagIFD* WithShort(uint16_t tag, uint16_t value) {
  auto* ifd = new ::XpTiffTagIFD();
  ifd->SetShort(tag, value);
  return ifd;
}

TEST_F(XpTiffTagIFD, SetEntryReplacesInPlaceOrAppends) {
  ::XpTiffTagIFD ifd;
  EXPECT_EQ(ifd.SetShort(306, 1), 0);
  EXPECT_EQ(ifd.SetShort(271, 2), 1);
  EXPECT_EQ(ifd.SetShort(272, 3), 2);
  // Replacing the first entry keeps its place and answers the last index.
  EXPECT_EQ(ifd.SetLong(306, 4), 2);
  EXPECT_EQ(TagsOf(ifd), (std::vector<uint16_t>{306, 271, 272}));
  EXPECT_EQ(ifd.GetAt(0)->GetType(), 4);
  EXPECT_EQ(ifd.SetEntry(nullptr), -1);
  EXPECT_EQ(ifd.GetCount(), 3);
}

TEST_F(XpTiffTagIFD, RemoveAtClosesTheGapAndIgnoresBadIndexes) {
  ::XpTiffTagIFD ifd;
  for (uint16_t tag : {10, 20, 30, 40}) {
    ifd.SetShort(tag, tag);
  }
  ifd.RemoveAt(-1);
  ifd.RemoveAt(4);
  EXPECT_EQ(TagsOf(ifd), (std::vector<uint16_t>{10, 20, 30, 40}));
  ifd.RemoveAt(1);
  EXPECT_EQ(TagsOf(ifd), (std::vector<uint16_t>{10, 30, 40}));
  EXPECT_EQ(ifd.GetAt(3), nullptr);
  EXPECT_EQ(ifd.GetAt(-1), nullptr);
  // The tags behind the gap are still found and replaced in place.
  EXPECT_EQ(ifd.SetLong(40, 7), 2);
  EXPECT_EQ(TagsOf(ifd), (std::vector<uint16_t>{10, 30, 40}));
  EXPECT_EQ(ifd.FindTag(40, false)->GetType(), 4);
  EXPECT_EQ(ifd.FindTag(20, false), nullptr);
}

TEST_F(XpTiffTagIFD, TypedSettersMakeValuesOfTheirTypes) {
  ::XpTiffTagIFD ifd;
  ifd.SetByte(1, 200);
  ifd.SetAscii(2, "abc");
  ifd.SetShort(3, 0x1234);
  ifd.SetLong(4, 0x01020304);
  ifd.SetRational(5, 72, 1);
  ifd.SetUndefined(6, "\x01\x00\x02", 3);
  ifd.SetSLong(7, -2);
  ifd.SetFloat(8, 1.5f);
  ifd.SetAscii(9, "abcdef", 3);   // cut
  ifd.SetAscii(10, "ab", 5);      // NUL-padded
  ifd.SetUndefined(11, nullptr, 2);
  ifd.SetAscii(12, nullptr);
  const struct {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    std::string bytes;
  } cases[] = {
      {1, 1, 1, "C8"},
      {2, 2, 4, "61 62 63 00"},
      {3, 3, 1, "34 12"},
      {4, 4, 1, "04 03 02 01"},
      {5, 5, 1, "48 00 00 00 01 00 00 00"},
      {6, 7, 3, "01 00 02"},
      {7, 9, 1, "FE FF FF FF"},
      {8, 11, 1, "00 00 C0 3F"},
      {9, 2, 3, "61 62 63"},
      {10, 2, 5, "61 62 00 00 00"},
      {11, 7, 2, "00 00"},
      {12, 2, 1, "00"},
  };
  ASSERT_EQ(ifd.GetCount(), 12);
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.tag);
    const XpTiffTagDataBase* value = ifd.FindTag(entry.tag, false);
    ASSERT_NE(value, nullptr);
    EXPECT_EQ(value->GetType(), entry.type);
    EXPECT_EQ(value->GetCount(), entry.count);
    EXPECT_EQ(HexOf(value->GetData(), value->GetByteSize()), entry.bytes);
  }
}

// IFD 0 {274, 34665 -> Exif {36864, 37500 -> maker note {1}}, 45096 -> {2}}.
std::unique_ptr<::XpTiffTagIFD> NestedTree() {
  auto ifd0 = std::make_unique<::XpTiffTagIFD>();
  ifd0->SetShort(274, 1);
  ::XpTiffTagIFD* exif = WithShort(36864, 2);
  ::XpTiffTagIFD* makerNote = WithShort(1, 3);
  makerNote->SetMakerNote(true);
  exif->SetEntry(Holding(37500, {makerNote}));
  ifd0->SetEntry(Holding(34665, {exif}));
  ifd0->SetEntry(Holding(45096, {WithShort(2, 4)}));
  return ifd0;
}

TEST_F(XpTiffTagIFD, FindTagRecursesButNotIntoMakerNoteOrB028) {
  auto ifd0 = NestedTree();
  EXPECT_EQ(ifd0->FindTag(36864, false), nullptr);
  const XpTiffTagDataBase* found = ifd0->FindTag(36864, true);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->GetTag(), 36864);
  // The pointer entries themselves are found.
  EXPECT_NE(ifd0->FindTag(37500, true), nullptr);
  EXPECT_NE(ifd0->FindTag(45096, false), nullptr);
  EXPECT_EQ(ifd0->FindTag(1, true), nullptr);
  EXPECT_EQ(ifd0->FindTag(2, true), nullptr);
  EXPECT_EQ(ifd0->FindTag(999, true), nullptr);
}

TEST_F(XpTiffTagIFD, CloneIsDeep) {
  auto original = NestedTree();
  const std::string before = DescribeIFD(*original);
  std::unique_ptr<::XpTiffTagIFD> copy(original->Clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(DescribeIFD(*copy), before);
  // Change the copy at every level.
  copy->SetShort(274, 8);
  auto* exif = static_cast<XpTiffTagDataIFD*>(copy->FindTag(34665, false))->GetIFD(0);
  exif->RemoveAt(0);
  auto* makerNote = static_cast<XpTiffTagDataIFD*>(exif->FindTag(37500, false));
  makerNote->GetIFD(0)->GetAt(0)->GetData()[0] = 9;
  makerNote->GetIFD(0)->SetMakerNote(false);
  EXPECT_NE(DescribeIFD(*copy), before);
  EXPECT_EQ(DescribeIFD(*original), before);
}

TEST_F(XpTiffTagIFD, SubIFDValuesIgnoreBadIndexesAndNullIFDs) {
  std::unique_ptr<XpTiffTagDataIFD> value(Holding(330, {WithShort(1, 1), WithShort(2, 2)}));
  value->AddIFD(nullptr);
  EXPECT_EQ(value->GetIFDCount(), 2);
  EXPECT_EQ(value->GetIFD(2), nullptr);
  EXPECT_EQ(value->GetIFD(-1), nullptr);
  value->RemoveIFD(2);
  value->RemoveIFD(-1);
  EXPECT_EQ(value->GetIFDCount(), 2);
  value->RemoveIFD(0);
  ASSERT_EQ(value->GetIFDCount(), 1);
  EXPECT_NE(value->GetIFD(0)->FindTag(2, false), nullptr);
  EXPECT_NE(value->FindTag(2, false), nullptr);
}

TEST_F(XpTiffTagIFD, SortOrdersByTagAndCountsTheIFDsHeld) {
  ::XpTiffTagIFD ifd;
  ifd.SetShort(306, 1);
  ifd.SetShort(271, 1);
  // Count 3 from a file, holding one IFD.
  XpTiffTagDataIFD* exif = XpTiffTagDataIFD::Create(34665, 3);
  std::memset(exif->GetData(), 0xAB, exif->GetByteSize());
  exif->AddIFD(WithShort(1, 1));
  ifd.SetEntry(exif);
  ifd.SetShort(0xFFFF, 1);
  ifd.SetShort(2, 1);
  ifd.Sort();
  EXPECT_EQ(TagsOf(ifd), (std::vector<uint16_t>{2, 271, 306, 34665, 0xFFFF}));
  EXPECT_EQ(exif->GetCount(), 1u);
  EXPECT_EQ(HexOf(exif->GetData(), 8), "00 00 00 00 00 00 00 00");
  // Still found by tag after the sort.
  EXPECT_EQ(ifd.SetShort(306, 5), 4);
  EXPECT_EQ(ifd.GetAt(2)->GetData()[0], 5);
}

TEST_F(XpTiffTagIFD, ManagerWithoutRootAnswersEmpty) {
  XpTiffTagManager tags;
  EXPECT_EQ(tags.GetRoot(), nullptr);
  EXPECT_FALSE(tags.HasIFDs());
  EXPECT_EQ(tags.GetIFDCount(), 0);
  EXPECT_EQ(tags.GetIFD(0), nullptr);
  EXPECT_EQ(tags.FindTag(274, true), nullptr);
  std::unique_ptr<XpTiffTagManager> copy(tags.Clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->GetRoot(), nullptr);

  EXPECT_TRUE(tags.Reset());
  ASSERT_NE(tags.GetRoot(), nullptr);
  EXPECT_EQ(tags.GetRoot()->GetTag(), 0);
  EXPECT_FALSE(tags.HasIFDs());
  tags.GetRoot()->AddIFD(WithShort(274, 6));
  EXPECT_TRUE(tags.HasIFDs());
  EXPECT_NE(tags.FindTag(274, false), nullptr);
  tags.Clear();
  EXPECT_EQ(tags.GetRoot(), nullptr);
}

TEST_F(XpTiffTagIFD, ManagerCloneKeepsByteOrderAndCopiesTheTree) {
  XpTiffTagManager tags;
  ASSERT_TRUE(tags.Reset());
  tags.SetByteOrder(kXpByteOrderBigEndian);
  tags.GetRoot()->AddIFD(NestedTree().release());
  std::unique_ptr<XpTiffTagManager> copy(tags.Clone());
  ASSERT_NE(copy, nullptr);
  EXPECT_TRUE(copy->IsBigEndian());
  EXPECT_EQ(DescribeTree(*copy), DescribeTree(tags));
  copy->GetIFD(0)->RemoveAt(0);
  EXPECT_NE(DescribeTree(*copy), DescribeTree(tags));
  EXPECT_NE(tags.FindTag(274, false), nullptr);

  tags.SetByteOrder(kXpByteOrderLittleEndian);
  EXPECT_FALSE(tags.IsBigEndian());
}

}  // namespace
