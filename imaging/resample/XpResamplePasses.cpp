#include "imaging/resample/XpResamplePasses.h"

#include <cstddef>
#include <cstring>
#include <memory>
#include <new>

#include "imaging/resample/XpGcd.h"

namespace {

// The source pixels of one target of the area average: consecutive
// positions from first, with their weights (grid units) in the table's
// weight array from offset on.
struct AreaSpan {
  int64_t first = 0;
  int64_t count = 0;
  int64_t offset = 0;
};

// Weights of the area average over the common grid of source and target:
// each source pixel spans m grid units, each target n; a target takes m of
// each whole source pixel it covers and the shares of the split ones.
class AreaTable {
 public:
  XpResult Build(int32_t sourceLength, int32_t targetLength) {
    const int64_t g = XpGcd(sourceLength, targetLength);
    m_ = targetLength / g;
    n_ = sourceLength / g;
    // A source pixel split between two targets appears in both.
    const int64_t entries = static_cast<int64_t>(sourceLength) + targetLength;
    spans_.reset(new (std::nothrow) AreaSpan[static_cast<size_t>(targetLength)]);
    weights_.reset(new (std::nothrow) int64_t[static_cast<size_t>(entries)]);
    if (!spans_ || !weights_) {
      return kXpErrOutOfMemory;
    }
    WalkCarries(targetLength);
    return kXpOk;
  }

  int64_t Divisor() const { return n_; }
  const AreaSpan& Span(int64_t target) const { return spans_[static_cast<size_t>(target)]; }
  const int64_t* Weights(const AreaSpan& span) const {
    return &weights_[static_cast<size_t>(span.offset)];
  }

 private:
  void WalkCarries(int32_t targetLength) {
    int64_t current = 0;
    int64_t carry = 0;
    int64_t filled = 0;
    for (int64_t i = 0; i < targetLength; ++i) {
      AreaSpan& span = spans_[static_cast<size_t>(i)];
      span.first = current;
      span.offset = filled;
      int64_t used = carry;
      if (carry > 0) {
        weights_[static_cast<size_t>(filled++)] = carry;
        ++current;
      }
      while (used + m_ <= n_) {
        weights_[static_cast<size_t>(filled++)] = m_;
        ++current;
        used += m_;
      }
      if (used < n_) {
        // The current pixel is split between this target and the next.
        weights_[static_cast<size_t>(filled++)] = n_ - used;
        carry = used + m_ - n_;
      } else {
        carry = 0;
      }
      span.count = filled - span.offset;
    }
  }

  int64_t m_ = 0;
  int64_t n_ = 0;
  std::unique_ptr<AreaSpan[]> spans_;
  std::unique_ptr<int64_t[]> weights_;
};

}  // namespace

[[nodiscard]] XpResult XpBoxAverage(const XpPlaneBase& source, const XpPlaneBase& target,
                                    int32_t channels, int32_t factor) {
  if (source.width != static_cast<int64_t>(factor) * target.width ||
      source.height != static_cast<int64_t>(factor) * target.height) {
    return kXpErrGeneric;
  }
  const uint64_t area = static_cast<uint64_t>(factor) * factor;
  const ptrdiff_t blockBytes = static_cast<ptrdiff_t>(factor) * channels;
  for (int32_t y = 0; y < target.height; ++y) {
    const int64_t firstRow = static_cast<int64_t>(y) * factor;
    uint8_t* out = target.Row(y);
    for (int32_t x = 0; x < target.width; ++x) {
      const ptrdiff_t firstByte = static_cast<ptrdiff_t>(x) * blockBytes;
      for (int32_t channel = 0; channel < channels; ++channel) {
        uint64_t sum = 0;
        for (int32_t dy = 0; dy < factor; ++dy) {
          const uint8_t* in = source.Row(static_cast<int32_t>(firstRow + dy)) + firstByte + channel;
          for (int32_t dx = 0; dx < factor; ++dx) {
            sum += in[static_cast<ptrdiff_t>(dx) * channels];
          }
        }
        *out++ = static_cast<uint8_t>(sum / area);
      }
    }
  }
  return kXpOk;
}

[[nodiscard]] XpResult XpCopyPass(const XpPlaneBase& source, const XpPlaneBase& target,
                                  int32_t channels, XpResampleDirection direction) {
  const int32_t length = XpTargetLength(target, direction);
  if (!XpCrossLengthsAgree(source, target, direction) ||
      XpSourceLength(source, direction) != length) {
    return kXpErrGeneric;
  }
  XpForEachLineGroup(source, target, channels, direction, [&](const XpLineGroup& lines) {
    for (int32_t i = 0; i < length; ++i) {
      std::memcpy(lines.TargetAt(i), lines.SourceAt(i), static_cast<size_t>(lines.lanes));
    }
  });
  return kXpOk;
}

[[nodiscard]] XpResult XpPairAveragePass(const XpPlaneBase& source, const XpPlaneBase& target,
                                         int32_t channels, XpResampleDirection direction) {
  const int32_t length = XpTargetLength(target, direction);
  if (!XpCrossLengthsAgree(source, target, direction) ||
      XpSourceLength(source, direction) != 2 * static_cast<int64_t>(length)) {
    return kXpErrGeneric;
  }
  XpForEachLineGroup(source, target, channels, direction, [&](const XpLineGroup& lines) {
    for (int32_t i = 0; i < length; ++i) {
      const uint8_t* first = lines.SourceAt(2 * static_cast<int64_t>(i));
      const uint8_t* second = lines.SourceAt(2 * static_cast<int64_t>(i) + 1);
      uint8_t* out = lines.TargetAt(i);
      for (ptrdiff_t lane = 0; lane < lines.lanes; ++lane) {
        out[lane] = static_cast<uint8_t>((first[lane] + second[lane]) >> 1);
      }
    }
  });
  return kXpOk;
}

[[nodiscard]] XpResult XpAreaAveragePass(const XpPlaneBase& source, const XpPlaneBase& target,
                                         int32_t channels, XpResampleDirection direction) {
  const int32_t length = XpTargetLength(target, direction);
  if (!XpCrossLengthsAgree(source, target, direction) || length < 1 ||
      XpSourceLength(source, direction) <= length) {
    return kXpErrGeneric;
  }
  AreaTable table;
  const XpResult result = table.Build(XpSourceLength(source, direction), length);
  if (XpFailed(result)) {
    return result;
  }
  const uint64_t divisor = static_cast<uint64_t>(table.Divisor());
  XpForEachLineGroup(source, target, channels, direction, [&](const XpLineGroup& lines) {
    for (int32_t i = 0; i < length; ++i) {
      const AreaSpan& span = table.Span(i);
      const int64_t* weights = table.Weights(span);
      uint8_t* out = lines.TargetAt(i);
      for (ptrdiff_t lane = 0; lane < lines.lanes; ++lane) {
        uint64_t sum = 0;
        for (int64_t j = 0; j < span.count; ++j) {
          sum += static_cast<uint64_t>(weights[j]) * lines.SourceAt(span.first + j)[lane];
        }
        out[lane] = static_cast<uint8_t>(sum / divisor);
      }
    }
  });
  return kXpOk;
}

[[nodiscard]] XpResult XpReplicatePass(const XpPlaneBase& source, const XpPlaneBase& target,
                                       int32_t channels, XpResampleDirection direction) {
  const int32_t length = XpTargetLength(target, direction);
  if (!XpCrossLengthsAgree(source, target, direction) || XpSourceLength(source, direction) != 1) {
    return kXpErrGeneric;
  }
  XpForEachLineGroup(source, target, channels, direction, [&](const XpLineGroup& lines) {
    for (int32_t i = 0; i < length; ++i) {
      std::memcpy(lines.TargetAt(i), lines.SourceAt(0), static_cast<size_t>(lines.lanes));
    }
  });
  return kXpOk;
}
