#pragma once

#include <cstdint>

#include "imaging/jpeg/XpJpegLib.h"

// A lossless rotation or flip of a JPEG by its DCT coefficients, between a
// decompress record that reads the source's coefficients and a compress
// record that writes them. Only pictures made of whole iMCUs are turned, so
// every block has a partner and none is trimmed.
//
// Order of use inside one libjpeg run:
//   jpeg_read_header, CoversWholeIMCUs, RequestWorkspace,
//   jpeg_read_coefficients, jpeg_copy_critical_parameters,
//   AdjustParameters, jpeg_write_coefficients, ..., Execute,
//   jpeg_finish_compress.
class XpJpegCoefficientTransform {
 public:
  // The transform codes.
  static constexpr int32_t kNone = 0;
  static constexpr int32_t kFlipHorizontal = 1;
  static constexpr int32_t kFlipVertical = 2;
  static constexpr int32_t kTranspose = 3;
  static constexpr int32_t kTransverse = 4;
  static constexpr int32_t kRotate90 = 5;
  static constexpr int32_t kRotate180 = 6;
  static constexpr int32_t kRotate270 = 7;
  static constexpr int32_t kCodeCount = 8;

  // Codes outside 0-7 act as kNone.
  explicit XpJpegCoefficientTransform(int32_t code);

  int32_t Code() const { return code_; }
  // Codes 3, 4, 5 and 7 exchange width and height.
  static bool SwapsAxes(int32_t code);
  // The code that first makes a picture stored with Exif orientation
  // (1-8) upright and then applies transform; transform itself for any
  // other orientation.
  static int32_t ComposeWithOrientation(int32_t transform, int32_t orientation);
  // The Exif orientation (1-8) that shows a stored picture as the code
  // makes it: 1 for kNone and for codes outside 0-7.
  static int32_t OrientationOf(int32_t code);

  // Whether the picture of a read header is made of whole iMCUs: width a
  // multiple of 8 x the largest horizontal sampling factor, height of 8 x
  // the largest vertical one.
  static bool CoversWholeIMCUs(const jpeg_decompress_struct& source);

  // Requests the destination's coefficient arrays from the source's memory
  // manager; between jpeg_read_header and jpeg_read_coefficients.
  void RequestWorkspace(j_decompress_ptr source);
  // After jpeg_copy_critical_parameters: swaps the size and each
  // component's sampling factors and transposes the destination's own
  // quantisation tables where the code asks for it. Returns the arrays to
  // hand to jpeg_write_coefficients.
  jvirt_barray_ptr* AdjustParameters(j_compress_ptr destination,
                                     jvirt_barray_ptr* sourceCoefficients);
  // Fills the destination's arrays from the source's.
  void Execute(j_decompress_ptr source, jvirt_barray_ptr* sourceCoefficients);

 private:
  void TransformComponent(j_decompress_ptr source, int component, jvirt_barray_ptr from,
                          jvirt_barray_ptr to) const;
  // The source block of destination block (x, y) in a component of
  // width x height source blocks.
  void SourceBlockOf(JDIMENSION x, JDIMENSION y, JDIMENSION width, JDIMENSION height,
                     JDIMENSION& sourceX, JDIMENSION& sourceY) const;
  void TransformBlock(const JCOEF* from, JCOEF* to) const;

  int32_t code_;
  jvirt_barray_ptr* workspace_ = nullptr;
};
