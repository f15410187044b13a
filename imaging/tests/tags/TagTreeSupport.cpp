#include "imaging/tests/tags/TagTreeSupport.h"

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

#include "platform/memory/XpMemoryFile.h"

std::vector<uint8_t> WrittenBytes(XpTiffTagManager& tags) {
  XpMemoryFile file;
  const uint64_t written = tags.Write(file);
  EXPECT_EQ(written, file.GetDataSize());
  const auto* data = static_cast<const uint8_t*>(file.GetBuffer());
  return data != nullptr ? std::vector<uint8_t>(data, data + file.GetDataSize())
                         : std::vector<uint8_t>();
}

std::unique_ptr<XpTiffTagManager> ParsedBytes(const std::vector<uint8_t>& bytes,
                                              XpTiffMakerNoteMode mode, bool* parsed,
                                              int64_t base) {
  std::vector<uint8_t> copy = bytes;
  XpMemoryFile file(copy.data(), copy.size(), false);
  EXPECT_EQ(file.Seek(base, kXpSeekBegin), kXpOk);
  auto tags = std::make_unique<XpTiffTagManager>();
  const bool result = tags->Parse(file, mode);
  if (parsed != nullptr) {
    *parsed = result;
  }
  return tags;
}

std::string HexOf(const uint8_t* bytes, size_t count) {
  std::string text;
  for (size_t index = 0; index < count; ++index) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02X", bytes[index]);
    text += (index == 0 ? "" : " ") + std::string(byte);
  }
  return text;
}

std::string HexOf(const std::vector<uint8_t>& bytes) { return HexOf(bytes.data(), bytes.size()); }

std::string DescribeIFD(const XpTiffTagIFD& ifd, int depth) {
  const std::string indent(static_cast<size_t>(depth) * 2, ' ');
  std::string text = indent + (ifd.IsMakerNote() ? "maker-note IFD\n" : "IFD\n");
  for (int32_t index = 0; index < ifd.GetCount(); ++index) {
    const XpTiffTagDataBase& value = *ifd.GetAt(index);
    text += indent + "  " + std::to_string(value.GetTag()) + " type " +
            std::to_string(value.GetType()) + " count " + std::to_string(value.GetCount());
    if (!value.IsSubIFD()) {
      text += " [" + HexOf(value.GetData(), value.GetByteSize()) + "]\n";
      continue;
    }
    const auto& sub = static_cast<const XpTiffTagDataIFD&>(value);
    text += " holding " + std::to_string(sub.GetIFDCount()) + "\n";
    for (int32_t held = 0; held < sub.GetIFDCount(); ++held) {
      text += DescribeIFD(*sub.GetIFD(held), depth + 2);
    }
  }
  return text;
}

std::string DescribeTree(const XpTiffTagManager& tags) {
  if (tags.GetRoot() == nullptr) {
    return "no root\n";
  }
  std::string text = tags.IsBigEndian() ? "MM\n" : "II\n";
  for (int32_t index = 0; index < tags.GetIFDCount(); ++index) {
    text += DescribeIFD(*tags.GetIFD(index));
  }
  return text;
}

uint16_t Load16At(const std::vector<uint8_t>& bytes, size_t position, bool bigEndian) {
  const uint16_t a = bytes.at(position);
  const uint16_t b = bytes.at(position + 1);
  return static_cast<uint16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
}

uint32_t Load32At(const std::vector<uint8_t>& bytes, size_t position, bool bigEndian) {
  const uint32_t low = Load16At(bytes, position + (bigEndian ? 2 : 0), bigEndian);
  const uint32_t high = Load16At(bytes, position + (bigEndian ? 0 : 2), bigEndian);
  return (high << 16) | low;
}

// IFD 0, Exif with a marked maker note and Interop, GPS, and IFD 1, with a
// value of every type.
std::unique_ptr<XpTiffTagManager> FullTagTree(bool bigEndian) {
  auto tags = std::make_unique<XpTiffTagManager>();
  if (!tags->Reset()) {
    return tags;
  }
  tags->SetByteOrder(bigEndian ? kXpByteOrderBigEndian : kXpByteOrderLittleEndian);
  auto* ifd0 = new XpTiffTagIFD();
  ifd0->SetAscii(271, "KAVO");
  ifd0->SetAscii(272, "K2 camera model");
  ifd0->SetShort(274, 6);
  ifd0->SetRational(282, 72, 1);
  ifd0->SetAscii(306, "2009:05:06 07:08:09");

  auto* exif = new XpTiffTagIFD();
  exif->SetUndefined(36864, "0221", 4);
  exif->SetRational(33434, 1, 250);
  exif->SetSLong(37377, -5);
  exif->SetFloat(41000, 2.5f);
  exif->SetByte(41728, 3);
  exif->SetUndefined(37510, "ASCII\0\0\0comment", 15);
  auto* sshorts = XpTiffTagDataCreate(8, 41001, 3);
  const int16_t shorts[3] = {-1, 2, -300};
  std::memcpy(sshorts->GetData(), shorts, sizeof shorts);
  exif->SetEntry(sshorts);
  auto* srational = XpTiffTagDataCreate(10, 37380, 1);
  const int32_t words[2] = {-1, 3};
  std::memcpy(srational->GetData(), words, sizeof words);
  exif->SetEntry(srational);
  auto* doubles = XpTiffTagDataCreate(12, 41002, 2);
  const double reals[2] = {0.5, -1e10};
  std::memcpy(doubles->GetData(), reals, sizeof reals);
  exif->SetEntry(doubles);
  auto* sbytes = XpTiffTagDataCreate(6, 41003, 3);
  std::memcpy(sbytes->GetData(), "\xFF\x01\x80", 3);
  exif->SetEntry(sbytes);

  auto* makerNote = new XpTiffTagIFD();
  makerNote->SetMakerNote(true);
  makerNote->SetShort(1, 5);
  makerNote->SetLong(0x2001, 1234);
  makerNote->SetAscii(2, "maker text of some length");
  XpTiffTagDataIFD* makerValue = XpTiffTagDataIFD::Create(37500, 0);
  makerValue->AddIFD(makerNote);
  exif->SetEntry(makerValue);

  auto* interop = new XpTiffTagIFD();
  interop->SetAscii(1, "R98");
  interop->SetUndefined(2, "0100", 4);
  XpTiffTagDataIFD* interopValue = XpTiffTagDataIFD::Create(40965, 0);
  interopValue->AddIFD(interop);
  exif->SetEntry(interopValue);

  XpTiffTagDataIFD* exifValue = XpTiffTagDataIFD::Create(34665, 0);
  exifValue->AddIFD(exif);
  ifd0->SetEntry(exifValue);

  auto* gps = new XpTiffTagIFD();
  const uint8_t version[4] = {2, 2, 0, 0};
  auto* gpsVersion = XpTiffTagDataCreate(1, 0, 4);
  std::memcpy(gpsVersion->GetData(), version, 4);
  gps->SetEntry(gpsVersion);
  gps->SetAscii(1, "N");
  auto* latitude = XpTiffTagDataCreate(5, 2, 3);
  const uint32_t degrees[6] = {35, 1, 40, 1, 1234, 100};
  std::memcpy(latitude->GetData(), degrees, sizeof degrees);
  gps->SetEntry(latitude);
  XpTiffTagDataIFD* gpsValue = XpTiffTagDataIFD::Create(34853, 0);
  gpsValue->AddIFD(gps);
  ifd0->SetEntry(gpsValue);
  tags->GetRoot()->AddIFD(ifd0);

  auto* ifd1 = new XpTiffTagIFD();
  ifd1->SetShort(259, 6);
  ifd1->SetLong(513, 1000);
  ifd1->SetLong(514, 5000);
  tags->GetRoot()->AddIFD(ifd1);
  return tags;
}
