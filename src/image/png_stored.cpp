// A PNG writer without compression, for temporary copies that are read back at once: the rows go
// unfiltered into stored deflate blocks, one block per IDAT chunk, straight to the file.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "image_internal.h"

namespace kestrum {
namespace {

constexpr size_t kMostStored = 65535;  // the most bytes one stored deflate block can hold

void putBigEndian32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24);
  p[1] = uint8_t(v >> 16);
  p[2] = uint8_t(v >> 8);
  p[3] = uint8_t(v);
}

class ChunkWriter {
 public:
  explicit ChunkWriter(int fd) : fd_(fd) {}

  bool writeAll(const uint8_t* data, size_t size) {
    while (size > 0) {
      ssize_t n = ::write(fd_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= size_t(n);
    }
    return true;
  }

  // `chunk` holds 8 bytes of room, then `size` bytes of data, then 4 bytes of room: the length,
  // type and CRC are filled in around the data and the whole is written at once.
  bool writeChunk(uint8_t* chunk, const char* type, size_t size) {
    putBigEndian32(chunk, uint32_t(size));
    std::memcpy(chunk + 4, type, 4);
    putBigEndian32(chunk + 8 + size, uint32_t(crc32(0, chunk + 4, uInt(size + 4))));
    return writeAll(chunk, size + 12);
  }

 private:
  int fd_;
};

}  // namespace

bool writeStoredPng(const Image& image, const std::string& path, std::string* error) {
  if (image.empty() || image.pixels.size() < size_t(image.width) * size_t(image.height) * 4) {
    image_detail::setError(error, "nothing to encode: the picture is empty");
    return false;
  }
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    image_detail::setError(error, "cannot write " + path + ": " + std::strerror(errno));
    return false;
  }
  ChunkWriter out(fd);
  const int channels = image.hasAlpha ? 4 : 3;
  const size_t rowBytes = 1 + size_t(image.width) * size_t(channels);  // filter byte + pixels

  static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  uint8_t header[8 + 13 + 4];
  putBigEndian32(header + 8, uint32_t(image.width));
  putBigEndian32(header + 12, uint32_t(image.height));
  header[16] = 8;                       // bits per channel
  header[17] = image.hasAlpha ? 6 : 2;  // RGBA or RGB
  header[18] = header[19] = header[20] = 0;
  uint8_t zlibHeader[8 + 2 + 4] = {0, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x01};  // deflate, no preset
  bool ok = out.writeAll(kSignature, sizeof kSignature) && out.writeChunk(header, "IHDR", 13) &&
            out.writeChunk(zlibHeader, "IDAT", 2);

  // One chunk: 8 bytes of chunk header, 5 of block header, the block's bytes, 4 of CRC.
  std::vector<uint8_t> chunk;
  std::vector<uint8_t> row(rowBytes);
  try {
    chunk.resize(8 + 5 + kMostStored + 4);
  } catch (const std::bad_alloc&) {
    ok = false;
  }
  uint32_t adler = uint32_t(adler32(0, nullptr, 0));
  size_t filled = 0;  // bytes in the block being built
  auto emitBlock = [&](bool last) {
    uint8_t* block = chunk.data() + 8;
    block[0] = last ? 1 : 0;
    block[1] = uint8_t(filled);
    block[2] = uint8_t(filled >> 8);
    block[3] = uint8_t(~filled);
    block[4] = uint8_t(~filled >> 8);
    adler = uint32_t(adler32(adler, block + 5, uInt(filled)));
    ok = ok && out.writeChunk(chunk.data(), "IDAT", 5 + filled);
    filled = 0;
  };
  for (int y = 0; ok && y < image.height; ++y) {
    const uint8_t* src = image.pixel(0, y);
    row[0] = 0;  // no filter
    if (channels == 4) {
      std::memcpy(row.data() + 1, src, size_t(image.width) * 4);
    } else {
      uint8_t* dst = row.data() + 1;
      for (int x = 0; x < image.width; ++x, src += 4, dst += 3) {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
    }
    for (size_t done = 0; done < rowBytes && ok;) {
      const size_t take = std::min(rowBytes - done, kMostStored - filled);
      std::memcpy(chunk.data() + 8 + 5 + filled, row.data() + done, take);
      filled += take;
      done += take;
      if (filled == kMostStored) emitBlock(false);
    }
  }
  if (ok) emitBlock(true);
  uint8_t trailer[8 + 4 + 4];
  putBigEndian32(trailer + 8, adler);
  uint8_t end[8 + 4];
  ok = ok && out.writeChunk(trailer, "IDAT", 4) && out.writeChunk(end, "IEND", 0);
  if (close(fd) != 0) ok = false;
  if (!ok) {
    image_detail::setError(error, "cannot write " + path + ": " + std::strerror(errno));
    unlink(path.c_str());
  }
  return ok;
}

}  // namespace kestrum
