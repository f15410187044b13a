#include "imaging/icc/icc_tag.h"

namespace {

constexpr int32_t kSetDone = 0;
constexpr int32_t kSetBadName = 1;

}  // namespace

icc_tag::icc_tag(std::string_view name, const textType& value) { Set(name, value); }

icc_tag::icc_tag(std::string_view name, const textDescriptionType& value) { Set(name, value); }

icc_tag::icc_tag(std::string_view name, const curveType& value) { Set(name, value); }

icc_tag::icc_tag(std::string_view name, const parametricCurveType& value) { Set(name, value); }

bool icc_tag::Begin(std::string_view name, IccSignature typeSignature) {
  const IccSignature tagSignature = TextToSignature(name);
  if (tagSignature == kIccNoSignature) {
    return false;
  }
  *this = icc_tag();
  tagSignature_ = tagSignature;
  typeSignature_ = typeSignature;
  return true;
}

int32_t icc_tag::Set(std::string_view name, const textType& value) {
  if (!Begin(name, textType::kSignature)) {
    return kSetBadName;
  }
  text_ = value;
  return kSetDone;
}

int32_t icc_tag::Set(std::string_view name, const textDescriptionType& value) {
  if (!Begin(name, textDescriptionType::kSignature)) {
    return kSetBadName;
  }
  description_ = value;
  return kSetDone;
}

int32_t icc_tag::Set(std::string_view name, const curveType& value) {
  if (!Begin(name, curveType::kSignature)) {
    return kSetBadName;
  }
  curve_ = value;
  return kSetDone;
}

int32_t icc_tag::Set(std::string_view name, const multiLocalizedUnicodeType& value) {
  if (!Begin(name, multiLocalizedUnicodeType::kSignature)) {
    return kSetBadName;
  }
  multiLocalized_ = value;
  return kSetDone;
}

int32_t icc_tag::Set(std::string_view name, const parametricCurveType& value) {
  if (!Begin(name, parametricCurveType::kSignature)) {
    return kSetBadName;
  }
  parametricCurve_ = value;
  return kSetDone;
}

int32_t icc_tag::Set(std::string_view name, const s15Fixed16ArrayType& value) {
  if (!Begin(name, s15Fixed16ArrayType::kSignature)) {
    return kSetBadName;
  }
  numbers_ = value;
  return kSetDone;
}

int32_t icc_tag::Set(std::string_view name, const XYZType& value) {
  if (!Begin(name, XYZType::kSignature)) {
    return kSetBadName;
  }
  xyz_ = value;
  return kSetDone;
}
