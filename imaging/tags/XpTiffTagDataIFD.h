#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imaging/tags/XpTiffTagData.h"

class XpTiffTagIFD;

// A value that points at IFDs (Exif, GPS, Interoperability, SubIFDs, the
// maker note). Its LONG elements are the raw offsets read from the file;
// beside them it owns the IFDs themselves, in order. Its type code is
// kXpTiffTypeSubIFD; it is written as LONG (the maker note as UNDEFINED).
class XpTiffTagDataIFD : public XpTiffTagData<XpTiffTagTypeLong> {
 public:
  // An empty value; null when memory ran out. Tree building passes count 0:
  // the writer sets the count from the IFDs held.
  static XpTiffTagDataIFD* Create(uint16_t tag, uint32_t count);
  ~XpTiffTagDataIFD() override;

  uint16_t GetType() const override { return kXpTiffTypeSubIFD; }
  // Clones every IFD held as well.
  XpTiffTagDataBase* Clone() const override;

  int32_t GetIFDCount() const { return static_cast<int32_t>(ifds_.size()); }
  // Null when index is out of range.
  XpTiffTagIFD* GetIFD(int32_t index) const;
  // Appends ifd and takes ownership; a null ifd is ignored.
  void AddIFD(XpTiffTagIFD* ifd);
  // Deletes the IFD at index and closes the gap; out of range does nothing.
  void RemoveIFD(int32_t index);
  // The first hit of XpTiffTagIFD::FindTag over the IFDs in order.
  XpTiffTagDataBase* FindTag(uint16_t tag, bool recurse) const;

  // Before a write: count becomes the number of IFDs held, over zeroed
  // offsets. False, and nothing changed, when memory ran out.
  bool ResetOffsets();

 protected:
  XpTiffTagDataIFD(uint16_t tag, uint32_t count);

 private:
  std::vector<std::unique_ptr<XpTiffTagIFD>> ifds_;
};
