#include "imaging/jpeg/XpJpegCoefficientTransform.h"

#include <utility>

namespace {

constexpr int32_t kFirstOrientation = 1;
constexpr int32_t kLastOrientation = 8;

// Row t, column o - 1: the code that makes a picture stored with
// orientation o upright and then applies t.
constexpr int32_t kComposed[XpJpegCoefficientTransform::kCodeCount][kLastOrientation] = {
    {0, 1, 6, 2, 3, 5, 4, 7}, {1, 0, 2, 6, 5, 3, 7, 4}, {2, 6, 1, 0, 7, 4, 5, 3},
    {3, 7, 4, 5, 0, 2, 6, 1}, {4, 5, 3, 7, 6, 1, 0, 2}, {5, 4, 7, 3, 1, 6, 2, 0},
    {6, 2, 0, 1, 4, 7, 3, 5}, {7, 3, 5, 4, 2, 0, 1, 6},
};

// By code: flip horizontal is the mirrored orientation 2, flip vertical 4,
// transpose 5, transverse 7, and the turns by 90, 180 and 270 degrees are
// 6, 3 and 8.
constexpr int32_t kOrientationOfCode[XpJpegCoefficientTransform::kCodeCount] = {1, 2, 4, 5,
                                                                                  7, 6, 3, 8};

// Which frequency parities negate a coefficient under a code.
struct SignRule {
  bool byHorizontal;
  bool byVertical;
};

constexpr SignRule kSignRules[XpJpegCoefficientTransform::kCodeCount] = {
    {false, false}, {true, false}, {false, true}, {false, false},
    {true, true},   {true, false}, {true, true},  {false, true},
};

JDIMENSION RoundUp(JDIMENSION value, int factor) {
  const auto step = static_cast<JDIMENSION>(factor);
  return (value + step - 1) / step * step;
}

void TransposeTable(JQUANT_TBL& table) {
  for (int v = 0; v < DCTSIZE; ++v) {
    for (int u = v + 1; u < DCTSIZE; ++u) {
      std::swap(table.quantval[v * DCTSIZE + u], table.quantval[u * DCTSIZE + v]);
    }
  }
}

}  // namespace

XpJpegCoefficientTransform::XpJpegCoefficientTransform(int32_t code)
    : code_(code >= kNone && code < kCodeCount ? code : kNone) {}

bool XpJpegCoefficientTransform::SwapsAxes(int32_t code) {
  return code == kTranspose || code == kTransverse || code == kRotate90 || code == kRotate270;
}

int32_t XpJpegCoefficientTransform::ComposeWithOrientation(int32_t transform,
                                                           int32_t orientation) {
  if (transform < kNone || transform >= kCodeCount || orientation < kFirstOrientation ||
      orientation > kLastOrientation) {
    return transform;
  }
  return kComposed[transform][orientation - kFirstOrientation];
}

int32_t XpJpegCoefficientTransform::OrientationOf(int32_t code) {
  if (code < kNone || code >= kCodeCount) {
    return kOrientationOfCode[kNone];
  }
  return kOrientationOfCode[code];
}

bool XpJpegCoefficientTransform::CoversWholeIMCUs(const jpeg_decompress_struct& source) {
  const auto width = static_cast<JDIMENSION>(DCTSIZE * source.max_h_samp_factor);
  const auto height = static_cast<JDIMENSION>(DCTSIZE * source.max_v_samp_factor);
  return width > 0 && height > 0 && source.image_width % width == 0 &&
         source.image_height % height == 0;
}

void XpJpegCoefficientTransform::RequestWorkspace(j_decompress_ptr source) {
  workspace_ = nullptr;
  if (code_ == kNone) {
    return;
  }
  const bool swap = SwapsAxes(code_);
  auto* common = reinterpret_cast<j_common_ptr>(source);
  workspace_ = static_cast<jvirt_barray_ptr*>((*source->mem->alloc_small)(
      common, JPOOL_IMAGE, sizeof(jvirt_barray_ptr) * static_cast<size_t>(source->num_components)));
  for (int component = 0; component < source->num_components; ++component) {
    const jpeg_component_info& info = source->comp_info[component];
    const int horizontal = swap ? info.v_samp_factor : info.h_samp_factor;
    const int vertical = swap ? info.h_samp_factor : info.v_samp_factor;
    const JDIMENSION width = swap ? info.height_in_blocks : info.width_in_blocks;
    const JDIMENSION height = swap ? info.width_in_blocks : info.height_in_blocks;
    workspace_[component] = (*source->mem->request_virt_barray)(
        common, JPOOL_IMAGE, TRUE, RoundUp(width, horizontal), RoundUp(height, vertical),
        static_cast<JDIMENSION>(vertical));
  }
}

jvirt_barray_ptr* XpJpegCoefficientTransform::AdjustParameters(
    j_compress_ptr destination, jvirt_barray_ptr* sourceCoefficients) {
  if (workspace_ == nullptr) {
    return sourceCoefficients;
  }
  if (!SwapsAxes(code_)) {
    return workspace_;
  }
  std::swap(destination->image_width, destination->image_height);
  bool transposed[NUM_QUANT_TBLS] = {};
  for (int component = 0; component < destination->num_components; ++component) {
    jpeg_component_info& info = destination->comp_info[component];
    std::swap(info.h_samp_factor, info.v_samp_factor);
    const int table = info.quant_tbl_no;
    if (table < 0 || table >= NUM_QUANT_TBLS || transposed[table] ||
        destination->quant_tbl_ptrs[table] == nullptr) {
      continue;
    }
    TransposeTable(*destination->quant_tbl_ptrs[table]);
    transposed[table] = true;
  }
  return workspace_;
}

void XpJpegCoefficientTransform::Execute(j_decompress_ptr source,
                                         jvirt_barray_ptr* sourceCoefficients) {
  if (workspace_ == nullptr) {
    return;
  }
  for (int component = 0; component < source->num_components; ++component) {
    TransformComponent(source, component, sourceCoefficients[component], workspace_[component]);
  }
}

void XpJpegCoefficientTransform::TransformComponent(j_decompress_ptr source, int component,
                                                    jvirt_barray_ptr from,
                                                    jvirt_barray_ptr to) const {
  const jpeg_component_info& info = source->comp_info[component];
  const JDIMENSION width = info.width_in_blocks;
  const JDIMENSION height = info.height_in_blocks;
  const bool swap = SwapsAxes(code_);
  const JDIMENSION destinationWidth = swap ? height : width;
  const JDIMENSION destinationHeight = swap ? width : height;
  auto* common = reinterpret_cast<j_common_ptr>(source);
  // Destination rows are written in order, one at a time; each source block
  // is fetched on its own, so the source may be read in any order.
  for (JDIMENSION y = 0; y < destinationHeight; ++y) {
    JBLOCKROW row = (*source->mem->access_virt_barray)(common, to, y, 1, TRUE)[0];
    for (JDIMENSION x = 0; x < destinationWidth; ++x) {
      JDIMENSION sourceX = 0;
      JDIMENSION sourceY = 0;
      SourceBlockOf(x, y, width, height, sourceX, sourceY);
      JBLOCKROW sourceRow = (*source->mem->access_virt_barray)(common, from, sourceY, 1, FALSE)[0];
      TransformBlock(sourceRow[sourceX], row[x]);
    }
  }
}

void XpJpegCoefficientTransform::SourceBlockOf(JDIMENSION x, JDIMENSION y, JDIMENSION width,
                                               JDIMENSION height, JDIMENSION& sourceX,
                                               JDIMENSION& sourceY) const {
  switch (code_) {
    case kFlipHorizontal:
      sourceX = width - 1 - x;
      sourceY = y;
      return;
    case kFlipVertical:
      sourceX = x;
      sourceY = height - 1 - y;
      return;
    case kTranspose:
      sourceX = y;
      sourceY = x;
      return;
    case kTransverse:
      sourceX = width - 1 - y;
      sourceY = height - 1 - x;
      return;
    case kRotate90:
      sourceX = y;
      sourceY = height - 1 - x;
      return;
    case kRotate180:
      sourceX = width - 1 - x;
      sourceY = height - 1 - y;
      return;
    case kRotate270:
      sourceX = width - 1 - y;
      sourceY = x;
      return;
    default:
      sourceX = x;
      sourceY = y;
      return;
  }
}

void XpJpegCoefficientTransform::TransformBlock(const JCOEF* from, JCOEF* to) const {
  const bool swap = SwapsAxes(code_);
  const SignRule sign = kSignRules[code_];
  for (int v = 0; v < DCTSIZE; ++v) {
    for (int u = 0; u < DCTSIZE; ++u) {
      const JCOEF value = swap ? from[u * DCTSIZE + v] : from[v * DCTSIZE + u];
      const bool negate = ((sign.byHorizontal && (u & 1) != 0) !=
                           (sign.byVertical && (v & 1) != 0));
      to[v * DCTSIZE + u] = negate ? static_cast<JCOEF>(-value) : value;
    }
  }
}
