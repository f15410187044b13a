#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace formattest {

// Byte builders for the movie containers of the format tests.
using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text);
Bytes Join(const std::vector<Bytes>& parts);
void PutLe32(Bytes& bytes, uint64_t position, uint32_t value);

// RIFF, little-endian: a chunk with its size, a list, and the whole file.
Bytes RiffChunk(const std::string& id, const Bytes& body);
Bytes RiffList(const std::string& type, const std::vector<Bytes>& chunks);
Bytes RiffFile(const std::vector<Bytes>& chunks);
// "avih" of 56 bytes.
Bytes Avih();
// "strh" of 56 bytes: stream type and handler first.
Bytes Strh(const std::string& type, const std::string& handler);
// A JUNK chunk that brings the bytes to at least size.
Bytes PaddedTo(const Bytes& bytes, size_t size);

// Motion JPEG AVIs: the stream list with strf, strd and, when strn is not
// empty, a stream name; then, when set, an INFO list with ISFT, or an IDIT
// chunk after a second list inside hdrl. Padded to 1200 bytes.
struct MjpgAvi {
  std::string handler = "MJPG";
  std::string strn;
  std::string isft;
  std::string idit;
  Bytes Build() const;
};

// A DV AVI whose first "00db" chunk holds a header block, then a VAUX block
// with the date pack (day, month, year) and the time pack (second, minute,
// hour); an audio chunk comes first in the movie list.
Bytes DvAvi(const Bytes& datePack, const Bytes& timePack);

// MPEG program stream: a pack header of MPEG-2, then packets.
Bytes PackHeader();
Bytes PesPacket(uint8_t streamId, const Bytes& body);
// A private stream 2 packet whose block of 170 bytes holds "ARI_DATA", 0x01
// and the five date bytes at 162.
Bytes AriPacket(const Bytes& dateBytes);

// MPEG transport stream packets of 188 bytes.
// A program map packet on PID 0x100 whose program info holds one
// descriptor (tag, body); infoLength replaces the body's length when not 0.
Bytes PmtPacket(uint8_t tag, const std::string& body, uint16_t infoLength = 0);
// A packet on PID 0x811 whose payload (after an adaptation field of that
// length when adaptation > 0) holds the date mark and P[42..48].
Bytes TsDatePacket(const Bytes& dateFields, int adaptation = -1);
Bytes NullPacket();
// Each packet after a four-byte time code.
Bytes Timed(const std::vector<Bytes>& packets);

}  // namespace formattest
