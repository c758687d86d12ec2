// Picture basics shared by every codec: making pictures, size limits, format recognition,
// and the file-level load, probe and save calls.
#include "image/image.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "image_internal.h"
#include "system/system.h"

namespace kestrum {

namespace image_detail {

void setError(std::string* error, std::string_view reason) {
  if (error) error->assign(reason);
}

bool checkSize(int64_t width, int64_t height, std::string* error) {
  if (width <= 0 || height <= 0) {
    setError(error, "picture has no pixels (" + std::to_string(width) + " x " +
                        std::to_string(height) + ")");
    return false;
  }
  if (!imageSizeAllowed(width, height)) {
    setError(error, "picture too large: " + std::to_string(width) + " x " + std::to_string(height) +
                        " pixels (at most " + std::to_string(kMaxImageSide) + " a side and " +
                        std::to_string(kMaxImagePixels) + " in all)");
    return false;
  }
  return true;
}

bool allocatePixels(Image& image, int width, int height, std::string* error) {
  try {
    image.pixels.assign(size_t(width) * size_t(height) * 4, 0);
  } catch (const std::bad_alloc&) {
    setError(error, "out of memory for a " + std::to_string(width) + " x " +
                        std::to_string(height) + " picture");
    image.pixels.clear();
    return false;
  }
  image.width = width;
  image.height = height;
  return true;
}

}  // namespace image_detail

using image_detail::setError;

Image makeImage(int width, int height, uint32_t rgba) {
  Image image;
  if (!imageSizeAllowed(width, height)) return image;
  if (!image_detail::allocatePixels(image, width, height, nullptr)) return Image{};
  const uint8_t colour[4] = {uint8_t(rgba), uint8_t(rgba >> 8), uint8_t(rgba >> 16),
                             uint8_t(rgba >> 24)};
  uint8_t* p = image.pixels.data();
  // Fill the first row, then copy it down: much faster than pixel by pixel for big pictures.
  for (int x = 0; x < width; ++x) std::memcpy(p + size_t(x) * 4, colour, 4);
  const size_t rowBytes = size_t(width) * 4;
  for (int y = 1; y < height; ++y) std::memcpy(p + size_t(y) * rowBytes, p, rowBytes);
  image.hasAlpha = colour[3] != 255;
  return image;
}

bool imageSizeAllowed(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= kMaxImageSide && height <= kMaxImageSide &&
         width * height <= kMaxImagePixels;
}

ImageFormat detectImageFormat(const uint8_t* data, size_t size) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  if (!data) return ImageFormat::Unknown;
  if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0) return ImageFormat::Png;
  if (size >= 2 && data[0] == 0xff && data[1] == 0xd8) return ImageFormat::Jpeg;
  if (size >= 2 && data[0] == 'B' && data[1] == 'M') return ImageFormat::Bmp;
  return ImageFormat::Unknown;
}

ImageFormat formatFromFileName(std::string_view path) {
  const size_t dot = path.find_last_of('.');
  if (dot == std::string_view::npos) return ImageFormat::Unknown;
  std::string_view ext = path.substr(dot + 1);
  // A dot inside a folder name is not an extension.
  if (ext.find_first_of("/\\") != std::string_view::npos) return ImageFormat::Unknown;
  std::string lower(ext);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  if (lower == "png") return ImageFormat::Png;
  if (lower == "jpg" || lower == "jpeg") return ImageFormat::Jpeg;
  if (lower == "bmp") return ImageFormat::Bmp;
  return ImageFormat::Unknown;
}

std::optional<Image> decodeImage(const uint8_t* data, size_t size, std::string* error) {
  switch (detectImageFormat(data, size)) {
    case ImageFormat::Png:
      return decodePng(data, size, error);
    case ImageFormat::Jpeg:
      return decodeJpeg(data, size, error);
    case ImageFormat::Bmp:
      return decodeBmp(data, size, error);
    case ImageFormat::Unknown:
      break;
  }
  setError(error, size == 0 ? "empty file" : "not a PNG, JPEG or BMP picture");
  return std::nullopt;
}

std::optional<Image> loadImage(const std::string& path, std::string* error) {
  if (std::optional<Image> kept = image_detail::takeWrittenPicture(path)) return kept;
  std::string readError;
  auto bytes = sys::readFile(path, size_t{1} << 30, &readError);
  if (!bytes) {
    setError(error, readError.empty() ? "cannot read " + path : readError);
    return std::nullopt;
  }
  return decodeImage(bytes->data(), bytes->size(), error);
}

bool readImageSize(const std::string& path, int* width, int* height, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    setError(error, "cannot open " + path + ": " + std::strerror(errno));
    return false;
  }
  // Headers are short, but a JPEG frame header may follow long metadata segments: read more
  // only while the parser asks for it.
  std::vector<uint8_t> head;
  size_t want = 64 * 1024;
  constexpr size_t kMostToRead = size_t{1} << 30;
  int64_t w = 0, h = 0;
  bool ok = false;
  std::string reason;
  while (true) {
    const size_t had = head.size();
    try {
      head.resize(want);
    } catch (const std::bad_alloc&) {
      reason = "out of memory";
      break;
    }
    const size_t got = std::fread(head.data() + had, 1, want - had, file);
    head.resize(had + got);
    const bool atEnd = got < want - had;
    reason.clear();
    image_detail::HeaderResult result = image_detail::HeaderResult::Bad;
    switch (detectImageFormat(head.data(), head.size())) {
      case ImageFormat::Png:
        if (image_detail::pngHeaderSize(head.data(), head.size(), &w, &h, &reason)) {
          result = image_detail::HeaderResult::Ok;
        }
        break;
      case ImageFormat::Bmp:
        if (image_detail::bmpHeaderSize(head.data(), head.size(), &w, &h, &reason)) {
          result = image_detail::HeaderResult::Ok;
        }
        break;
      case ImageFormat::Jpeg:
        result = image_detail::jpegHeaderSize(head.data(), head.size(), &w, &h, &reason);
        break;
      case ImageFormat::Unknown:
        reason = head.empty() ? "empty file" : "not a PNG, JPEG or BMP picture";
        break;
    }
    if (result == image_detail::HeaderResult::NeedMore) {
      if (!atEnd && want < kMostToRead) {
        want *= 4;
        continue;
      }
      reason = "truncated JPEG data";
    }
    ok = result == image_detail::HeaderResult::Ok;
    break;
  }
  std::fclose(file);
  if (ok) ok = image_detail::checkSize(w, h, &reason);
  if (!ok) {
    setError(error, reason);
    return false;
  }
  if (width) *width = int(w);
  if (height) *height = int(h);
  return true;
}

bool saveImage(const Image& image, const std::string& path, const SaveOptions& options,
               std::string* error) {
  ImageFormat format = options.format;
  if (format == ImageFormat::Unknown) format = formatFromFileName(path);
  std::optional<std::vector<uint8_t>> bytes;
  switch (format) {
    case ImageFormat::Jpeg:
      bytes = encodeJpeg(image, options.jpegQuality, error);
      break;
    case ImageFormat::Bmp:
      bytes = encodeBmp(image, error);
      break;
    case ImageFormat::Png:
    case ImageFormat::Unknown:
      bytes = encodePng(image, options.pngLevel, error);
      break;
  }
  if (!bytes) return false;
  return sys::writeFileAtomic(path, bytes->data(), bytes->size(), error);
}

}  // namespace kestrum
