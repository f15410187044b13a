#include "imaging/tests/icc/IccProfileBuilder.h"

#include <cassert>

IccBytes& IccBytes::Sig(std::string_view text) {
  assert(text.size() == 4);
  return Bytes(text);
}

IccBytes& IccBytes::U16(uint16_t value) {
  data_.push_back(static_cast<uint8_t>(value >> 8));
  data_.push_back(static_cast<uint8_t>(value));
  return *this;
}

IccBytes& IccBytes::U32(uint32_t value) {
  U16(static_cast<uint16_t>(value >> 16));
  return U16(static_cast<uint16_t>(value));
}

IccBytes& IccBytes::Bytes(std::string_view bytes) {
  data_.insert(data_.end(), bytes.begin(), bytes.end());
  return *this;
}

IccBytes& IccBytes::Zeros(size_t count) {
  data_.insert(data_.end(), count, 0);
  return *this;
}

std::vector<uint8_t> IccDescData(std::string_view text, uint32_t count) {
  return IccBytes().Sig("desc").U32(0).U32(count).Bytes(text).Data();
}

std::vector<uint8_t> IccDescData(std::string_view text) {
  // The ASCII part with its NUL, then empty Unicode and ScriptCode parts.
  IccBytes bytes;
  bytes.Sig("desc").U32(0).U32(static_cast<uint32_t>(text.size() + 1)).Bytes(text).Zeros(1);
  return bytes.U32(0).U32(0).U16(0).Zeros(1 + 67).Data();
}

std::vector<uint8_t> IccTextData(std::string_view text) {
  return IccBytes().Sig("text").U32(0).Bytes(text).Data();
}

std::vector<uint8_t> IccCurveData(const std::vector<uint16_t>& entries) {
  IccBytes bytes;
  bytes.Sig("curv").U32(0).U32(static_cast<uint32_t>(entries.size()));
  for (uint16_t entry : entries) {
    bytes.U16(entry);
  }
  return bytes.Data();
}

std::vector<uint8_t> IccParaData(uint16_t functionType, const std::vector<uint32_t>& rawNumbers) {
  IccBytes bytes;
  bytes.Sig("para").U32(0).U16(functionType).U16(0);
  for (uint32_t number : rawNumbers) {
    bytes.U32(number);
  }
  return bytes.Data();
}

std::vector<uint8_t> IccNumbersData(std::string_view signature,
                                    const std::vector<uint32_t>& rawNumbers) {
  IccBytes bytes;
  bytes.Sig(signature).U32(0);
  for (uint32_t number : rawNumbers) {
    bytes.U32(number);
  }
  return bytes.Data();
}

IccProfileBuilder& IccProfileBuilder::FileSignature(std::string_view signature) {
  fileSignature_ = std::string(signature);
  return *this;
}

IccProfileBuilder& IccProfileBuilder::Tag(std::string_view signature, std::vector<uint8_t> data) {
  tags_.push_back({std::string(signature), std::move(data), -1, -1});
  return *this;
}

IccProfileBuilder& IccProfileBuilder::TagWithSize(std::string_view signature,
                                                  std::vector<uint8_t> data,
                                                  uint32_t declaredSize) {
  tags_.push_back({std::string(signature), std::move(data), declaredSize, -1});
  return *this;
}

IccProfileBuilder& IccProfileBuilder::SharedTag(std::string_view signature, size_t dataOf) {
  tags_.push_back({std::string(signature), {}, -1, static_cast<int64_t>(dataOf)});
  return *this;
}

std::vector<uint8_t> IccProfileBuilder::Build() const {
  constexpr uint32_t kHeaderBytes = 128;
  constexpr uint32_t kEntryBytes = 12;
  std::vector<uint32_t> offsets;
  std::vector<uint32_t> sizes;
  IccBytes data;
  uint32_t next = kHeaderBytes + 4 + kEntryBytes * static_cast<uint32_t>(tags_.size());
  for (const TagEntry& tag : tags_) {
    if (tag.dataOf >= 0) {
      offsets.push_back(offsets.at(static_cast<size_t>(tag.dataOf)));
      sizes.push_back(sizes.at(static_cast<size_t>(tag.dataOf)));
      continue;
    }
    offsets.push_back(next);
    sizes.push_back(tag.declaredSize >= 0 ? static_cast<uint32_t>(tag.declaredSize)
                                          : static_cast<uint32_t>(tag.data.size()));
    data.Bytes(std::string_view(reinterpret_cast<const char*>(tag.data.data()), tag.data.size()));
    next += static_cast<uint32_t>(tag.data.size());
  }

  IccBytes profile;
  profile.U32(next).Sig("test").U32(0x02100000).Sig("mntr").Sig("RGB ").Sig("XYZ ");
  profile.U16(2009).U16(5).U16(6).U16(7).U16(8).U16(9);
  profile.Sig(fileSignature_).Sig("APPL").U32(3).Sig("KAVO").U32(0x4B32).Zeros(8);
  profile.U32(1).U32(0x0000F6D6).U32(0x00010000).U32(0x0000D32D).Sig("tcre");
  for (uint8_t id = 1; id <= 16; ++id) {
    profile.Bytes(std::string(1, static_cast<char>(id)));
  }
  profile.Zeros(28);
  assert(profile.Data().size() == kHeaderBytes);
  profile.U32(static_cast<uint32_t>(tags_.size()));
  for (size_t index = 0; index < tags_.size(); ++index) {
    profile.Sig(tags_[index].signature).U32(offsets[index]).U32(sizes[index]);
  }
  std::vector<uint8_t> bytes = profile.Data();
  bytes.insert(bytes.end(), data.Data().begin(), data.Data().end());
  return bytes;
}
