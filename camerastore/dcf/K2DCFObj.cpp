#include "camerastore/dcf/K2DCFObj.h"

#include <utility>

K2DCFObj::K2DCFObj() = default;

K2DCFObj::~K2DCFObj() = default;

XpResult K2DCFObj::AddFile(XpSharedPtr<XpAbstractFSObj> file) {
  return object_.AddFile(std::move(file));
}

void K2DCFObj::SetDate(XpDateTime date) { date_ = date; }

XpDateTime K2DCFObj::GetDate() const {
  if (date_.IsValid()) {
    return date_;
  }
  return object_.GetShootingDate();
}

std::vector<int32_t> K2DCFObj::GetSubList() const { return subList_; }

void K2DCFObj::SetSubList(std::vector<int32_t> list) { subList_ = std::move(list); }

XpSharedPtr<XpDCFObj> K2DCFObj::GetDCFObj() const { return object_.Clone(); }

XpString K2DCFObj::GetName() const { return object_.GetName(); }

int64_t K2DCFObj::GetSize() { return object_.GetSize(); }

XpResult K2DCFObj::GetTimes(XpDateTime* created, XpDateTime* modified,
                            XpDateTime* accessed) const {
  return object_.GetTimes(created, modified, accessed);
}

bool K2DCFObj::IsReadOnly() const { return object_.IsReadOnly(); }

bool K2DCFObj::IsHidden() const { return object_.IsHidden(); }

bool K2DCFObj::IsFile() const { return object_.IsFile(); }

bool K2DCFObj::IsDirectory() const { return object_.IsDirectory(); }

XpResult K2DCFObj::BeginEnum(XpEnumFilter filter, const XpString& pattern) {
  return object_.BeginEnum(filter, pattern);
}

XpSharedPtr<XpAbstractFSObj> K2DCFObj::GetNext() { return object_.GetNext(); }

XpResult K2DCFObj::EndEnum() { return object_.EndEnum(); }
