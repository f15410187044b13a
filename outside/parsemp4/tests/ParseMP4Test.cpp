#include <cstdint>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Mp4BoxBuilder.h"
#include "parsemp4/ParseMP4.h"
#include "platform/testsupport/HermeticTest.h"

namespace {

using Bytes = Mp4BoxBuilder::Bytes;
using B = Mp4BoxBuilder;

// 2010-07-04 13:14:15 UTC in seconds since 1904.
constexpr uint64_t kCreation = 0xC85639A7;

struct Parts {
  uint16_t year = 0;
  uint16_t month = 0;
  uint16_t day = 0;
  uint16_t hour = 0;
  uint16_t minute = 0;
  uint16_t second = 0;

  std::string Text() const {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", year, month, day, hour,
                  minute, second);
    return text;
  }
};

class ParseMP4 : public testsupport::HermeticTest {
 protected:
  std::string Write(const std::string& name, const Bytes& bytes) {
    const std::filesystem::path path = Root() / name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  // The date of the file, or "none".
  std::string DateOf(const Bytes& bytes) {
    const std::string path = Write("movie.mp4", bytes);
    Parts parts;
    const int found = GetOriginalDateTime(path.c_str(), &parts.year, &parts.month, &parts.day,
                                          &parts.hour, &parts.minute, &parts.second);
    return found == 1 ? parts.Text() : found == 0 ? "none" : "bad answer";
  }

  static Bytes Moov(const Bytes& inside) { return B::Box("moov", inside); }
};

TEST_F(ParseMP4, FormatTypeComesFromTheMajorBrandOfTheFirstBox) {
  struct Case {
    const char* name;
    Bytes bytes;
    int type;
  };
  const Bytes quickTime = B::Ftyp("qt  ");
  const Case cases[] = {
      {"isom", B::Join({B::Ftyp("isom"), Moov({})}), 1},
      {"mp42", B::Ftyp("mp42"), 1},
      {"quicktime", B::Join({B::Ftyp("qt  "), Moov({})}), 2},
      {"ftyp of 12 bytes", B::Box("ftyp", {'q', 't', ' ', ' '}), 0},
      {"ftyp in a 64-bit box", B::LargeBox("ftyp", {'q', 't', ' ', ' ', 0, 0, 0, 0}), 2},
      {"ftyp cut short", Bytes(quickTime.begin(), quickTime.begin() + 10), 0},
      {"moov first", B::Join({Moov({}), B::Ftyp("isom")}), 0},
      {"empty file", {}, 0},
      {"size below the header", B::BoxWithSize("ftyp", 7, Bytes(12, 0)), 0},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    const std::string path = Write("a.mp4", entry.bytes);
    EXPECT_EQ(GetFormatType(path.c_str()), entry.type);
  }
  EXPECT_EQ(GetFormatType((Root() / "missing.mp4").string().c_str()), 0);
  EXPECT_EQ(GetFormatType(Root().string().c_str()), 0);
  EXPECT_EQ(GetFormatType(nullptr), 0);
}

TEST_F(ParseMP4, TheCreationTimeOfTheMovieHeaderIsTheDate) {
  const Bytes ftyp = B::Ftyp("isom");
  struct Case {
    const char* name;
    Bytes bytes;
    const char* date;
  };
  const Case cases[] = {
      {"version 0", B::Join({ftyp, Moov(B::Mvhd(0, kCreation))}), "2010-07-04 13:14:15"},
      {"version 1", B::Join({ftyp, Moov(B::Mvhd(1, kCreation))}), "2010-07-04 13:14:15"},
      {"after a 64-bit mdat",
       B::Join({ftyp, B::LargeBox("mdat", Bytes(300, 0xEE)), Moov(B::Mvhd(0, kCreation))}),
       "2010-07-04 13:14:15"},
      {"last moov of size 0",
       B::Join({ftyp, B::Box("free", {}), B::BoxWithSize("moov", 0, B::Mvhd(1, kCreation))}),
       "2010-07-04 13:14:15"},
      {"mvhd after another box in moov",
       B::Join({ftyp, Moov(B::Join({B::Box("udta", Bytes(20, 1)), B::Mvhd(0, kCreation)}))}),
       "2010-07-04 13:14:15"},
      {"moov without mvhd", B::Join({ftyp, Moov(B::Box("trak", Bytes(40, 0)))}), "none"},
      {"mvhd outside moov", B::Join({ftyp, B::Mvhd(0, kCreation)}), "none"},
      {"a box of size 7",
       B::Join({ftyp, B::BoxWithSize("free", 7, {}), Moov(B::Mvhd(0, kCreation))}), "none"},
      {"time 0", B::Join({ftyp, Moov(B::Mvhd(0, 0))}), "none"},
      {"no ftyp still dated", Moov(B::Mvhd(0, kCreation)), "2010-07-04 13:14:15"},
  };
  for (const Case& entry : cases) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(DateOf(entry.bytes), entry.date);
  }
}

TEST_F(ParseMP4, AFileCutInsideTheMovieHeaderHasNoDate) {
  const Bytes whole = B::Join({B::Ftyp("isom"), Moov(B::Mvhd(1, kCreation))});
  // The creation time ends 20 + 8 + 8 + 4 + 8 bytes in.
  const size_t timeEnd = B::Ftyp("isom").size() + 8 + 8 + 4 + 8;
  for (size_t length = timeEnd - 8; length < timeEnd; ++length) {
    SCOPED_TRACE(length);
    EXPECT_EQ(DateOf(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length))),
              "none");
  }
  EXPECT_EQ(DateOf(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(timeEnd))),
            "2010-07-04 13:14:15");
}

TEST_F(ParseMP4, TheBoxWalkStopsAfter1024BoxesOfALevel) {
  std::vector<Bytes> parts = {B::Ftyp("isom")};
  const auto dateAfterFreeBoxes = [&parts, this](size_t count) {
    std::vector<Bytes> boxes = parts;
    boxes.insert(boxes.end(), count, B::Box("free", {}));
    boxes.push_back(Moov(B::Mvhd(0, kCreation)));
    return DateOf(B::Join(boxes));
  };
  // ftyp, 1022 free boxes and moov make 1024 boxes.
  EXPECT_EQ(dateAfterFreeBoxes(1022), "2010-07-04 13:14:15");
  EXPECT_EQ(dateAfterFreeBoxes(1023), "none");
  EXPECT_EQ(dateAfterFreeBoxes(5000), "none");
}

TEST_F(ParseMP4, TheDateIsLocalTimeUnderTZ) {
  SetEnv("TZ", "JST-9");
  ::tzset();
  EXPECT_EQ(DateOf(B::Join({B::Ftyp("isom"), Moov(B::Mvhd(1, kCreation))})),
            "2010-07-04 22:14:15");
}

TEST_F(ParseMP4, MissingOutputsOrFileGiveNoDate) {
  const std::string path = Write("a.mp4", B::Join({B::Ftyp("isom"), Moov(B::Mvhd(0, kCreation))}));
  uint16_t part = 0;
  EXPECT_EQ(GetOriginalDateTime(path.c_str(), &part, &part, &part, &part, &part, nullptr), 0);
  EXPECT_EQ(GetOriginalDateTime(nullptr, &part, &part, &part, &part, &part, &part), 0);
  const std::string missing = (Root() / "missing.mp4").string();
  EXPECT_EQ(GetOriginalDateTime(missing.c_str(), &part, &part, &part, &part, &part, &part), 0);
  EXPECT_EQ(part, 0);
}

}  // namespace
