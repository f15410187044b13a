#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <vector>

#include "imaging/movie/MovieFramePipe.h"
#include "imaging/pixmap/XpPixmapTypes.h"
#include "imaging/resample/XpPixmapResize.h"

// Helpers shared by the frame server's tests: request bytes, reply parsing
// and the fake frame pattern.
namespace moviethumb_test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& bytes, const uint8_t* data, size_t count) {
  bytes.insert(bytes.end(), data, data + count);
}

inline void AppendToken(Bytes& bytes, MovieToken token) {
  const MovieTokenBytes encoded = MovieFramePipe::EncodeToken(token);
  Append(bytes, encoded.data(), encoded.size());
}

inline void AppendText(Bytes& bytes, const char16_t* text) {
  for (; *text != 0; ++text) {
    bytes.push_back(static_cast<uint8_t>(*text & 0xFF));
    bytes.push_back(static_cast<uint8_t>(*text >> 8));
  }
}

inline void AppendInt32(Bytes& bytes, int32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(static_cast<uint32_t>(value) >> (8 * i)));
}

inline Bytes OpenRequest(const XpString& path, XpFormatKind kind = 0x01000000) {
  Bytes bytes;
  AppendToken(bytes, MovieToken::kOpen);
  MovieOpenRequest request;
  request.fileType = kind;
  request.path = path;
  const std::vector<uint8_t> body = request.Serialize();
  Append(bytes, body.data(), body.size());
  return bytes;
}

inline Bytes FrameRequest(int64_t position, int32_t width, int32_t height, uint8_t keepAspect,
                          uint8_t prepare = 0) {
  Bytes bytes;
  AppendToken(bytes, MovieToken::kFrame);
  MovieFrameRequest request;
  request.position = position;
  request.width = width;
  request.height = height;
  request.keepAspect = keepAspect;
  request.prepare = prepare;
  const auto body = request.Serialize();
  Append(bytes, body.data(), body.size());
  return bytes;
}

inline Bytes TokenRequest(MovieToken token) {
  Bytes bytes;
  AppendToken(bytes, token);
  return bytes;
}

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// One reply read from a byte stream at offset; false when the bytes end
// early or the token is unknown.
struct Reply {
  MovieToken token = MovieToken::kUnknown;
  MovieFrameHeader header;
  Bytes body;
};

inline bool TakeReply(const Bytes& stream, size_t* offset, Reply* reply) {
  if (stream.size() < *offset + kMovieTokenBytes) return false;
  reply->token = MovieFramePipe::DecodeToken(stream.data() + *offset);
  *offset += kMovieTokenBytes;
  size_t bodyBytes = 0;
  if (reply->token == MovieToken::kFrame) {
    if (stream.size() < *offset + MovieFrameHeader::kBytes) return false;
    reply->header = MovieFrameHeader::Parse(stream.data() + *offset);
    *offset += MovieFrameHeader::kBytes;
    bodyBytes = static_cast<size_t>(reply->header.byteCount);
  } else if (reply->token == MovieToken::kProperties) {
    bodyBytes = MoviePropertyBlock::kBytes;
  } else if (reply->token != MovieToken::kBad && reply->token != MovieToken::kError) {
    return false;
  }
  if (stream.size() < *offset + bodyBytes) return false;
  reply->body.assign(stream.begin() + static_cast<ptrdiff_t>(*offset),
                     stream.begin() + static_cast<ptrdiff_t>(*offset + bodyBytes));
  *offset += bodyBytes;
  return true;
}

inline std::vector<Reply> ParseReplies(const Bytes& stream) {
  std::vector<Reply> replies;
  size_t offset = 0;
  Reply reply;
  while (TakeReply(stream, &offset, &reply)) replies.push_back(reply);
  return replies;
}

inline size_t RowBytes(int32_t width) { return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3}; }

// The fake frame upright: pixel (x, y), y = 0 at the top, holds
// B = x, G = y, R = position, each mod 256.
inline XpPixmapBGR24NoHandle* UprightPattern(int32_t width, int32_t height, int64_t position) {
  auto* pixmap = new XpPixmapBGR24NoHandle();
  if (XpFailed(pixmap->Allocate(width, height))) return pixmap;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = pixmap->GetPlane(0)->Row(y);
    for (int32_t x = 0; x < width; ++x) {
      row[x * 3] = static_cast<uint8_t>(x & 0xFF);
      row[x * 3 + 1] = static_cast<uint8_t>(y & 0xFF);
      row[x * 3 + 2] = static_cast<uint8_t>(position % 256);
    }
  }
  return pixmap;
}

// The bytes the server sends for the pattern at width x height.
inline Bytes ExpectedPixels(int32_t frameWidth, int32_t frameHeight, int64_t position,
                            int32_t width, int32_t height) {
  std::unique_ptr<XpPixmapBGR24NoHandle> pixmap(UprightPattern(frameWidth, frameHeight, position));
  if (width != frameWidth || height != frameHeight) {
    if (XpFailed(XpPixmapResize(*pixmap, width, height))) return {};
  }
  Bytes bytes;
  for (int32_t y = 0; y < height; ++y) {
    Append(bytes, pixmap->GetPlane(0)->Row(y), RowBytes(width));
  }
  return bytes;
}

}  // namespace moviethumb_test
