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
  source.startOfFile = true;
}

// Reads after the kept bytes at the buffer's start; a read that yields
// nothing supplies the end-of-image marker after them instead.
void ReadAfter(XpJpegFileSource& source, size_t kept) {
  uint64_t done = 0;
  // A failing read keeps its byte count: what it moved is used.
  static_cast<void>(
      source.file->Read(source.buffer + kept, XpJpegFileSource::kBufferSize - kept, &done));
  size_t filled = kept + static_cast<size_t>(done);
  if (done == 0 && kept + sizeof kEndOfImage <= XpJpegFileSource::kBufferSize) {
    std::memcpy(source.buffer + kept, kEndOfImage, sizeof kEndOfImage);
    filled += sizeof kEndOfImage;
  } else if (done > 0) {
    source.startOfFile = false;
  }
  source.manager.next_input_byte = source.buffer;
  source.manager.bytes_in_buffer = filled;
}

boolean FillInputBuffer(j_decompress_ptr info) {
  XpJpegFileSource& source = SourceOf(info);
  if (source.startOfFile || info->progressive_mode) {
    ReadAfter(source, 0);
    return TRUE;
  }
  const size_t kept = source.manager.bytes_in_buffer;
  if (kept > 0 && source.manager.next_input_byte != source.buffer) {
    std::memmove(source.buffer, source.manager.next_input_byte, kept);
  }
  ReadAfter(source, kept);
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
  source.startOfFile = true;
}
