#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/value/XpIniElement.h"

// Named elements, owned by the dictionary, in key order: XpString order, by
// UTF-16 code unit and case-sensitive ("A" < "B" < "a"). Each key occurs
// once.
//
// A key is one path component, so a key containing '/' can never be added
// as a plain key: the part before the '/' is looked up as a container and
// the element lands there, or nowhere. File paths must therefore never be
// used as keys.
class XpIniDict : public XpIniElement {
 public:
  // An empty dictionary that Destroy will not delete.
  XpIniDict();
  ~XpIniDict() override;

  // A new empty dictionary for Destroy to delete; null when memory ran out.
  static XpIniDict* Create();
  // Deletes dict when it came from Create; null is ignored.
  static void Destroy(XpIniDict* dict);
  // Deletes every element.
  void RemoveAll();

  XpIniType GetType() const override { return kXpIniTypeDict; }
  int32_t GetCount() const override;
  XpIniElement* Find(const XpString& path) const override;
  // kXpErrValueNotFound when nothing lies at path.
  [[nodiscard]] XpResult Remove(const XpString& path) override;
  // kXpErrValueKeyExists when the key is taken; kXpErrValueNotFound when a
  // container on the way is missing.
  [[nodiscard]] XpResult Add(const XpString& path, XpIniType type, const XpIniValue& value = {}) override;

  // XML property lists (XpPlistReader, XpPlistWriter). Each load empties
  // the dictionary first and keeps what it read up to a failure.
  // The code of opening path for reading; kXpErrValueParse when the file is
  // not XML, kXpErrValueStructure when it is no property list.
  [[nodiscard]] XpResult LoadFromFile(const XpString& path) override;
  // Replaces the file at path atomically (XpReplaceFileAtomically), so that
  // a failed or killed save leaves the old file as it was; the result is
  // then the code of the step that failed. Relative paths are refused with
  // kXpErrPathNotFound.
  [[nodiscard]] XpResult SaveToFile(const XpString& path) override;
  // The text is parsed as UTF-8 whatever its declaration says.
  [[nodiscard]] virtual XpResult LoadFromText(const XpString& text);
  // The text of the file, in UTF-16.
  [[nodiscard]] virtual XpResult SaveToText(XpString* out) const;
  // The text through the in-process clipboard (XpClipboard) under format.
  // kXpErrGeneric, the dictionary untouched, when the clipboard holds
  // nothing under format.
  [[nodiscard]] virtual XpResult LoadFromClipboard(uint32_t format);
  // Replaces the whole clipboard by the text under format.
  [[nodiscard]] virtual XpResult SaveToClipboard(uint32_t format) const;

  // The element of the index-th key in key order; null past the end. (The
  // int overload of the element interface gives null for a dictionary.)
  XpIniElement* GetAt(uint32_t index) const;
  // The index-th key; kXpErrValueNotFound past the end.
  [[nodiscard]] XpResult GetKeyAt(uint32_t index, XpString* key) const;

 private:
  struct Entry {
    XpString key;
    std::unique_ptr<XpIniElement> element;
  };
  using Entries = std::vector<Entry>;

  // The first entry whose key is not below key.
  Entries::const_iterator LowerBound(std::u16string_view key) const;
  // The element under key; null when absent.
  XpIniElement* Lookup(std::u16string_view key) const;

  Entries entries_;
  bool owned_ = false;
};
