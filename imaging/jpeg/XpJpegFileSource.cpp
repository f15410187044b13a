#include "imaging/jpeg/XpJpegFileSource.h"

#include <cstring>

namespace {

constexpr JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};

XpJpegFileSource& SourceOf(j_decompress_ptr info) {
  return *reinterpret_cast<XpJpegFileSource*>(info->src);
}

void InitSource(j_decompress_ptr info) {
  XpJpegFileSource& source = SourceOf(info);
  source.buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, XpJpegFileSource::kBufferSize));
  source.manager.next_input_byte = source.buffer;
  source.manager.bytes_in_buffer = 0;
}

// Reads a new block into the buffer; a read that yields nothing supplies
// the end-of-image marker instead.
void ReadBlock(XpJpegFileSource& source) {
  uint64_t done = 0;
  // A failing read keeps its byte count: what it moved is used.
  static_cast<void>(source.file->Read(source.buffer, XpJpegFileSource::kBufferSize, &done));
  size_t filled = static_cast<size_t>(done);
  if (done == 0) {
    std::memcpy(source.buffer, kEndOfImage, sizeof kEndOfImage);
    filled = sizeof kEndOfImage;
  }
  source.manager.next_input_byte = source.buffer;
  source.manager.bytes_in_buffer = filled;
}

// The library asks for more only once it used every byte: its decoders work
// on their own copies of the position and count and call here without
// storing them, so what the record still says was consumed already. Nothing
// is kept; keeping it fed the same bytes in again.
boolean FillInputBuffer(j_decompress_ptr info) {
  ReadBlock(SourceOf(info));
  return TRUE;
}

void SkipInputData(j_decompress_ptr info, long count) {
  if (count <= 0) {
    return;
  }
  XpJpegFileSource& source = SourceOf(info);
  auto remaining = static_cast<size_t>(count);
  while (remaining > source.manager.bytes_in_buffer) {
    remaining -= source.manager.bytes_in_buffer;
    source.manager.bytes_in_buffer = 0;
    // Always gives at least one byte.
    FillInputBuffer(info);
  }
  source.manager.next_input_byte += remaining;
  source.manager.bytes_in_buffer -= remaining;
}

void TermSource(j_decompress_ptr /*info*/) {}

}  // namespace

void XpJpegFileSourceInstall(j_decompress_ptr info, XpAbstractFile& file) {
  if (info->src == nullptr) {
    info->src = static_cast<jpeg_source_mgr*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(XpJpegFileSource)));
  }
  XpJpegFileSource& source = SourceOf(info);
  source.manager.init_source = InitSource;
  source.manager.fill_input_buffer = FillInputBuffer;
  source.manager.skip_input_data = SkipInputData;
  source.manager.resync_to_restart = jpeg_resync_to_restart;
  source.manager.term_source = TermSource;
  source.manager.next_input_byte = nullptr;
  source.manager.bytes_in_buffer = 0;
  source.file = &file;
  source.buffer = nullptr;
}
