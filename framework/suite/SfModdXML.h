#pragma once

#include <cstdint>
#include <vector>

#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"
#include "platform/value/XpIniDict.h"

class XpAbstractFile;

// The ".modd" side file beside a movie: a property list whose root holds
// "XMLFileType" = "ModdXML" and "MetaDataList", an array whose element 0 is
// the metadata dictionary (shooting date, duration, rating, size and check
// code of the movie, favourite and label lists, VT entries, division
// information and group files). Element 1, when it is a dictionary, may
// hold a second "GroupFileList" that is only read.
//
// Every operation needs the metadata dictionary, which InitHeader or Load
// provides: without it setters give kXpErrGeneric and getters their
// default. Setters take an overwrite flag: a key that exists with overwrite
// off gives kXpErrValueKeyExists and changes nothing; a missing key is
// created whatever the flag. Saving is XpIniDict::SaveToFile of the root.
class SfModdXML : public XpIniDict {
 public:
  // One VT entry. Its fields mean what the writer means; they are only
  // stored and parsed here.
  struct VTEntry {
    int32_t first = 0;
    int32_t second = 0;
    double value1 = 0.0;
    double value2 = 0.0;
    double value3 = 0.0;
    int32_t last = 0;
  };

  // Bytes of the movie file that its check code covers.
  static constexpr int64_t kCheckCodeBytes = 3072;

  SfModdXML();
  ~SfModdXML() override;

  // Adds "XMLFileType" and an empty "MetaDataList" with one empty
  // dictionary, which becomes the metadata dictionary. Value-tree errors
  // as they come (kXpErrValueKeyExists on a document that has the keys).
  [[nodiscard]] XpResult InitHeader();
  // Loads path; kXpErrPathNotFound for an empty path, the load's code when
  // it fails, kXpErrGeneric unless "XMLFileType" is "ModdXML" and
  // "MetaDataList" is an array whose element 0 is a dictionary. The
  // metadata dictionary is null after any failure.
  [[nodiscard]] XpResult Load(const XpString& path);
  // Null before InitHeader or Load succeeded, or when the dictionary was
  // taken out of the tree since.
  XpIniElement* GetMetaData() const;

  // The shooting date as a day count. Get gives kXpErrValueNotFound when
  // the key is missing, else the read's result; *date is set only when the
  // read succeeds (valid when inside the date range).
  [[nodiscard]] XpResult SetDateTimeOriginal(const XpDateTime& date, bool overwrite);
  [[nodiscard]] XpResult GetDateTimeOriginal(XpDateTime* date) const;
  // -1.0 when missing or not a real.
  [[nodiscard]] XpResult SetDuration(double duration, bool overwrite);
  double GetDuration() const;
  // Stored as a 64-bit integer; read clamped to 0..5, 0 when missing.
  [[nodiscard]] XpResult SetRating(int32_t rating, bool overwrite);
  int32_t GetRating() const;
  // kXpErrValueNotFound when missing.
  [[nodiscard]] XpResult SetCheckCode(const XpString& code, bool overwrite);
  [[nodiscard]] XpResult GetCheckCode(XpString* code) const;
  // -1 when missing or not an integer.
  [[nodiscard]] XpResult SetFileSize(int64_t size, bool overwrite);
  int64_t GetFileSize() const;
  // "IsEdited"; false when missing or not a Boolean.
  bool IsEdited() const;

  // VT entries are texts "%d:%d:%.16f:%.16f:%.16f:%d" in "VTList", always
  // with '.' decimals. Each of these creates an empty "VTList" when there
  // is none; kXpErrValueNotFound (count -1) when the list cannot be had.
  [[nodiscard]] XpResult AddVTEntry(const VTEntry& entry);
  // Fields are read in order up to the first that does not parse: the
  // reals start at -1.0, the integers keep what *entry held. 0 once the
  // entry is a text; kXpErrValueNotFound for an index without one.
  [[nodiscard]] XpResult GetVTEntry(int32_t index, VTEntry* entry);
  int32_t GetVTCount();
  // 0 when there is no "VTList".
  [[nodiscard]] XpResult RemoveVTList();
  // "VTList", created empty when missing; null when it cannot be had or is
  // not an array.
  XpIniElement* GetOrCreateVTList();

  // Appends {"FileSize", "ClipInformationFile": the whole of clipFile} to
  // "AVCHDDivisionInfoList" (made when missing). kXpErrValueNoRoot, nothing
  // added, when that key is not an array; a half-built entry is taken out
  // again and the first error returned.
  [[nodiscard]] XpResult AddAVCHDDivisionInfo(int64_t fileSize, XpAbstractFile* clipFile);
  // 0 when the list is missing or not an array.
  int32_t GetAVCHDDivisionInfoCount() const;
  // The entry's dictionary; null without one at index.
  XpIniElement* GetAVCHDDivisionInfo(int32_t index) const;
  // kXpErrValueNotFound unless the entry has an integer "FileSize" and a
  // data "ClipInformationFile"; then the size, and the bytes written into
  // destination (emptied first).
  [[nodiscard]] XpResult GetAVCHDDivisionInfo(int32_t index, int64_t* fileSize,
                                              XpAbstractFile* destination) const;

  // Adds "GroupType" when missing; when present kXpOk for the same text
  // (case-sensitive), kXpErrValueKeyExists for another text,
  // kXpErrValueNoRoot when it is not a text.
  [[nodiscard]] XpResult SetGroupType(const XpString& type);
  // Appends {"FilePath", "CheckCode", "FileSize"} to "GroupFileList" of a
  // "Division" group. kXpErrValueUnknownType for an empty path;
  // kXpErrValueNoRoot when "GroupFileList" is not an array.
  [[nodiscard]] XpResult AddGroupFile(const XpString& path, const XpString& checkCode,
                                      int64_t fileSize);
  // "GroupFileList" of the metadata dictionary, or when it has none, that
  // of element 1 of "MetaDataList"; null when none or not an array.
  XpIniElement* GetGroupFileList() const;
  int32_t GetGroupFileCount() const;
  XpIniElement* GetGroupFile(int32_t index) const;
  // kXpErrValueNotFound when the entry or a field is missing or of another
  // type; else the reads' result.
  [[nodiscard]] XpResult GetGroupFile(int32_t index, XpString* path, XpString* checkCode,
                                      int64_t* fileSize) const;

  // Replace the whole list. kXpErrGeneric without a metadata dictionary.
  [[nodiscard]] XpResult SetFavoriteList(const std::vector<int32_t>& favorites, bool overwrite);
  // The entries that read as 32-bit integers, in order.
  std::vector<int32_t> GetFavoriteList() const;
  [[nodiscard]] XpResult SetLabelList(const XpStringVector& labels, bool overwrite);
  XpStringVector GetLabelList() const;

  // The XOR of the 32-bit little-endian words of the first kCheckCodeBytes
  // bytes of the file at path (bytes past a shorter file count as zero) as
  // eight upper-case hexadecimal digits. kXpErrGeneric for an empty or
  // missing file; an open or read error as it comes.
  [[nodiscard]] static XpResult CalcCheckCode(const XpString& path, XpString* code);

 private:
  bool hasHeader_ = false;
};
