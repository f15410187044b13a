#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ISO base media boxes for tests, big-endian.
class Mp4BoxBuilder {
 public:
  using Bytes = std::vector<uint8_t>;

  // A box of type holding body, its size in the 32-bit field.
  static Bytes Box(const std::string& type, const Bytes& body) {
    Bytes box;
    Append32(box, static_cast<uint32_t>(8 + body.size()));
    AppendText(box, type);
    box.insert(box.end(), body.begin(), body.end());
    return box;
  }
  // A box whose size field is 1 and whose 64-bit size follows the type.
  static Bytes LargeBox(const std::string& type, const Bytes& body) {
    Bytes box;
    Append32(box, 1);
    AppendText(box, type);
    Append64(box, 16 + body.size());
    box.insert(box.end(), body.begin(), body.end());
    return box;
  }
  // A box with a size field of its own choosing.
  static Bytes BoxWithSize(const std::string& type, uint32_t size, const Bytes& body) {
    Bytes box;
    Append32(box, size);
    AppendText(box, type);
    box.insert(box.end(), body.begin(), body.end());
    return box;
  }
  // "ftyp" with a major brand, minor version 0 and one compatible brand.
  static Bytes Ftyp(const std::string& brand) {
    Bytes body;
    AppendText(body, brand);
    Append32(body, 0);
    AppendText(body, "isom");
    return Box("ftyp", body);
  }
  // "mvhd" of version 0 (32-bit times) or 1 (64-bit times), with a
  // creation time and the rest of a movie header.
  static Bytes Mvhd(uint8_t version, uint64_t creation) {
    Bytes body = {version, 0, 0, 0};
    if (version == 1) {
      Append64(body, creation);
      Append64(body, creation);
      Append32(body, 600);
      Append64(body, 0);
    } else {
      Append32(body, static_cast<uint32_t>(creation));
      Append32(body, static_cast<uint32_t>(creation));
      Append32(body, 600);
      Append32(body, 0);
    }
    body.resize(body.size() + 80, 0);
    return Box("mvhd", body);
  }

  static Bytes Join(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& part : parts) {
      all.insert(all.end(), part.begin(), part.end());
    }
    return all;
  }

  static void Append32(Bytes& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
      bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
  }
  static void Append64(Bytes& bytes, uint64_t value) {
    Append32(bytes, static_cast<uint32_t>(value >> 32));
    Append32(bytes, static_cast<uint32_t>(value));
  }
  static void AppendText(Bytes& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
  }
};
