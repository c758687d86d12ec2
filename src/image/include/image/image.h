// The image facility: decoding PNG, JPEG and BMP pictures, encoding them, and resampling by area
// averaging.
//
// Every picture in memory is 8-bit RGBA, rows top to bottom. Decoders never throw and never read
// past their input: on any failure they return an empty optional and, when `error` is given, put
// a short reason there ("not a PNG file", "truncated JPEG data", "picture too large: ..."). A
// picture whose header claims more than kMaxImageSide pixels a side or kMaxImagePixels pixels in
// all is refused from its header, before any large allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

inline constexpr int kMaxImageSide = 16384;
inline constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

struct Image {
  int width = 0;
  int height = 0;
  // Whether the picture carries meaningful alpha (the source had an alpha channel or a
  // transparent palette entry). Pixels are always stored as RGBA; opaque pictures have alpha 255
  // everywhere and encoders write them without an alpha channel.
  bool hasAlpha = false;
  std::vector<uint8_t> pixels;  // width * height * 4 bytes

  bool empty() const { return width <= 0 || height <= 0; }
  uint8_t* pixel(int x, int y) { return pixels.data() + (size_t(y) * size_t(width) + x) * 4; }
  const uint8_t* pixel(int x, int y) const {
    return pixels.data() + (size_t(y) * size_t(width) + x) * 4;
  }
};

// An opaque picture of the given size filled with one colour (r, g, b, a). Sizes outside
// 1..kMaxImageSide give an empty picture.
Image makeImage(int width, int height, uint32_t rgba = 0xff000000u);

enum class ImageFormat { Unknown, Png, Jpeg, Bmp };

// Recognises a format by its leading bytes.
ImageFormat detectImageFormat(const uint8_t* data, size_t size);
// Recognises a format by a file name's ending (.png, .jpg, .jpeg, .bmp; any letter case).
ImageFormat formatFromFileName(std::string_view path);

// True when a picture of this size may be decoded or made (both sides 1..kMaxImageSide and at
// most kMaxImagePixels pixels).
bool imageSizeAllowed(int64_t width, int64_t height);

std::optional<Image> decodePng(const uint8_t* data, size_t size, std::string* error = nullptr);
std::optional<Image> decodeJpeg(const uint8_t* data, size_t size, std::string* error = nullptr);
std::optional<Image> decodeBmp(const uint8_t* data, size_t size, std::string* error = nullptr);
// Decodes whichever of the three formats the leading bytes show.
std::optional<Image> decodeImage(const uint8_t* data, size_t size, std::string* error = nullptr);

// Reads and decodes a picture file (format from its content, not its name).
std::optional<Image> loadImage(const std::string& path, std::string* error = nullptr);
// Reads only the header of a picture file and gives its size; false when it is not a picture
// this facility can decode.
bool readImageSize(const std::string& path, int* width, int* height, std::string* error = nullptr);

// Encoders. `level` is zlib's 0..9; `quality` is JPEG's 1..100. They return an empty optional
// only for an empty picture or a library failure. JPEG drops alpha; BMP writes 24 bits, or 32
// when the picture has alpha.
std::optional<std::vector<uint8_t>> encodePng(const Image& image, int level = 6,
                                              std::string* error = nullptr);
std::optional<std::vector<uint8_t>> encodeJpeg(const Image& image, int quality = 90,
                                               std::string* error = nullptr);
std::optional<std::vector<uint8_t>> encodeBmp(const Image& image, std::string* error = nullptr);

struct SaveOptions {
  ImageFormat format = ImageFormat::Unknown;  // Unknown: by the file name's ending, PNG otherwise
  int pngLevel = 6;
  int jpegQuality = 92;
};
// Encodes and writes a picture. The file is written atomically: a failed save leaves any
// earlier file at `path` as it was and no partial file behind.
bool saveImage(const Image& image, const std::string& path, const SaveOptions& options = {},
               std::string* error = nullptr);

// Writes a PNG without compression (unfiltered rows in stored deflate blocks) straight to a file,
// neither atomically nor flushed to disk: for temporary copies that are read back at once, many
// times faster than encodePng. A failed write leaves no file.
bool writeStoredPng(const Image& image, const std::string& path, std::string* error = nullptr);

// Keeps a picture that was just written to the file `path`, so that the next loadImage of that
// file takes it instead of reading and decoding the file again (writing a temporary copy and
// reading it straight back then costs no decode). The picture is handed over once; a file
// rewritten, replaced or touched since it was kept is read as usual. At most two pictures are
// kept; the oldest goes first. forgetWrittenPictures drops them all.
void keepWrittenPicture(const std::string& path, Image image);
void forgetWrittenPictures();

// Resamples to width x height by area averaging: every source pixel contributes to each target
// pixel in proportion to the area they overlap. Colour is averaged weighted by alpha, so
// transparent pixels do not bleed their colour into opaque ones. Sizes outside
// 1..kMaxImageSide give an empty picture.
Image resampleArea(const Image& source, int width, int height);

// Compositing. Straight alpha to premultiplied, in place, and back (a fully transparent pixel
// comes back black).
void premultiplyAlpha(Image& image);
void unpremultiplyAlpha(Image& image);
// Premultiplied `top` over premultiplied `bottom`, in place in `bottom`. Pictures of different
// sizes are left as they are.
void overPremultiplied(Image& bottom, const Image& top);
// Straight-alpha `top` over straight-alpha `bottom`, in place in `bottom`; the result is straight
// alpha. Pictures of different sizes are left as they are.
void compositeOver(Image& bottom, const Image& top);

}  // namespace kestrum
