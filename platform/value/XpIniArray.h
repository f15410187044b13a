#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/value/XpIniElement.h"

// Elements in index order, owned by the array. A path component in an array
// is an index, read like _wtoi ("2", " -1", "x" is 0).
class XpIniArray : public XpIniElement {
 public:
  // Insertion index that appends.
  static constexpr int32_t kAppend = -1;

  XpIniArray() = default;
  ~XpIniArray() override;

  XpIniType GetType() const override { return kXpIniTypeArray; }
  int32_t GetCount() const override;
  XpIniElement* Find(const XpString& path) const override;
  // Null for an index outside 0..count-1.
  XpIniElement* GetAt(int32_t index) const override;
  // kXpErrValueNotFound when nothing lies at path.
  [[nodiscard]] XpResult Remove(const XpString& path) override;
  [[nodiscard]] XpResult RemoveAt(int32_t index) override;
  [[nodiscard]] XpResult Add(const XpString& path, XpIniType type,
                             const XpIniValue& value = {}) override;
  // Inserts before index; kAppend and count append. Any other index above
  // the count, negative ones included, gives kXpErrValueNotFound and creates
  // nothing.
  [[nodiscard]] XpResult InsertAt(int32_t index, XpIniType type,
                                  const XpIniValue& value = {}) override;

 private:
  std::vector<std::unique_ptr<XpIniElement>> elements_;
};
