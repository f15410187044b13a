#include "platform/volume/XpFilePathConverter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/tests/volume/VolumeEventRecorder.h"
#include "platform/tests/volume/VolumeTestTree.h"

namespace {

using fstest::ToXp;
using fstest::WriteBytes;
using volumetest::VolumeEventRecorder;

constexpr const char16_t* kDocumentsToken = u"<MYDOCUMENTS>";
constexpr const char16_t* kVolumeFormat = u"<%08X%08X>";
constexpr const char16_t* kDataToken = u"<1234ABCD00000002>";
constexpr uint32_t kShortInterval = 50;

// Documents in $HOME/Documents; a fixed volume "mnt/data" with the serial
// "1234-ABCD" on partition 2; a removable card; a cifs share; and "/" itself
// as a fixed volume with a serial.
class XpFilePathConverterFixture : public volumetest::VolumeFixture {
 protected:
  void SetUp() override {
    VolumeFixture::SetUp();
    home_ = ToXp(Dir("home"));
    WriteBytes(Dir("home/.config") / "user-dirs.dirs",
               "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
    Fake().AddBlockDevice(volumetest::kFixedMajor, 1,
                          std::string(volumetest::kFixedDisk) + "/vda1", 1);
    Fake().AddDiskLink("by-uuid", "0BAD-F00D", "vda1");
    Fake().AddMount({"/", "ext4", "/dev/vda1", volumetest::kFixedMajor, 1});
    // The card comes with the same UUID link; the data volume takes it over.
    card_ = ToXp(AddCard());
    data_ = ToXp(AddFixedDisk("mnt/data", "ext4", 2));
    Fake().AddDiskLink("by-uuid", "1234-ABCD", "vda2");
    share_ = ToXp(Dir("net/share"));
    Fake().AddMount({fstest::ToUtf8(share_), "cifs", "//server/share", 0, 55});
  }

  XpString home_;
  XpString data_;
  XpString card_;
  XpString share_;
};
using XpFilePathConverter = XpFilePathConverterFixture;

TEST_F(XpFilePathConverter, ToPortablePath) {
  ::XpFilePathConverter converter(kDocumentsToken, kVolumeFormat);
  struct Case {
    XpString path;
    XpString expected;
  };
  const Case cases[] = {
      {home_ + u"/Documents/a.jpg", XpString(u"<MYDOCUMENTS>/a.jpg")},
      {home_ + u"/Documents", XpString(u"<MYDOCUMENTS>")},
      {data_ + u"/Other/b.jpg", kDataToken + XpString(u"/Other/b.jpg")},
      // Case-sensitive, and only on a component boundary.
      {home_ + u"/documents/a.jpg", home_ + u"/documents/a.jpg"},
      {home_ + u"/Documents2/x", home_ + u"/Documents2/x"},
      {data_ + u"2/x", data_ + u"2/x"},
      // "/" is never a prefix; removable and network volumes get no token.
      {XpString(u"/etc/x"), XpString(u"/etc/x")},
      {card_ + u"/DCIM/c.jpg", card_ + u"/DCIM/c.jpg"},
      {share_ + u"/d.jpg", share_ + u"/d.jpg"},
      {XpString(), XpString()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(converter.ToPortablePath(c.path), c.expected) << fstest::ToUtf8(c.path);
  }
}

TEST_F(XpFilePathConverter, ToRealPathNeverGivesARelativePath) {
  ::XpFilePathConverter converter(kDocumentsToken, kVolumeFormat);
  struct Case {
    XpString path;
    XpString expected;
  };
  const Case cases[] = {
      {XpString(u"<MYDOCUMENTS>/a.jpg"), home_ + u"/Documents/a.jpg"},
      {kDataToken + XpString(u"/Other/b.jpg"), data_ + u"/Other/b.jpg"},
      // Text stored after a token is kept as it is.
      {kDataToken + XpString(u"x"), data_ + u"x"},
      {XpString(u"/etc/x"), XpString(u"/etc/x")},
      {XpString(), XpString()},
      // A token whose volume is absent would be a relative path.
      {XpString(u"<0000000100000002>/Other/b.jpg"), XpString()},
      {XpString(u"relative/x"), XpString()},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(converter.ToRealPath(c.path), c.expected) << fstest::ToUtf8(c.path);
  }
}

TEST_F(XpFilePathConverter, PairsKeepTheirOrderAndTheFirstMatchWins) {
  ::XpFilePathConverter converter(kDocumentsToken, kVolumeFormat);
  std::vector<::XpFilePathConverter::Pair> pairs = converter.GetPairs();
  ASSERT_EQ(pairs.size(), 2u);
  EXPECT_EQ(pairs[0], ::XpFilePathConverter::Pair(home_ + u"/Documents", kDocumentsToken));
  EXPECT_EQ(pairs[1], ::XpFilePathConverter::Pair(data_, kDataToken));

  // A volume holding the documents folder: documents still win.
  converter.AddPair(home_, u"<HOME>");
  converter.AddPair(u"/media/u/CAM", u"<CAM>");
  EXPECT_EQ(converter.ToPortablePath(home_ + u"/Documents/a"), XpString(u"<MYDOCUMENTS>/a"));
  EXPECT_EQ(converter.ToPortablePath(home_ + u"/b"), XpString(u"<HOME>/b"));
  EXPECT_EQ(converter.ToPortablePath(u"/media/u/CAM2/x"), XpString(u"/media/u/CAM2/x"));

  // AddPair replaces a pair of the same real path by a last one.
  converter.AddPair(data_, u"<NEW>");
  pairs = converter.GetPairs();
  ASSERT_EQ(pairs.size(), 4u);
  EXPECT_EQ(pairs.back(), ::XpFilePathConverter::Pair(data_, u"<NEW>"));
  EXPECT_EQ(converter.SetToken(data_, u"<SET>"), kXpOk);
  EXPECT_EQ(converter.SetToken(u"/nowhere", u"<X>"), kXpErrBadArgument);
  EXPECT_EQ(converter.ToPortablePath(data_ + u"/f"), XpString(u"<SET>/f"));
  converter.RemovePair(data_);
  EXPECT_EQ(converter.ToPortablePath(data_ + u"/f"), data_ + u"/f");
  EXPECT_EQ(converter.GetPairs().size(), 3u);

  // A pair without a real path (documents that cannot be told) never matches.
  converter.AddPair(XpString(), u"<EMPTY>");
  EXPECT_EQ(converter.ToPortablePath(u"/x"), XpString(u"/x"));
  EXPECT_EQ(converter.ToRealPath(u"<EMPTY>/x"), XpString());
}

TEST_F(XpFilePathConverter, FollowsAMovedVolume) {
  ::XpFilePathConverter converter(kDocumentsToken, kVolumeFormat);
  converter.SetInterval(kShortInterval);
  VolumeEventRecorder recorder;
  ASSERT_EQ(converter.AddCallback(&recorder), kXpOk);
  ASSERT_EQ(converter.Start(), kXpOk);

  std::vector<testsupport::FakeMount> mounts = Fake().Mounts();
  const XpString moved = ToXp(Dir("mnt/d2"));
  for (testsupport::FakeMount& mount : mounts) {
    if (mount.mountPoint == fstest::ToUtf8(data_)) mount.mountPoint = fstest::ToUtf8(moved);
  }
  Fake().SetMounts(mounts);
  // The converter hears each change before this later callback does.
  ASSERT_TRUE(recorder.WaitFor(moved + u"/", true));
  ASSERT_TRUE(recorder.WaitFor(data_ + u"/", false));
  EXPECT_EQ(converter.ToRealPath(kDataToken + XpString(u"/Other/b.jpg")), moved + u"/Other/b.jpg");
  EXPECT_EQ(converter.ToPortablePath(data_ + u"/b.jpg"), data_ + u"/b.jpg");

  Fake().RemoveMount(fstest::ToUtf8(moved));
  ASSERT_TRUE(recorder.WaitFor(moved + u"/", false));
  EXPECT_EQ(converter.ToRealPath(kDataToken + XpString(u"/Other/b.jpg")), XpString());
  EXPECT_EQ(converter.Stop(), kXpOk);
}

TEST_F(XpFilePathConverter, ConvertsWhileAnotherThreadChangesThePairs) {
  constexpr int kConverters = 4;
  constexpr int kRounds = 2000;
  ::XpFilePathConverter converter(kDocumentsToken, kVolumeFormat);
  const XpString inside = data_ + u"/Other/b.jpg";
  const XpString portable = kDataToken + XpString(u"/Other/b.jpg");
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kConverters; ++i) {
    threads.emplace_back([&] {
      for (int round = 0; round < kRounds; ++round) {
        if (converter.ToPortablePath(inside) != portable) ++wrong;
        if (converter.ToRealPath(portable) != inside) ++wrong;
      }
    });
  }
  threads.emplace_back([&] {
    for (int round = 0; round < kRounds; ++round) {
      converter.AddPair(u"/tmp/extra", u"<EXTRA>");
      converter.RemovePair(u"/tmp/extra");
    }
  });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
