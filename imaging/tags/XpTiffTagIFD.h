#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "imaging/tags/XpTiffTagData.h"
#include "platform/text/XpString.h"
#include "platform/text/XpStringA.h"

// One IFD: its values in insertion order (sorted by tag only for writing),
// never two with one tag. A maker-note IFD is written behind the maker-note
// marker.
class XpTiffTagIFD {
 public:
  XpTiffTagIFD();
  XpTiffTagIFD(const XpTiffTagIFD&) = delete;
  XpTiffTagIFD& operator=(const XpTiffTagIFD&) = delete;
  ~XpTiffTagIFD();

  // Takes ownership of value: it replaces the entry with its tag, in that
  // entry's place, or is appended. Returns the index of the last entry, or
  // -1 for a null value.
  int32_t SetEntry(XpTiffTagDataBase* value);
  // The entry with the tag; with recurse, the IFDs of sub-IFD values are
  // searched too, depth-first in entry order, except those of the maker
  // note and of tag 0xB028. Null when absent.
  XpTiffTagDataBase* FindTag(uint16_t tag, bool recurse) const;
  int32_t GetCount() const { return static_cast<int32_t>(entries_.size()); }
  // Null when index is out of range.
  XpTiffTagDataBase* GetAt(int32_t index) const;
  // Deletes the entry at index and closes the gap; out of range does nothing.
  void RemoveAt(int32_t index);
  // A deep copy; null when memory ran out.
  XpTiffTagIFD* Clone() const;

  bool IsMakerNote() const { return isMakerNote_; }
  void SetMakerNote(bool isMakerNote) { isMakerNote_ = isMakerNote; }

  // Typed setters: a value of count 1 (SetAscii and SetUndefined: of the
  // length given) put in through SetEntry, whose result they return; -1
  // when memory ran out.
  int32_t SetByte(uint16_t tag, uint8_t value);
  // length bytes of text, NUL-padded when the text is shorter; a negative
  // length means strlen + 1, the NUL stored and counted. Null reads as "".
  int32_t SetAscii(uint16_t tag, const char* text, int32_t length = -1);
  int32_t SetShort(uint16_t tag, uint16_t value);
  int32_t SetLong(uint16_t tag, uint32_t value);
  int32_t SetRational(uint16_t tag, uint32_t numerator, uint32_t denominator);
  // count bytes; null bytes leaves them zero.
  int32_t SetUndefined(uint16_t tag, const void* bytes, uint32_t count);
  int32_t SetSLong(uint16_t tag, int32_t value);
  int32_t SetFloat(uint16_t tag, float value);

  // Typed reads of the value FindTag(tag, recurse) finds: its element at
  // index when the value has exactly the reader's type code and index is
  // below its count, else 0.
  uint8_t GetByte(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  uint8_t GetUndefinedByte(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  uint16_t GetShort(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  uint32_t GetLong(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  int32_t GetSLong(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  // Numerator / denominator, both unsigned (GetSRationalValue: signed); 0
  // also for a zero denominator.
  double GetRationalValue(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  double GetSRationalValue(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  float GetFloat(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  double GetDouble(uint16_t tag, bool recurse = false, uint32_t index = 0) const;
  bool HasTag(uint16_t tag, bool recurse = false) const { return FindTag(tag, recurse) != nullptr; }
  // The text of an ASCII value up to its first NUL; empty for any other
  // type.
  XpStringA GetAsciiA(uint16_t tag, bool recurse = false) const;
  XpString GetAscii(uint16_t tag, bool recurse = false) const;

  // Orders the entries by tag, and gives every sub-IFD value the count of
  // the IFDs it holds, over zeroed offsets.
  void Sort();
  // The bytes the writer lays out for this IFD: marker, count, entries, next
  // link and value area, and with withSubIFDs everything below it. A sub-IFD
  // value counts by the IFDs it holds, never by its count.
  uint64_t GetSize(bool withSubIFDs) const;

 private:
  // Creates a value of type T with count elements, fills its first bytes
  // from bytes and puts it in.
  template <typename T>
  int32_t SetBytes(uint16_t tag, uint32_t count, const void* bytes, uint64_t byteCount);
  void RebuildIndex();

  std::vector<std::unique_ptr<XpTiffTagDataBase>> entries_;
  // Tag -> index in entries_, so a parse of many entries stays linear.
  std::unordered_map<uint16_t, size_t> indexOfTag_;
  bool isMakerNote_ = false;
};
