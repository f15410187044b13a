#include "imaging/tests/format/FormatTestSupport.h"

#include <cstdio>

#include <gtest/gtest.h>

#include "imaging/jpeg/XpImageIoJpeg.h"
#include "imaging/tests/jpeg/JpegBuilder.h"
#include "imaging/tests/jpeg/JpegTestSupport.h"

namespace formattest {

XpString FormatTest::PathIn(const std::string& name) const { return PathText(Root() / name); }

XpString FormatTest::WriteFile(const std::string& name, const Bytes& bytes) const {
  WriteBytes(Root() / name, bytes);
  return PathIn(name);
}

XpString FormatTest::WriteJpeg(const std::string& name,
                               std::unique_ptr<XpTiffTagManager> tags) const {
  const auto pixmap = SolidBGR(32, 24, 10, 120, 200);
  XpImageIoJpeg writer(XpImageIoJpeg::kDefaultQuality, u"Kavo format test");
  const XpString path = PathIn(name);
  EXPECT_EQ(writer.WriteToPath(pixmap.get(), XpSharedPtr<XpTiffTagManager>(tags.release()), path,
                               nullptr, XpRect(), false, false),
            kXpOk);
  return path;
}

XpString FormatTest::WritePlainJpeg(const std::string& name) const {
  return WriteFile(name, BuildFrame(16, 16, FrameModel::kRgb, 200, 100, 50));
}

std::unique_ptr<XpTiffTagManager> ExifTags(const std::string& date, bool marked) {
  auto tags = std::make_unique<XpTiffTagManager>();
  if (!tags->Reset()) {
    return tags;
  }
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(271, "KAVO");
  auto* exif = new XpTiffTagIFD();
  if (!date.empty()) {
    exif->SetAscii(36867, date.c_str());
  }
  if (marked) {
    auto* makerNote = new XpTiffTagIFD();
    makerNote->SetMakerNote(true);
    const uint8_t mark[4] = {1, 0, 0, 0};
    makerNote->SetUndefined(4096, mark, sizeof mark);
    XpTiffTagDataIFD* makerValue = XpTiffTagDataIFD::Create(37500, 0);
    makerValue->AddIFD(makerNote);
    exif->SetEntry(makerValue);
  }
  XpTiffTagDataIFD* exifValue = XpTiffTagDataIFD::Create(34665, 0);
  exifValue->AddIFD(exif);
  ifd0->SetEntry(exifValue);
  tags->GetRoot()->AddIFD(ifd0);
  return tags;
}

std::string DateText(const XpDateTime& date) {
  if (!date.IsValid()) {
    return "not valid";
  }
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", date.GetYear(),
                date.GetMonth(), date.GetDay(), date.GetHour(), date.GetMinute(),
                date.GetSecond());
  return text;
}

}  // namespace formattest
