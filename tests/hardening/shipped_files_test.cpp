// Every file the program ships (the models and pictures of the run folder's bin/, the pictures
// compiled into the program, the example sessions) goes through its reader whole, cut short at a
// spread of lengths and with single bits flipped at a spread of places. Damaged copies may be
// refused but never crash the reader, read out of bounds or leak (the sanitizer build runs this);
// the whole file reads the same before and after.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "file_bytes.h"
#include "image/image.h"
#include "model/model.h"
#include "persist/session_record.h"

namespace fs = std::filesystem;

namespace {

using kestrum::test::fileBytes;

enum class Kind { Model, Picture, Session };

struct ShippedFile {
  fs::path path;
  Kind kind;
};

void PrintTo(const ShippedFile& file, std::ostream* out) {
  *out << file.path.string();
}

uint64_t mix(uint64_t hash, uint64_t value) {
  return (hash ^ value) * 1099511628211ull;
}

// Walks a model and sums up what it holds; every face must index vertices of its own mesh.
struct ModelDigest : kestrum::A3DVisitor {
  uint64_t hash = 14695981039346656037ull;
  size_t objects = 0, meshes = 0, vertices = 0, faces = 0, badIndices = 0;
  void material(const kestrum::A3DMaterial& m) override {
    hash = mix(hash, std::hash<std::string>{}(m.name));
  }
  void texture(const kestrum::A3DTexture& t) override {
    hash = mix(hash, std::hash<std::string>{}(t.fileName));
  }
  void beginObject(const kestrum::A3DObject& o) override {
    ++objects;
    hash = mix(hash, std::hash<std::string>{}(o.name));
  }
  void mesh(const kestrum::A3DMesh& mesh) override {
    ++meshes;
    vertices += mesh.vertices.size();
    faces += mesh.faces.size();
    for (const kestrum::A3DVertex& v : mesh.vertices) hash = mix(hash, packVertexColour(v));
    for (const auto& face : mesh.faces)
      for (int32_t index : face) {
        if (index < 0 || static_cast<size_t>(index) >= mesh.vertices.size()) ++badIndices;
        hash = mix(hash, static_cast<uint32_t>(index));
      }
  }
};

// What a reader made of some bytes, as a number that differs when the result differs.
struct Reading {
  bool ok = false;
  uint64_t digest = 0;
  std::string problem;  // set when a result breaks the reader's promises
};

Reading readBytes(Kind kind, const std::vector<uint8_t>& bytes) {
  Reading reading;
  switch (kind) {
    case Kind::Model: {
      ModelDigest digest;
      reading.ok = kestrum::readA3D(bytes.data(), bytes.size(), digest);
      reading.digest = mix(mix(digest.hash, digest.vertices), digest.faces);
      if (digest.badIndices) reading.problem = "a face indexes outside its mesh";
      if (reading.ok && digest.meshes == 0) reading.ok = false;
      break;
    }
    case Kind::Picture: {
      std::string error;
      auto image = kestrum::decodeImage(bytes.data(), bytes.size(), &error);
      reading.ok = image.has_value();
      if (image) {
        if (!kestrum::imageSizeAllowed(image->width, image->height) ||
            image->pixels.size() != size_t(image->width) * size_t(image->height) * 4)
          reading.problem = "a picture whose pixels do not match its size";
        uint64_t hash = mix(mix(14695981039346656037ull, image->width), image->height);
        for (uint8_t byte : image->pixels) hash = mix(hash, byte);
        reading.digest = hash;
      } else if (error.empty()) {
        reading.problem = "refused without a reason";
      }
      break;
    }
    case Kind::Session: {
      kestrum::SessionRecord record = kestrum::decodeSessionRecord(bytes.data(), bytes.size());
      std::vector<uint8_t> encoded = kestrum::encodeSessionRecord(record);
      reading.ok = true;
      uint64_t hash = 14695981039346656037ull;
      for (uint8_t byte : encoded) hash = mix(hash, byte);
      reading.digest = hash;
      // A decoded record writes and reads back unchanged.
      kestrum::SessionRecord again = kestrum::decodeSessionRecord(encoded.data(), encoded.size());
      if (kestrum::encodeSessionRecord(again) != encoded)
        reading.problem = "a record that changes when written and read back";
      break;
    }
  }
  return reading;
}

std::vector<ShippedFile> shippedFiles() {
  std::vector<ShippedFile> files;
  auto add = [&files](const fs::path& folder, const std::string& extension, Kind kind) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
      if (entry.is_regular_file() && entry.path().extension() == extension)
        files.push_back({entry.path(), kind});
  };
  add(fs::path(KESTRUM_RUN_DIR) / "bin", ".a3d", Kind::Model);
  add(fs::path(KESTRUM_RUN_DIR) / "bin", ".png", Kind::Picture);
  add(fs::path(KESTRUM_SOURCE_DIR) / "assets" / "images", ".png", Kind::Picture);
  add(fs::path(KESTRUM_SOURCE_DIR) / "examples", ".ksm", Kind::Session);
  std::sort(files.begin(), files.end(),
            [](const ShippedFile& a, const ShippedFile& b) { return a.path < b.path; });
  return files;
}

// Lengths to cut at and places to flip a bit at: the first bytes (headers), then an even spread.
std::vector<size_t> spreadOfOffsets(size_t size, size_t count) {
  std::vector<size_t> offsets;
  for (size_t i = 0; i < std::min<size_t>(size, 8); ++i) offsets.push_back(i);
  for (size_t i = 1; i <= count && size > 0; ++i) offsets.push_back(size * i / (count + 1));
  if (size > 0) offsets.push_back(size - 1);
  std::sort(offsets.begin(), offsets.end());
  offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
  return offsets;
}

class ShippedFileTest : public ::testing::TestWithParam<ShippedFile> {};

TEST(ShippedFiles, AllAreThere) {
  auto files = shippedFiles();
  auto count = [&files](Kind kind) {
    return std::count_if(files.begin(), files.end(),
                         [kind](const ShippedFile& f) { return f.kind == kind; });
  };
  EXPECT_EQ(count(Kind::Model), 21) << "twenty box models and the shadow";
  EXPECT_GE(count(Kind::Picture), 27 + 20) << "the program's pictures and the twenty shadows";
  EXPECT_GE(count(Kind::Session), 2);
}

// The loader's node limit stays far above what the shipped models need, so it never cuts one.
TEST(ShippedFiles, ModelsStayFarBelowTheNodeLimit) {
  for (const ShippedFile& file : shippedFiles()) {
    if (file.kind != Kind::Model) continue;
    const std::vector<uint8_t> bytes = fileBytes(file.path);
    ModelDigest digest;
    ASSERT_TRUE(kestrum::readA3D(bytes.data(), bytes.size(), digest)) << file.path;
    EXPECT_LT(digest.objects + digest.meshes, size_t{kMaxModelNodes} / 10) << file.path;
  }
}

TEST_P(ShippedFileTest, ReadsWholeAndSurvivesDamage) {
  const ShippedFile& file = GetParam();
  const std::vector<uint8_t> bytes = fileBytes(file.path);
  ASSERT_FALSE(bytes.empty()) << file.path;
  const Reading whole = readBytes(file.kind, bytes);
  ASSERT_TRUE(whole.ok) << file.path << " does not read";
  ASSERT_EQ(whole.problem, "") << file.path;
  if (file.kind == Kind::Session) {
    // The example sessions are exactly what the program writes.
    EXPECT_EQ(
        kestrum::encodeSessionRecord(kestrum::decodeSessionRecord(bytes.data(), bytes.size())),
        bytes);
  }

  for (size_t length : spreadOfOffsets(bytes.size(), 24)) {
    std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
    Reading reading = readBytes(file.kind, cut);
    EXPECT_EQ(reading.problem, "") << "cut at " << length;
  }
  for (size_t offset : spreadOfOffsets(bytes.size(), 32)) {
    std::vector<uint8_t> flipped = bytes;
    flipped[offset] ^= uint8_t(1u << (offset % 8));
    Reading reading = readBytes(file.kind, flipped);
    EXPECT_EQ(reading.problem, "") << "bit flipped at " << offset;
  }

  const Reading again = readBytes(file.kind, bytes);
  EXPECT_TRUE(again.ok);
  EXPECT_EQ(again.digest, whole.digest) << "the file reads differently after damaged copies";
}

std::string fileTestName(const ::testing::TestParamInfo<ShippedFile>& info) {
  std::string name =
      info.param.path.parent_path().filename().string() + "_" + info.param.path.filename().string();
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Each, ShippedFileTest, ::testing::ValuesIn(shippedFiles()), fileTestName);

}  // namespace
