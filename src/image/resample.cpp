// Area-averaging resampler. Source pixel i covers [i, i+1) on its axis and target pixel x covers
// [x * n / m, (x + 1) * n / m) of the same axis; each source pixel contributes to a target pixel
// in proportion to their overlap. The two axes are done apart (horizontal, then vertical), with
// the per-column and per-row weights worked out once in exact integer arithmetic.
#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/image.h"

namespace kestrum {
namespace {

// The source pixels that one target pixel covers and their weights (summing to 1).
struct Span {
  int first = 0;
  int count = 0;
  int offset = 0;  // into AxisWeights::weights
};

struct AxisWeights {
  std::vector<Span> spans;
  std::vector<float> weights;
  int maxCount = 0;
};

// Weights for resampling n source pixels to m target pixels. In units of 1/m of a source pixel,
// source pixel i covers [i*m, (i+1)*m) and target pixel x covers [x*n, (x+1)*n), so overlaps are
// whole numbers and each target pixel's overlaps add up to n.
AxisWeights axisWeights(int n, int m) {
  AxisWeights axis;
  axis.spans.resize(size_t(m));
  axis.weights.reserve(size_t(m) * (size_t(n) / size_t(m) + 2));
  const int64_t n64 = n, m64 = m;
  for (int x = 0; x < m; ++x) {
    const int64_t lo = x * n64, hi = (x + 1) * n64;
    const int first = int(lo / m64);
    const int last = int((hi - 1) / m64);
    Span& span = axis.spans[size_t(x)];
    span.first = first;
    span.offset = int(axis.weights.size());
    for (int i = first; i <= last; ++i) {
      const int64_t overlap = std::min((i + 1) * m64, hi) - std::max(i * m64, lo);
      if (overlap <= 0) continue;
      if (span.count == 0) span.first = i;
      axis.weights.push_back(float(double(overlap) / double(n64)));
      ++span.count;
    }
    axis.maxCount = std::max(axis.maxCount, span.count);
  }
  return axis;
}

// One RGBA pixel as four floats, in one SIMD register (GCC and Clang vector extension).
typedef float Pixel4 __attribute__((vector_size(16)));
typedef int Int4 __attribute__((vector_size(16)));
typedef uint8_t Byte4 __attribute__((vector_size(4)));

Pixel4 loadPixel(const uint8_t* p) {
  Byte4 b;
  std::memcpy(&b, p, 4);
  return __builtin_convertvector(b, Pixel4);
}

uint8_t toByte(float v) {
  const float c = std::min(std::max(v, 0.0f), 255.0f);
  return uint8_t(int(c + 0.5f));
}

void storeBytes(Pixel4 v, uint8_t* out) {
  const Pixel4 zero = {0, 0, 0, 0}, top = {255, 255, 255, 255}, half = {0.5f, 0.5f, 0.5f, 0.5f};
  v = v < zero ? zero : v;
  v = v > top ? top : v;
  const Byte4 b = __builtin_convertvector(__builtin_convertvector(v + half, Int4), Byte4);
  std::memcpy(out, &b, 4);
}

// Rounds and clamps n pixels to bytes. With SSE2, four pixels at a time are packed into one
// 16-byte store; the rounding is the same as storeBytes's.
void storeRow(const Pixel4* v, uint8_t* out, size_t n) {
  size_t x = 0;
#if defined(__SSE2__)
  const __m128 zero = _mm_setzero_ps(), top = _mm_set1_ps(255.0f), half = _mm_set1_ps(0.5f);
  for (; x + 4 <= n; x += 4) {
    __m128i i[4];
    for (int k = 0; k < 4; ++k) {
      const __m128 f = _mm_min_ps(_mm_max_ps(__m128(v[x + size_t(k)]), zero), top);
      i[k] = _mm_cvttps_epi32(_mm_add_ps(f, half));
    }
    const __m128i bytes =
        _mm_packus_epi16(_mm_packs_epi32(i[0], i[1]), _mm_packs_epi32(i[2], i[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * 4), bytes);
  }
#endif
  for (; x < n; ++x) storeBytes(v[x], out + x * 4);
}

// Widens n RGBA pixels to floats; with SSE2 four pixels at a time.
void widenRow(const uint8_t* row, size_t n, Pixel4* wide) {
  size_t i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; i + 4 <= n; i += 4) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i * 4));
    const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
    wide[i + 0] = Pixel4(_mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)));
    wide[i + 1] = Pixel4(_mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)));
    wide[i + 2] = Pixel4(_mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)));
    wide[i + 3] = Pixel4(_mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)));
  }
#endif
  for (; i < n; ++i) wide[i] = loadPixel(row + i * 4);
}

// Horizontal pass over one source row: `out` gets m pixels. The row is first widened to floats
// in `wide`, with colour multiplied by alpha when `premultiply` is set, so that transparent
// pixels carry no colour.
void resampleRow(const uint8_t* row, int n, const AxisWeights& axis, bool premultiply, Pixel4* wide,
                 Pixel4* out) {
  widenRow(row, size_t(n), wide);
  if (premultiply) {
    for (int i = 0; i < n; ++i) {
      const Pixel4 p = wide[i];
      const Pixel4 a = {p[3], p[3], p[3], 1.0f};
      wide[i] = p * a;
    }
  }
  const size_t m = axis.spans.size();
  const float* weights = axis.weights.data();
  for (size_t x = 0; x < m; ++x) {
    const Span& span = axis.spans[x];
    const float* w = weights + span.offset;
    const Pixel4* p = wide + span.first;
    Pixel4 acc = p[0] * w[0];
    for (int k = 1; k < span.count; ++k) acc += p[k] * w[k];
    out[x] = acc;
  }
}

// The plain (not alpha-weighted) colour average of one target pixel, for target pixels whose
// source pixels are all fully transparent: they keep the colour underneath, which matters to
// texture filtering, while their alpha stays 0.
void plainAverage(const Image& source, const AxisWeights& xs, const AxisWeights& ys, int x, int y,
                  uint8_t* out) {
  const Span& sx = xs.spans[size_t(x)];
  const Span& sy = ys.spans[size_t(y)];
  float sum[3] = {0, 0, 0};
  for (int j = 0; j < sy.count; ++j) {
    const float wy = ys.weights[size_t(sy.offset + j)];
    const uint8_t* p = source.pixel(sx.first, sy.first + j);
    for (int i = 0; i < sx.count; ++i, p += 4) {
      const float w = wy * xs.weights[size_t(sx.offset + i)];
      for (int c = 0; c < 3; ++c) sum[c] += w * float(p[c]);
    }
  }
  for (int c = 0; c < 3; ++c) out[c] = toByte(sum[c]);
}

}  // namespace

Image resampleArea(const Image& source, int width, int height) {
  if (source.empty() || source.pixels.size() < size_t(source.width) * size_t(source.height) * 4 ||
      !imageSizeAllowed(width, height)) {
    return Image{};
  }
  try {
    Image target;
    target.width = width;
    target.height = height;
    target.hasAlpha = source.hasAlpha;
    target.pixels.resize(size_t(width) * size_t(height) * 4);

    const size_t sourcePixels = size_t(source.width) * size_t(source.height);
    bool premultiply = false;
    for (size_t i = 0; i < sourcePixels && !premultiply; ++i) {
      premultiply = source.pixels[i * 4 + 3] != 255;
    }

    const AxisWeights xs = axisWeights(source.width, width);
    const AxisWeights ys = axisWeights(source.height, height);

    // Horizontally resampled source rows, kept in a ring big enough for the tallest row span.
    // Row spans only move downwards, so each source row is resampled once.
    const size_t rowPixels = size_t(width);
    const int ringRows = ys.maxCount;
    std::vector<Pixel4> ring(rowPixels * size_t(ringRows));
    std::vector<Pixel4> acc(rowPixels);
    std::vector<Pixel4> wide(size_t(source.width));
    int nextRow = 0;

    for (int y = 0; y < height; ++y) {
      const Span& span = ys.spans[size_t(y)];
      for (int j = std::max(nextRow, span.first); j < span.first + span.count; ++j) {
        resampleRow(source.pixel(0, j), source.width, xs, premultiply, wide.data(),
                    ring.data() + size_t(j % ringRows) * rowPixels);
      }
      nextRow = std::max(nextRow, span.first + span.count);

      // Vertical pass: this target row is the weighted sum of the rows of its span.
      const float* w = ys.weights.data() + span.offset;
      Pixel4* sum = acc.data();
      {
        const Pixel4* row = ring.data() + size_t(span.first % ringRows) * rowPixels;
        for (size_t i = 0; i < rowPixels; ++i) sum[i] = row[i] * w[0];
      }
      for (int k = 1; k < span.count; ++k) {
        const Pixel4* row = ring.data() + size_t((span.first + k) % ringRows) * rowPixels;
        const float wk = w[k];
        for (size_t i = 0; i < rowPixels; ++i) sum[i] += row[i] * wk;
      }

      uint8_t* out = target.pixel(0, y);
      if (!premultiply) {
        storeRow(sum, out, rowPixels);
        continue;
      }
      // Back from premultiplied colour; alpha itself is unchanged.
      bool anyClear = false;
      for (size_t x = 0; x < rowPixels; ++x) {
        const float a = sum[x][3];
        if (a > 0.0f) {
          const float inv = 1.0f / a;
          sum[x] *= Pixel4{inv, inv, inv, 1.0f};
        } else {
          anyClear = true;
        }
      }
      storeRow(sum, out, rowPixels);
      if (!anyClear) continue;
      for (int x = 0; x < width; ++x) {
        if (sum[x][3] > 0.0f) continue;
        plainAverage(source, xs, ys, x, y, out + size_t(x) * 4);
        out[size_t(x) * 4 + 3] = 0;
      }
    }
    return target;
  } catch (const std::bad_alloc&) {
    return Image{};
  }
}

}  // namespace kestrum
