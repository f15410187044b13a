#pragma once

#include <string_view>

#include "imaging/icc/XYZType.h"
#include "imaging/icc/curveType.h"
#include "imaging/icc/icc_tools.h"
#include "imaging/icc/multiLocalizedUnicodeType.h"
#include "imaging/icc/parametricCurveType.h"
#include "imaging/icc/s15Fixed16ArrayType.h"
#include "imaging/icc/textDescriptionType.h"
#include "imaging/icc/textType.h"

// One tag of a profile: its name, the type of its content, and one member
// per tag type, of which only the one that the type names carries content.
// A default tag, also the answer of a failed look-up, has both signatures 0
// and every member default.
class icc_tag : public icc_tools {
 public:
  icc_tag() = default;
  // Each as the setter of its type; a name that is not four characters
  // long gives a default tag.
  icc_tag(std::string_view name, const textType& value);
  icc_tag(std::string_view name, const textDescriptionType& value);
  icc_tag(std::string_view name, const curveType& value);
  icc_tag(std::string_view name, const parametricCurveType& value);

  // Each makes this a tag called name whose content is value, every other
  // member default. 0 on success; 1, and the tag unchanged, when name is
  // not exactly four characters long.
  int32_t Set(std::string_view name, const textType& value);
  int32_t Set(std::string_view name, const textDescriptionType& value);
  int32_t Set(std::string_view name, const curveType& value);
  int32_t Set(std::string_view name, const multiLocalizedUnicodeType& value);
  int32_t Set(std::string_view name, const parametricCurveType& value);
  int32_t Set(std::string_view name, const s15Fixed16ArrayType& value);
  int32_t Set(std::string_view name, const XYZType& value);

  IccSignature GetTagSignature() const { return tagSignature_; }
  IccSignature GetTypeSignature() const { return typeSignature_; }
  XpStringA GetTagSignatureText() const { return SignatureToText(tagSignature_); }
  XpStringA GetTypeSignatureText() const { return SignatureToText(typeSignature_); }

  textType GetTextType() const { return text_; }
  textDescriptionType GetTextDescriptionType() const { return description_; }
  curveType GetCurveType() const { return curve_; }
  multiLocalizedUnicodeType GetMultiLocalizedUnicodeType() const { return multiLocalized_; }
  parametricCurveType GetParametricCurveType() const { return parametricCurve_; }
  s15Fixed16ArrayType GetS15Fixed16ArrayType() const { return numbers_; }
  XYZType GetXYZType() const { return xyz_; }

 private:
  // Clears the tag and names it; false, and nothing changed, for a name
  // that is not four characters long.
  bool Begin(std::string_view name, IccSignature typeSignature);

  IccSignature tagSignature_ = 0;
  IccSignature typeSignature_ = 0;
  curveType curve_;
  multiLocalizedUnicodeType multiLocalized_;
  parametricCurveType parametricCurve_;
  s15Fixed16ArrayType numbers_;
  textType text_;
  textDescriptionType description_;
  XYZType xyz_;
};
