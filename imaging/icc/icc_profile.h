#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "imaging/icc/icc_profile_header.h"
#include "imaging/icc/icc_tag.h"
#include "imaging/icc/icc_tools.h"

// An ICC colour profile as read from a picture: its header and its "desc"
// tags, in the order of the tag table. Nothing else is read.
class icc_profile : public icc_tools {
 public:
  icc_profile() = default;

  // Reads a profile from the file's position; tag offsets count from the
  // start of the file, so a profile inside a larger file is handed over in
  // a file of its own. Only "desc" tags are read; the others are skipped.
  // The first failing read or seek ends it with its result (kXpErrEndOfFile
  // also when the texts held would pass the size of the file, as tag data
  // shared by many entries would make them); what was read so far stays.
  [[nodiscard]] virtual XpResult Read(XpAbstractFile& file);

  icc_profile_header GetHeader() const { return header_; }
  int32_t GetTagCount() const { return static_cast<int32_t>(tags_.size()); }
  bool HasTag(std::string_view name) const;
  // The first tag called name; a default tag when there is none.
  icc_tag GetTag(std::string_view name) const;
  std::vector<IccSignature> GetTagSignatures() const;
  void AddTag(const icc_tag& tag) { tags_.push_back(tag); }

 private:
  // Reads the content of one table entry at offset; a tag other than "desc"
  // is skipped. heldBytes counts the text bytes held so far.
  [[nodiscard]] XpResult ReadTag(XpAbstractFile& file, IccSignature signature, uint32_t offset,
                                 uint32_t size, uint64_t& heldBytes, uint64_t fileBytes);
  const icc_tag* FindTag(std::string_view name) const;

  icc_profile_header header_;
  std::vector<icc_tag> tags_;
};
