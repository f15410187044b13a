#pragma once

#include <cstdint>
#include <vector>

#include "camerastore/dcf/XpDCFObj.h"
#include "platform/fs/XpAbstractDir.h"
#include "platform/memory/XpSharedPtr.h"
#include "platform/text/XpString.h"
#include "platform/time/XpDateTime.h"

// A shot of the K2 camera generation: a DCF object with a date set from
// outside and a list of 32-bit entries (the sub list). Its folder queries
// are those of the embedded object, so it names itself by the display name.
class K2DCFObj : public XpAbstractDir {
 public:
  K2DCFObj();
  ~K2DCFObj() override;

  // Appends a member to the embedded object; 0.
  [[nodiscard]] XpResult AddFile(XpSharedPtr<XpAbstractFSObj> file);

  // The set date when it is valid, else the embedded object's shooting
  // date.
  void SetDate(XpDateTime date);
  XpDateTime GetDate() const;

  // A copy of the sub list; SetSubList replaces it.
  std::vector<int32_t> GetSubList() const;
  void SetSubList(std::vector<int32_t> list);

  // A clone of the embedded object: it shares the member files, so its
  // CopyTo, DeleteFiles and queries act on them. Null when memory ran out.
  XpSharedPtr<XpDCFObj> GetDCFObj() const;

  // Forwarded to the embedded object.
  XpString GetName() const override;
  int64_t GetSize() override;
  [[nodiscard]] XpResult GetTimes(XpDateTime* created, XpDateTime* modified,
                                  XpDateTime* accessed) const override;
  bool IsReadOnly() const override;
  bool IsHidden() const override;
  bool IsFile() const override;
  bool IsDirectory() const override;
  [[nodiscard]] XpResult BeginEnum(XpEnumFilter filter, const XpString& pattern) override;
  XpSharedPtr<XpAbstractFSObj> GetNext() override;
  [[nodiscard]] XpResult EndEnum() override;

 private:
  XpDCFObj object_;
  std::vector<int32_t> subList_;
  XpDateTime date_;
};
