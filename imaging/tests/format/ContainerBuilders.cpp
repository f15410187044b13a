#include "imaging/tests/format/ContainerBuilders.h"

#include <algorithm>

namespace formattest {
namespace {

constexpr size_t kTsPacket = 188;

void Append32Le(Bytes& bytes, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<uint8_t>(value >> shift));
  }
}

void Append(Bytes& bytes, const Bytes& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
}

Bytes Packet(Bytes bytes) {
  bytes.resize(kTsPacket, 0xFF);
  return bytes;
}

}  // namespace

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Join(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    Append(all, part);
  }
  return all;
}

void PutLe32(Bytes& bytes, uint64_t position, uint32_t value) {
  for (int index = 0; index < 4; ++index) {
    bytes.at(position + index) = static_cast<uint8_t>(value >> (8 * index));
  }
}

Bytes RiffChunk(const std::string& id, const Bytes& body) {
  Bytes chunk = Text(id);
  Append32Le(chunk, static_cast<uint32_t>(body.size()));
  Append(chunk, body);
  return chunk;
}

Bytes RiffList(const std::string& type, const std::vector<Bytes>& chunks) {
  return RiffChunk("LIST", Join({Text(type), Join(chunks)}));
}

Bytes RiffFile(const std::vector<Bytes>& chunks) {
  return RiffChunk("RIFF", Join({Text("AVI "), Join(chunks)}));
}

Bytes Avih() { return RiffChunk("avih", Bytes(56, 0)); }

Bytes Strh(const std::string& type, const std::string& handler) {
  Bytes body = Join({Text(type), Text(handler)});
  body.resize(56, 0);
  return RiffChunk("strh", body);
}

Bytes PaddedTo(const Bytes& bytes, size_t size) {
  if (bytes.size() + 8 >= size) {
    return Join({bytes, RiffChunk("JUNK", {})});
  }
  return Join({bytes, RiffChunk("JUNK", Bytes(size - bytes.size() - 8, 0))});
}

Bytes MjpgAvi::Build() const {
  std::vector<Bytes> streamList = {Strh("vids", handler), RiffChunk("strf", Bytes(40, 0)),
                                   RiffChunk("strd", Bytes(8, 0))};
  if (!strn.empty()) {
    streamList.push_back(RiffChunk("strn", Text(strn)));
  }
  std::vector<Bytes> header = {Avih(), RiffList("strl", streamList)};
  if (!idit.empty()) {
    header.push_back(RiffList("odml", {RiffChunk("dmlh", Bytes(16, 0))}));
    header.push_back(RiffChunk("IDIT", Text(idit)));
  }
  std::vector<Bytes> top = {RiffList("hdrl", header)};
  if (!isft.empty()) {
    top.push_back(RiffList("INFO", {RiffChunk("ISFT", Text(isft))}));
  }
  top.push_back(RiffList("movi", {RiffChunk("00db", Bytes(64, 0x11))}));
  Bytes file = RiffFile(top);
  file = PaddedTo(file, 1200);
  PutLe32(file, 4, static_cast<uint32_t>(file.size() - 8));
  return file;
}

Bytes DvAvi(const Bytes& datePack, const Bytes& timePack) {
  constexpr size_t kBlock = 80;
  Bytes header(kBlock, 0x00);
  header[0] = 0x1F;
  Bytes vaux(kBlock, 0xFF);
  vaux[0] = 0x56;
  vaux[1] = 0x00;
  vaux[2] = 0x00;
  // Two filler packs, then the date and time packs.
  std::copy(datePack.begin(), datePack.end(), vaux.begin() + 3 + 2 * 5);
  std::copy(timePack.begin(), timePack.end(), vaux.begin() + 3 + 3 * 5);
  Bytes video = Join({header, Bytes(kBlock, 0x90), vaux, Bytes(kBlock, 0x90)});
  Bytes file = RiffFile({RiffList("hdrl", {Avih(), RiffList("strl", {Strh("iavs", "dvsd")})}),
                         RiffList("movi", {RiffChunk("01wb", Bytes(8, 0)),
                                           RiffChunk("00db", video)})});
  file = PaddedTo(file, 1200);
  PutLe32(file, 4, static_cast<uint32_t>(file.size() - 8));
  return file;
}

Bytes PackHeader() {
  Bytes pack = {0x00, 0x00, 0x01, 0xBA, 0x44, 0x00, 0x04, 0x00, 0x04, 0x01, 0x01, 0x89, 0xC3, 0xF8};
  return pack;
}

Bytes PesPacket(uint8_t streamId, const Bytes& body) {
  Bytes packet = {0x00, 0x00, 0x01, streamId, static_cast<uint8_t>(body.size() >> 8),
                  static_cast<uint8_t>(body.size())};
  Append(packet, body);
  return packet;
}

Bytes AriPacket(const Bytes& dateBytes) {
  Bytes block(170, 0);
  const Bytes mark = Text("ARI_DATA");
  std::copy(mark.begin(), mark.end(), block.begin());
  block[8] = 0x01;
  block[9] = 0x02;
  std::copy(dateBytes.begin(), dateBytes.end(), block.begin() + 162);
  return PesPacket(0xBF, Join({Bytes(60, 0), block, Bytes(10, 0xFF)}));
}

Bytes PmtPacket(uint8_t tag, const std::string& body, uint16_t infoLength) {
  const Bytes descriptor = Join({{tag, static_cast<uint8_t>(body.size())}, Text(body)});
  const uint16_t info = infoLength != 0 ? infoLength : static_cast<uint16_t>(descriptor.size());
  // One video stream entry and the CRC follow the descriptors.
  const Bytes stream = {0x02, 0xE1, 0x01, 0xF0, 0x00};
  const size_t sectionLength = 9 + descriptor.size() + stream.size() + 4;
  Bytes packet = {0x47, 0x41, 0x00, 0x10, 0x00};
  Append(packet, {0x02, static_cast<uint8_t>(0xB0 | (sectionLength >> 8)),
                  static_cast<uint8_t>(sectionLength), 0x00, 0x01, 0xC1, 0x00, 0x00, 0xE1, 0x01,
                  static_cast<uint8_t>(0xF0 | (info >> 8)), static_cast<uint8_t>(info)});
  Append(packet, descriptor);
  Append(packet, stream);
  Append(packet, {0x12, 0x34, 0x56, 0x78});
  return Packet(packet);
}

Bytes TsDatePacket(const Bytes& dateFields, int adaptation) {
  Bytes packet = {0x47, 0x48, 0x11, static_cast<uint8_t>(adaptation >= 0 ? 0x30 : 0x10)};
  if (adaptation >= 0) {
    packet.push_back(static_cast<uint8_t>(adaptation));
    packet.resize(packet.size() + static_cast<size_t>(adaptation), 0xFF);
  }
  Bytes payload(49, 0);
  payload[2] = 0x01;
  payload[3] = 0xBF;
  payload[6] = 0x44;
  payload[7] = 0x39;
  std::copy(dateFields.begin(), dateFields.end(), payload.begin() + 42);
  Append(packet, payload);
  packet.resize(std::max(packet.size(), kTsPacket), 0xFF);
  packet.resize(kTsPacket);
  return packet;
}

Bytes NullPacket() { return Packet({0x47, 0x1F, 0xFF, 0x10}); }

Bytes Timed(const std::vector<Bytes>& packets) {
  Bytes all;
  for (const Bytes& packet : packets) {
    Append(all, {0x00, 0x00, 0x00, 0x00});
    Append(all, packet);
  }
  return all;
}

}  // namespace formattest
