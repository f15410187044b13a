#include "imaging/icc/icc_profile.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/tests/icc/IccProfileBuilder.h"
#include "platform/fs/XpFile.h"
#include "platform/memory/XpMemoryFile.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using icc_profile = testsupport::HermeticTest;

constexpr IccSignature kDesc = 0x64657363;

// Reads a profile from a memory file over bytes, from position 0.
[[nodiscard]] XpResult ReadProfile(::icc_profile& profile, std::vector<uint8_t> bytes) {
  XpMemoryFile file(bytes.data(), bytes.size(), false);
  return profile.Read(file);
}

std::vector<uint8_t> ThreeTagProfile() {
  return IccProfileBuilder()
      .Tag("cprt", IccTextData("no copyright"))
      .Tag("wtpt", IccNumbersData("XYZ ", {0xF6D6, 0x10000, 0xD32D}))
      .Tag("desc", IccDescData("Adobe RGB 1998 (Kavo Corporation)"))
      .Build();
}

TEST_F(icc_profile, ATagCountOfZeroReadsWithNoTags) {
  ::icc_profile profile;
  EXPECT_EQ(ReadProfile(profile, IccProfileBuilder().Build()), kXpOk);
  EXPECT_EQ(profile.GetTagCount(), 0);
  EXPECT_TRUE(profile.GetTagSignatures().empty());
  EXPECT_FALSE(profile.HasTag("desc"));
}

TEST_F(icc_profile, DescBehindOtherTagsIsFoundAndTheOthersAreSkipped) {
  ::icc_profile profile;
  ASSERT_EQ(ReadProfile(profile, ThreeTagProfile()), kXpOk);
  EXPECT_EQ(profile.GetTagSignatures(), std::vector<IccSignature>{kDesc});
  EXPECT_EQ(profile.GetTagCount(), 1);
  EXPECT_TRUE(profile.HasTag("desc"));
  EXPECT_FALSE(profile.HasTag("cprt"));
  EXPECT_FALSE(profile.HasTag("wtpt"));
  const icc_tag tag = profile.GetTag("desc");
  EXPECT_EQ(tag.GetTagSignatureText(), "desc");
  EXPECT_EQ(tag.GetTypeSignatureText(), "desc");
  EXPECT_EQ(tag.GetTextDescriptionType().GetText(), "Adobe RGB 1998 (Kavo Corporation)");
}

TEST_F(icc_profile, EveryDescEntryIsHeldInTableOrder) {
  // Between the two "desc" entries the position must come back to the table.
  ::icc_profile profile;
  ASSERT_EQ(ReadProfile(profile, IccProfileBuilder()
                                     .Tag("desc", IccDescData("first"))
                                     .Tag("cprt", IccTextData("skipped"))
                                     .Tag("desc", IccDescData("second"))
                                     .Build()),
            kXpOk);
  EXPECT_EQ(profile.GetTagSignatures(), (std::vector<IccSignature>{kDesc, kDesc}));
  EXPECT_EQ(profile.GetTag("desc").GetTextDescriptionType().GetText(), "first");
}

TEST_F(icc_profile, ADescEntryOfAnotherTypeFailsWithTheTypeResult) {
  ::icc_profile profile;
  EXPECT_EQ(ReadProfile(profile, IccProfileBuilder().Tag("desc", IccTextData("text")).Build()),
            kXpErrIccWrongType);
}

TEST_F(icc_profile, ACutBeforeTheEndOfTheDescTextFailsWithEndOfFile) {
  // The "desc" data comes last; behind its ASCII text stand the Unicode and
  // ScriptCode parts, 78 bytes that are not read.
  const std::vector<uint8_t> whole = ThreeTagProfile();
  const size_t textEnd = whole.size() - 78;
  const auto cut = [&](size_t size) {
    ::icc_profile profile;
    return ReadProfile(profile, std::vector<uint8_t>(whole.begin(), whole.begin() + size));
  };
  for (size_t size : {size_t{0}, size_t{1}, size_t{60}, size_t{127}, size_t{128}, size_t{131},
                      size_t{140}, textEnd - 40, textEnd - 1}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(cut(size), kXpErrEndOfFile);
  }
  EXPECT_EQ(cut(textEnd), kXpOk);
}

TEST_F(icc_profile, TheFileSignatureSizeAndVersionAreNotTested) {
  std::vector<uint8_t> bytes = IccProfileBuilder().FileSignature("abcd").Build();
  bytes[0] = 0xFF;  // a size far beyond the file
  bytes[8] = 0x77;  // an unknown version
  ::icc_profile profile;
  ASSERT_EQ(ReadProfile(profile, bytes), kXpOk);
  EXPECT_EQ(profile.GetHeader().GetFileSignature(), icc_tools::TextToSignature("abcd"));
}

TEST_F(icc_profile, WithoutDescGetTagGivesADefaultTag) {
  ::icc_profile profile;
  ASSERT_EQ(ReadProfile(profile, IccProfileBuilder().Tag("cprt", IccTextData("c")).Build()),
            kXpOk);
  const icc_tag tag = profile.GetTag("desc");
  EXPECT_TRUE(tag.GetTextDescriptionType().GetText().IsEmpty());
  EXPECT_EQ(tag.GetTagSignature(), 0u);
  EXPECT_EQ(tag.GetTypeSignature(), 0u);
}

TEST_F(icc_profile, HeaderFieldsComeBack) {
  ::icc_profile profile;
  ASSERT_EQ(ReadProfile(profile, ThreeTagProfile()), kXpOk);
  const icc_profile_header header = profile.GetHeader();
  EXPECT_EQ(header.GetProfileSize(), ThreeTagProfile().size());
  EXPECT_EQ(icc_tools::SignatureToText(header.GetCmmType()), "test");
  EXPECT_EQ(header.GetProfileVersion(), 0x02100000u);
  EXPECT_EQ(icc_tools::SignatureToText(header.GetDeviceClass()), "mntr");
  EXPECT_EQ(icc_tools::SignatureToText(header.GetColorSpace()), "RGB ");
  EXPECT_EQ(icc_tools::SignatureToText(header.GetConnectionSpace()), "XYZ ");
  const dateTimeNumber date = header.GetCreationDate();
  EXPECT_EQ(std::vector<int>({date.GetYear(), date.GetMonth(), date.GetDay(), date.GetHours(),
                              date.GetMinutes(), date.GetSeconds()}),
            std::vector<int>({2009, 5, 6, 7, 8, 9}));
  EXPECT_EQ(icc_tools::SignatureToText(header.GetFileSignature()), "acsp");
  EXPECT_EQ(icc_tools::SignatureToText(header.GetPlatform()), "APPL");
  EXPECT_EQ(header.GetFlags(), 3u);
  EXPECT_EQ(icc_tools::SignatureToText(header.GetManufacturer()), "KAVO");
  EXPECT_EQ(header.GetModel(), 0x4B32u);
  EXPECT_EQ(header.GetRenderingIntent(), 1u);
  EXPECT_EQ(header.GetIlluminant().GetX().GetRaw(), 0xF6D6);
  EXPECT_EQ(header.GetIlluminant().GetY().GetRaw(), 0x10000);
  EXPECT_EQ(header.GetIlluminant().GetZ().GetRaw(), 0xD32D);
  EXPECT_EQ(icc_tools::SignatureToText(header.GetCreator()), "tcre");
  EXPECT_EQ(header.GetProfileId(),
            std::vector<uint8_t>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST_F(icc_profile, ANewHeaderHoldsItsDefaults) {
  const icc_profile_header header;
  EXPECT_EQ(icc_tools::SignatureToText(header.GetFileSignature()), "acsp");
  EXPECT_EQ(header.GetProfileSize(), 0u);
  EXPECT_EQ(header.GetDeviceClass(), 0u);
  EXPECT_EQ(header.GetCreationDate().GetYear(), 0);
  EXPECT_EQ(header.GetIlluminant().GetX().GetRaw(), 0);
  EXPECT_EQ(header.GetProfileId(), std::vector<uint8_t>(16, 0));
}

TEST_F(icc_profile, TheProfileIdTakesExactlySixteenBytes) {
  icc_profile_header header;
  const std::vector<uint8_t> id(16, 0xAB);
  EXPECT_TRUE(header.SetProfileId(id));
  EXPECT_FALSE(header.SetProfileId(std::vector<uint8_t>(15, 1)));
  EXPECT_FALSE(header.SetProfileId(std::vector<uint8_t>(17, 1)));
  EXPECT_EQ(header.GetProfileId(), id);
}

TEST_F(icc_profile, AProfileReadsFromADiskFileToo) {
  const std::vector<uint8_t> bytes = ThreeTagProfile();
  const std::string path = (Root() / "profile.icc").string();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  XpFile file(XpString::FromUtf8(path));
  ASSERT_EQ(file.Open(kXpOpenRead), kXpOk);
  ::icc_profile profile;
  EXPECT_EQ(profile.Read(file), kXpOk);
  EXPECT_EQ(profile.GetTag("desc").GetTextDescriptionType().GetText(),
            "Adobe RGB 1998 (Kavo Corporation)");
  EXPECT_EQ(file.Close(), kXpOk);
}

TEST_F(icc_profile, HostileTablesFailBeforeTheyAllocate) {
  std::vector<uint8_t> bigDesc = IccDescData(std::string(4000, 'x'), 4000);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"desc count 0xFFFFFFFF", IccProfileBuilder()
                                    .TagWithSize("desc", IccDescData("abc", 0xFFFFFFFF), 40)
                                    .Build()},
      {"desc size past the file", IccProfileBuilder()
                                      .TagWithSize("desc", IccDescData("abc", 0x7FFFFFF0),
                                                   0xFFFFFFFF)
                                      .Build()},
      // Entries sharing one text would hold far more than the file.
      {"shared desc data", [&] {
         IccProfileBuilder builder;
         builder.Tag("desc", bigDesc);
         for (int entry = 0; entry < 100; ++entry) {
           builder.SharedTag("desc", 0);
         }
         return builder.Build();
       }()},
      {"table count past the file", [] {
         std::vector<uint8_t> bytes = IccProfileBuilder().Build();
         bytes[128] = 0xFF;
         return bytes;
       }()},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.name);
    ::icc_profile profile;
    EXPECT_EQ(ReadProfile(profile, entry.bytes), kXpErrEndOfFile);
  }
}

TEST_F(icc_profile, SignaturesConvertBothWays) {
  const struct {
    const char* text;
    IccSignature signature;
  } cases[] = {
      {"XYZ ", 0x58595A20},
      {"desc", 0x64657363},
      {"acsp", 0x61637370},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.text);
    EXPECT_EQ(icc_tools::TextToSignature(entry.text), entry.signature);
    EXPECT_EQ(icc_tools::SignatureToText(entry.signature), entry.text);
  }
  for (const char* text : {"abc", "", "abcde", "XYZ"}) {
    SCOPED_TRACE(text);
    EXPECT_EQ(icc_tools::TextToSignature(text), 0xFFFFFFFFu);
  }
  // High bytes are characters, not signs.
  EXPECT_EQ(icc_tools::TextToSignature("\xFF\x80\x01\x7F"), 0xFF80017Fu);
}

TEST_F(icc_profile, TagSettersNameTheTagAndItsType) {
  const struct {
    const char* type;
    std::function<int32_t(icc_tag&)> set;
  } cases[] = {
      {"text", [](icc_tag& tag) { return tag.Set("cprt", textType("c")); }},
      {"desc", [](icc_tag& tag) { return tag.Set("cprt", textDescriptionType("d")); }},
      {"curv", [](icc_tag& tag) { return tag.Set("cprt", curveType({1, 2})); }},
      {"para", [](icc_tag& tag) { return tag.Set("cprt", parametricCurveType()); }},
      {"mluc", [](icc_tag& tag) { return tag.Set("cprt", multiLocalizedUnicodeType(1, 2, {3})); }},
      {"sf32", [](icc_tag& tag) { return tag.Set("cprt", s15Fixed16ArrayType()); }},
      {"XYZ ", [](icc_tag& tag) { return tag.Set("cprt", XYZType()); }},
  };
  for (const auto& entry : cases) {
    SCOPED_TRACE(entry.type);
    icc_tag tag("desc", textDescriptionType("before"));
    EXPECT_EQ(entry.set(tag), 0);
    EXPECT_EQ(tag.GetTagSignatureText(), "cprt");
    EXPECT_EQ(tag.GetTypeSignatureText(), entry.type);
    // Only the member of the new type carries content.
    if (std::string(entry.type) != "desc") {
      EXPECT_TRUE(tag.GetTextDescriptionType().GetText().IsEmpty());
    }
  }
}

TEST_F(icc_profile, TagContentComesBackFromTheMatchingGetter) {
  icc_tag tag;
  ASSERT_EQ(tag.Set("chad", s15Fixed16ArrayType({s15Fixed16Number(1.0), s15Fixed16Number(-0.5)})),
            0);
  EXPECT_EQ(tag.GetS15Fixed16ArrayType().GetCount(), 2u);
  EXPECT_EQ(tag.GetS15Fixed16ArrayType().GetAt(1).GetRaw(), static_cast<int32_t>(0xFFFF8000));
  ASSERT_EQ(tag.Set("mlu1", multiLocalizedUnicodeType(0x656E, 0x5553, {'h', 'i'})), 0);
  EXPECT_EQ(tag.GetMultiLocalizedUnicodeType().GetLanguageCode(), 0x656E);
  EXPECT_EQ(tag.GetMultiLocalizedUnicodeType().GetCountryCode(), 0x5553);
  EXPECT_EQ(tag.GetMultiLocalizedUnicodeType().GetText(), (std::vector<uint16_t>{'h', 'i'}));
  EXPECT_EQ(tag.GetS15Fixed16ArrayType().GetCount(), 0u);
  const icc_tag copy(tag);
  EXPECT_EQ(copy.GetTagSignatureText(), "mlu1");
  EXPECT_EQ(icc_tag("rTRC", curveType({256})).GetCurveType().GetEntries(),
            std::vector<uint16_t>{256});
  EXPECT_EQ(icc_tag("cprt", textType("c")).GetTextType().GetText(), "c");
  EXPECT_EQ(icc_tag("gTRC", parametricCurveType()).GetParametricCurveType().GetParameters().size(),
            1u);
}

TEST_F(icc_profile, ATagNameOfOtherThanFourCharactersChangesNothing) {
  icc_tag tag("desc", textDescriptionType("kept"));
  EXPECT_EQ(tag.Set("abc", textType("lost")), 1);
  EXPECT_EQ(tag.Set("abcde", XYZType()), 1);
  EXPECT_EQ(tag.GetTagSignatureText(), "desc");
  EXPECT_EQ(tag.GetTypeSignatureText(), "desc");
  EXPECT_EQ(tag.GetTextDescriptionType().GetText(), "kept");
  EXPECT_TRUE(tag.GetTextType().GetText().IsEmpty());
  // A constructor with such a name gives a default tag.
  const icc_tag bad("abc", textType("x"));
  EXPECT_EQ(bad.GetTagSignature(), 0u);
  EXPECT_TRUE(bad.GetTextType().GetText().IsEmpty());
}

TEST_F(icc_profile, AddTagAppendsInOrder) {
  ::icc_profile profile;
  profile.AddTag(icc_tag("cprt", textType("c")));
  profile.AddTag(icc_tag("desc", textDescriptionType("one")));
  profile.AddTag(icc_tag("desc", textDescriptionType("two")));
  EXPECT_EQ(profile.GetTagCount(), 3);
  EXPECT_EQ(profile.GetTagSignatures(),
            (std::vector<IccSignature>{icc_tools::TextToSignature("cprt"), kDesc, kDesc}));
  EXPECT_EQ(profile.GetTag("desc").GetTextDescriptionType().GetText(), "one");
  EXPECT_TRUE(profile.HasTag("cprt"));
}

}  // namespace
