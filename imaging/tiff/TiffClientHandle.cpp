#include "imaging/tiff/TiffClientHandle.h"

#include <cstdio>

namespace {

TiffClientHandle& HandleOf(thandle_t handle) { return *static_cast<TiffClientHandle*>(handle); }

// libtiff's answer to a failed seek.
constexpr toff_t kSeekFailed = static_cast<toff_t>(-1);

}  // namespace

tmsize_t TiffClientRead(thandle_t handle, void* buffer, tmsize_t count) {
  if (count <= 0) {
    return 0;
  }
  uint64_t done = 0;
  const XpResult result =
      HandleOf(handle).file->Read(buffer, static_cast<uint64_t>(count), &done);
  if (result != kXpOk && result != kXpErrEndOfFile) {
    return 0;
  }
  return static_cast<tmsize_t>(done);
}

tmsize_t TiffClientWrite(thandle_t /*handle*/, void* /*buffer*/, tmsize_t /*count*/) { return 0; }

toff_t TiffClientSeek(thandle_t handle, toff_t offset, int whence) {
  TiffClientHandle& client = HandleOf(handle);
  const auto signedOffset = static_cast<int64_t>(offset);
  int64_t target = 0;
  switch (whence) {
    case SEEK_SET:
      target = client.blockOffset + signedOffset;
      break;
    case SEEK_CUR:
      target = client.file->Tell() + signedOffset;
      break;
    case SEEK_END:
      target = client.file->GetSize() + signedOffset;
      break;
    default:
      return kSeekFailed;
  }
  if (target < 0 || XpFailed(client.file->Seek(target, kXpSeekBegin))) {
    return kSeekFailed;
  }
  return static_cast<toff_t>(client.file->Tell() - client.blockOffset);
}

int TiffClientClose(thandle_t handle) {
  delete static_cast<TiffClientHandle*>(handle);
  return 0;
}

toff_t TiffClientSize(thandle_t handle) {
  TiffClientHandle& client = HandleOf(handle);
  const int64_t size = client.file->GetSize() - client.blockOffset;
  return size > 0 ? static_cast<toff_t>(size) : 0;
}

int TiffClientMap(thandle_t /*handle*/, void** /*base*/, toff_t* /*size*/) { return 0; }

void TiffClientUnmap(thandle_t /*handle*/, void* /*base*/, toff_t /*size*/) {}
