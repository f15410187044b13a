#include "imaging/jpeg/XpJpegFileDestination.h"

namespace {

XpJpegFileDestination& DestinationOf(j_compress_ptr info) {
  return *reinterpret_cast<XpJpegFileDestination*>(info->dest);
}

// Writes count bytes of the buffer; a failure is kept as the run's result
// and ends the run.
void WriteBytes(j_compress_ptr info, size_t count) {
  if (count == 0) {
    return;
  }
  XpJpegFileDestination& destination = DestinationOf(info);
  const XpResult result = destination.file->Write(destination.buffer, count, nullptr);
  if (result == kXpOk) {
    return;
  }
  auto* runResult = static_cast<XpResult*>(info->client_data);
  if (*runResult == kXpOk) {
    *runResult = result;
  }
  ERREXIT(info, JERR_FILE_WRITE);
}

void InitDestination(j_compress_ptr info) {
  XpJpegFileDestination& destination = DestinationOf(info);
  destination.buffer = static_cast<JOCTET*>((*info->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE, XpJpegFileDestination::kBufferSize));
  destination.manager.next_output_byte = destination.buffer;
  destination.manager.free_in_buffer = XpJpegFileDestination::kBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
  WriteBytes(info, XpJpegFileDestination::kBufferSize);
  XpJpegFileDestination& destination = DestinationOf(info);
  destination.manager.next_output_byte = destination.buffer;
  destination.manager.free_in_buffer = XpJpegFileDestination::kBufferSize;
  return TRUE;
}

void TermDestination(j_compress_ptr info) {
  const XpJpegFileDestination& destination = DestinationOf(info);
  WriteBytes(info, XpJpegFileDestination::kBufferSize - destination.manager.free_in_buffer);
}

}  // namespace

void XpJpegFileDestinationInstall(j_compress_ptr info, XpAbstractFile& file) {
  if (info->dest == nullptr) {
    info->dest = static_cast<jpeg_destination_mgr*>((*info->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(XpJpegFileDestination)));
  }
  XpJpegFileDestination& destination = DestinationOf(info);
  destination.manager.init_destination = InitDestination;
  destination.manager.empty_output_buffer = EmptyOutputBuffer;
  destination.manager.term_destination = TermDestination;
  destination.file = &file;
  destination.buffer = nullptr;
}
