// The A3D reader: one pass over the file's bytes, front to back.
//
// Every read at or past the end yields zero bytes, so a truncated file reads as if it were padded
// with zeros. Records that would start at or past the end are not read at all: they could only
// hold zeros, and a hostile count must not make the reader loop or allocate for them. A record
// that starts before the end is read in full, its missing bytes as zeros.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "model/model.h"

namespace kestrum {
namespace {

constexpr size_t kVertexBytes = 64;
constexpr size_t kFaceBytes = 12;

class Cursor {
 public:
  Cursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool atEnd() const { return pos_ >= size_; }
  size_t remaining() const { return size_ - pos_; }

  // Bytes present keep their place as the low-order bytes; missing ones read as zero.
  uint32_t readU32() {
    uint32_t value = 0;
    for (int i = 0; i < 4 && pos_ < size_; ++i, ++pos_) value |= uint32_t{data_[pos_]} << (8 * i);
    return value;
  }
  int32_t readI32() { return static_cast<int32_t>(readU32()); }
  float readF32() { return std::bit_cast<float>(readU32()); }

  // A byte count, then that many bytes; zero bytes among them are consumed and dropped. A count
  // beyond the end takes what is there (the rest would be zeros, which add nothing).
  std::string readString() {
    int32_t count = readI32();
    std::string text;
    if (count <= 0) return text;
    size_t take = std::min(static_cast<size_t>(count), remaining());
    text.reserve(take);
    for (size_t i = 0; i < take; ++i) {
      char c = static_cast<char>(data_[pos_ + i]);
      if (c != '\0') text.push_back(c);
    }
    pos_ += take;
    return text;
  }

  // The header line: bytes up to the first CR, LF or zero byte (or the end). The line end is
  // consumed; CR LF counts as one; after a lone CR the next byte stays in place. Only the
  // line's first `keep` characters are returned: the rest is never looked at.
  std::string readHeaderLine(size_t keep) {
    std::string line;
    while (pos_ < size_) {
      uint8_t c = data_[pos_++];
      if (c == '\n' || c == '\0') break;
      if (c == '\r') {
        if (pos_ < size_ && data_[pos_] == '\n') ++pos_;
        break;
      }
      if (line.size() < keep) line.push_back(static_cast<char>(c));
    }
    return line;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

// How many records of at least `recordBytes` bytes can start before the end.
size_t recordsThatFit(int32_t count, size_t remaining, size_t recordBytes) {
  if (count <= 0) return 0;
  size_t fit = (remaining + recordBytes - 1) / recordBytes;
  return std::min(static_cast<size_t>(count), fit);
}

A3DMaterial readMaterial(Cursor& in) {
  A3DMaterial m;
  m.name = in.readString();
  for (int32_t& v : m.unusedInts) v = in.readI32();
  for (float& v : m.unusedFloats) v = in.readF32();
  m.blendMode = in.readI32();
  m.effectFlags = in.readI32();
  for (float& v : m.unusedFloats2) v = in.readF32();
  return m;
}

A3DTexture readTexture(Cursor& in) {
  A3DTexture t;
  t.materialName = in.readString();
  t.layer = in.readI32();
  t.fileName = in.readString();
  t.layerValue = in.readI32();
  t.layerFlags = in.readI32();
  t.spare = in.readI32();
  return t;
}

A3DVertex readVertex(Cursor& in) {
  A3DVertex v;
  for (float& f : v.position) f = in.readF32();
  for (float& f : v.normal) f = in.readF32();
  for (float& f : v.uv) f = in.readF32();
  v.w = in.readF32();
  for (float& f : v.uv2) f = in.readF32();
  v.w2 = in.readF32();
  for (int32_t& c : v.colour) c = in.readI32();
  v.alpha = in.readF32();
  return v;
}

void readMesh(Cursor& in, A3DMesh& mesh) {
  mesh.materialName = in.readString();
  mesh.vertices.clear();
  mesh.faces.clear();
  mesh.skippedFaces = 0;

  int32_t vertexCount = in.readI32();
  mesh.vertices.reserve(recordsThatFit(vertexCount, in.remaining(), kVertexBytes));
  for (int32_t i = 0; i < vertexCount && !in.atEnd(); ++i) mesh.vertices.push_back(readVertex(in));

  int32_t faceCount = in.readI32();
  mesh.faces.reserve(recordsThatFit(faceCount, in.remaining(), kFaceBytes));
  const int64_t vertices = static_cast<int64_t>(mesh.vertices.size());
  for (int32_t i = 0; i < faceCount && !in.atEnd(); ++i) {
    std::array<int32_t, 3> face{in.readI32(), in.readI32(), in.readI32()};
    bool inside = std::all_of(face.begin(), face.end(),
                              [&](int32_t index) { return index >= 0 && index < vertices; });
    if (inside)
      mesh.faces.push_back(face);
    else
      ++mesh.skippedFaces;
  }
}

}  // namespace

bool readA3D(const uint8_t* data, size_t size, A3DVisitor& visitor, std::string* error) {
  Cursor in(data, size);
  if (in.readHeaderLine(3) != "A3D") {
    if (error) *error = "not an A3D model file (its first line does not begin with \"A3D\")";
    return false;
  }

  int32_t materialCount = in.readI32();
  for (int32_t i = 0; i < materialCount && !in.atEnd(); ++i) visitor.material(readMaterial(in));

  int32_t textureCount = in.readI32();
  for (int32_t i = 0; i < textureCount && !in.atEnd(); ++i) visitor.texture(readTexture(in));

  int32_t objectCount = in.readI32();
  A3DMesh mesh;  // reused so its storage serves every mesh of the file
  for (int32_t i = 0; i < objectCount && !in.atEnd(); ++i) {
    A3DObject object;
    for (float& f : object.position) f = in.readF32();
    for (float& f : object.rotation) f = in.readF32();
    object.parentName = in.readString();
    object.name = in.readString();
    visitor.beginObject(object);
    int32_t meshCount = in.readI32();
    for (int32_t m = 0; m < meshCount && !in.atEnd(); ++m) {
      readMesh(in, mesh);
      visitor.mesh(mesh);
    }
    visitor.endObject();
  }
  return true;
}

uint32_t packVertexColour(const A3DVertex& vertex) {
  // alpha x 255 is exact in double; nearbyint rounds an exact half to even under the default
  // rounding mode. Only the value modulo 256 reaches the top byte; fmod is exact, and values too
  // large to hold a fractional or low part (or not finite) leave 0 there.
  double alpha = std::nearbyint(static_cast<double>(vertex.alpha) * 255.0);
  double low = std::isfinite(alpha) ? std::fmod(alpha, 256.0) : 0.0;
  if (low < 0) low += 256.0;
  uint32_t alphaByte = static_cast<uint32_t>(low) & 0xFFu;
  uint32_t c1 = static_cast<uint32_t>(vertex.colour[0]);
  uint32_t c2 = static_cast<uint32_t>(vertex.colour[1]);
  uint32_t c3 = static_cast<uint32_t>(vertex.colour[2]);
  return (alphaByte << 24) + (c1 << 16) + (c2 << 8) + c3;
}

}  // namespace kestrum
