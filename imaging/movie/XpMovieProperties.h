#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "imaging/movie/XpAnyTypeValue.h"
#include "platform/result/XpResult.h"
#include "platform/text/XpString.h"

// Stream indexes of the keys: the file as a whole, its video and its audio.
inline constexpr int32_t kXpMovieStreamFile = -1;
inline constexpr int32_t kXpMovieStreamVideo = 0;
inline constexpr int32_t kXpMovieStreamAudio = 1;

// The typed properties of one movie: values keyed by (stream index,
// property id), ordered by stream, then id, both signed; plus the stream
// count. A key holds one value: setting it again keeps the first.
class XpMovieProperties {
 public:
  XpMovieProperties() = default;
  XpMovieProperties(const XpMovieProperties&) = delete;
  XpMovieProperties& operator=(const XpMovieProperties&) = delete;
  virtual ~XpMovieProperties() = default;

  // Each getter: kXpErrMovieNullOutput for a null output,
  // kXpErrMovieKeyNotFound for an absent key, kXpErrMovieWrongType when the
  // value has another type; the output is untouched then.
  [[nodiscard]] virtual XpResult GetInt32(int32_t stream, int32_t id, int32_t* value) const;
  [[nodiscard]] virtual XpResult GetUInt32(int32_t stream, int32_t id, uint32_t* value) const;
  [[nodiscard]] virtual XpResult GetUInt64(int32_t stream, int32_t id, uint64_t* value) const;
  [[nodiscard]] virtual XpResult GetString(int32_t stream, int32_t id, XpString* value) const;
  [[nodiscard]] virtual XpResult GetDouble(int32_t stream, int32_t id, double* value) const;
  virtual int32_t GetStreamCount() const { return streamCount_; }

  void SetInt32(int32_t stream, int32_t id, int32_t value);
  void SetUInt32(int32_t stream, int32_t id, uint32_t value);
  void SetUInt64(int32_t stream, int32_t id, uint64_t value);
  void SetString(int32_t stream, int32_t id, const XpString& value);
  void SetDouble(int32_t stream, int32_t id, double value);
  void SetStreamCount(int32_t count) { streamCount_ = count; }

  using Key = std::pair<int32_t, int32_t>;
  // The keys in their order.
  std::vector<Key> GetKeys() const;

 private:
  template <typename Tag>
  void Set(int32_t stream, int32_t id, const typename Tag::Type& value);
  template <typename Tag>
  [[nodiscard]] XpResult Get(int32_t stream, int32_t id, typename Tag::Type* value) const;

  std::map<Key, std::unique_ptr<XpAnyTypeValueBase>> values_;
  int32_t streamCount_ = 0;
};
