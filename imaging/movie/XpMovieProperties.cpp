#include "imaging/movie/XpMovieProperties.h"

#include <new>

template <typename Tag>
void XpMovieProperties::Set(int32_t stream, int32_t id, const typename Tag::Type& value) {
  const Key key(stream, id);
  if (values_.find(key) != values_.end()) {
    return;
  }
  std::unique_ptr<XpAnyTypeValueBase> stored(new (std::nothrow) XpAnyTypeValue<Tag>(value));
  if (stored != nullptr) {
    values_.emplace(key, std::move(stored));
  }
}

template <typename Tag>
XpResult XpMovieProperties::Get(int32_t stream, int32_t id, typename Tag::Type* value) const {
  if (value == nullptr) {
    return kXpErrMovieNullOutput;
  }
  const auto found = values_.find(Key(stream, id));
  if (found == values_.end()) {
    return kXpErrMovieKeyNotFound;
  }
  if (found->second->GetType() != Tag::kType) {
    return kXpErrMovieWrongType;
  }
  *value = static_cast<const XpAnyTypeValue<Tag>&>(*found->second).GetValue();
  return kXpOk;
}

XpResult XpMovieProperties::GetInt32(int32_t stream, int32_t id, int32_t* value) const {
  return Get<XpAnyTypeValueInt32>(stream, id, value);
}

XpResult XpMovieProperties::GetUInt32(int32_t stream, int32_t id, uint32_t* value) const {
  return Get<XpAnyTypeValueUInt32>(stream, id, value);
}

XpResult XpMovieProperties::GetUInt64(int32_t stream, int32_t id, uint64_t* value) const {
  return Get<XpAnyTypeValueUInt64>(stream, id, value);
}

XpResult XpMovieProperties::GetString(int32_t stream, int32_t id, XpString* value) const {
  return Get<XpAnyTypeValueString>(stream, id, value);
}

XpResult XpMovieProperties::GetDouble(int32_t stream, int32_t id, double* value) const {
  return Get<XpAnyTypeValueDouble>(stream, id, value);
}

void XpMovieProperties::SetInt32(int32_t stream, int32_t id, int32_t value) {
  Set<XpAnyTypeValueInt32>(stream, id, value);
}

void XpMovieProperties::SetUInt32(int32_t stream, int32_t id, uint32_t value) {
  Set<XpAnyTypeValueUInt32>(stream, id, value);
}

void XpMovieProperties::SetUInt64(int32_t stream, int32_t id, uint64_t value) {
  Set<XpAnyTypeValueUInt64>(stream, id, value);
}

void XpMovieProperties::SetString(int32_t stream, int32_t id, const XpString& value) {
  Set<XpAnyTypeValueString>(stream, id, value);
}

void XpMovieProperties::SetDouble(int32_t stream, int32_t id, double value) {
  Set<XpAnyTypeValueDouble>(stream, id, value);
}

std::vector<XpMovieProperties::Key> XpMovieProperties::GetKeys() const {
  std::vector<Key> keys;
  keys.reserve(values_.size());
  for (const auto& entry : values_) {
    keys.push_back(entry.first);
  }
  return keys;
}
