// Builds A3D model files byte by byte for the tests.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

struct TestVertex {
  float x = 0, y = 0, z = 0;
  float nx = 0, ny = 1, nz = 0;
  float u = 0, v = 0;
  float u2 = 0, v2 = 0;
  int32_t c1 = 255, c2 = 255, c3 = 255;  // blue, green, red
  float alpha = 1.0f;
};

class A3DWriter {
 public:
  std::vector<uint8_t> bytes;

  A3DWriter& raw(std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
    return *this;
  }
  A3DWriter& u32(uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    return *this;
  }
  A3DWriter& i32(int32_t value) { return u32(static_cast<uint32_t>(value)); }
  A3DWriter& f32(float value) { return u32(std::bit_cast<uint32_t>(value)); }
  A3DWriter& str(std::string_view text) {
    i32(static_cast<int32_t>(text.size()));
    return raw(text);
  }
  A3DWriter& header(std::string_view line = std::string_view("A3D\r\n")) { return raw(line); }

  A3DWriter& material(std::string_view name, int32_t blendMode = 0, int32_t effectFlags = 0) {
    str(name);
    i32(11).i32(12).i32(13);
    f32(0.25f).f32(0.5f);
    i32(blendMode).i32(effectFlags);
    return f32(1.0f).f32(2.0f);
  }
  A3DWriter& texture(std::string_view materialName, int32_t layer, std::string_view fileName,
                     int32_t layerFlags = 0) {
    str(materialName).i32(layer).str(fileName);
    return i32(7).i32(layerFlags).i32(0);
  }
  A3DWriter& object(std::string_view name, int32_t meshCount, float px = 0, float py = 0,
                    float pz = 0, float rx = 0, float ry = 0, float rz = 0) {
    f32(px).f32(py).f32(pz).f32(rx).f32(ry).f32(rz);
    str("parent").str(name);
    return i32(meshCount);
  }
  A3DWriter& vertex(const TestVertex& v) {
    f32(v.x).f32(v.y).f32(v.z).f32(v.nx).f32(v.ny).f32(v.nz);
    f32(v.u).f32(v.v).f32(0.0f).f32(v.u2).f32(v.v2).f32(0.0f);
    i32(v.c1).i32(v.c2).i32(v.c3);
    return f32(v.alpha);
  }
  // A mesh with the given vertices and faces.
  A3DWriter& mesh(std::string_view materialName, const std::vector<TestVertex>& vertices,
                  const std::vector<std::array<int32_t, 3>>& faces) {
    str(materialName).i32(static_cast<int32_t>(vertices.size()));
    for (const TestVertex& v : vertices) vertex(v);
    i32(static_cast<int32_t>(faces.size()));
    for (const auto& f : faces) i32(f[0]).i32(f[1]).i32(f[2]);
    return *this;
  }
  // One triangle.
  A3DWriter& triangle(std::string_view materialName) {
    TestVertex a, b, c;
    b.x = 1;
    c.y = 1;
    return mesh(materialName, {a, b, c}, {{0, 1, 2}});
  }

  bool save(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
  }
};
