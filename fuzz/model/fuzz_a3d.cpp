// libFuzzer target for the A3D reader: any bytes must be read without crashing, reading out of
// bounds or allocating for counts the file cannot hold, and every face handed over must index
// vertices of its own mesh.
#include <cstdint>
#include <cstdlib>

#include "model/model.h"

namespace {

struct Checker : kestrum::A3DVisitor {
  uint32_t sum = 0;
  void material(const kestrum::A3DMaterial& m) override { sum += m.name.size(); }
  void texture(const kestrum::A3DTexture& t) override { sum += t.fileName.size(); }
  void beginObject(const kestrum::A3DObject& o) override { sum += o.name.size(); }
  void mesh(const kestrum::A3DMesh& mesh) override {
    for (const kestrum::A3DVertex& v : mesh.vertices) sum += kestrum::packVertexColour(v);
    for (const auto& face : mesh.faces)
      for (int32_t index : face)
        if (index < 0 || static_cast<size_t>(index) >= mesh.vertices.size()) std::abort();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Checker checker;
  kestrum::readA3D(data, size, checker);
  return 0;
}
