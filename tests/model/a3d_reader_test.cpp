#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <ostream>

#include "a3d_writer.h"
#include "allocation_tracker.h"
#include "model/model.h"

using namespace kestrum;

namespace {

// Records everything the reader reports.
struct Recorder : A3DVisitor {
  std::vector<A3DMaterial> materials;
  std::vector<A3DTexture> textures;
  std::vector<A3DObject> objects;
  std::vector<A3DMesh> meshes;
  std::vector<std::string> events;
  size_t largestVertexCapacity = 0;

  void material(const A3DMaterial& m) override {
    materials.push_back(m);
    events.push_back("material " + m.name);
  }
  void texture(const A3DTexture& t) override {
    textures.push_back(t);
    events.push_back("texture " + t.fileName);
  }
  void beginObject(const A3DObject& o) override {
    objects.push_back(o);
    events.push_back("object " + o.name);
  }
  void mesh(const A3DMesh& m) override {
    meshes.push_back(m);
    largestVertexCapacity = std::max(largestVertexCapacity, m.vertices.capacity());
    events.push_back("mesh " + m.materialName);
  }
  void endObject() override { events.push_back("end"); }
};

bool read(const std::vector<uint8_t>& bytes, Recorder& out, std::string* error = nullptr) {
  return readA3D(bytes.data(), bytes.size(), out, error);
}

struct HeaderCase {
  const char* label;
  std::string header;  // raw bytes before the material count
  bool accepted;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const HeaderCase& c, std::ostream* os) {
  *os << c.label;
}

class HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, AcceptsOnlyAFirstLineBeginningWithA3DAndStopsAtItsEnd) {
  const HeaderCase& c = GetParam();
  A3DWriter w;
  w.raw(c.header).i32(1).material("M").i32(0).i32(0);
  Recorder rec;
  std::string error;
  bool ok = read(w.bytes, rec, &error);
  EXPECT_EQ(ok, c.accepted);
  if (c.accepted) {
    // The reader stood at the material count: the one material is read whole.
    ASSERT_EQ(rec.materials.size(), 1u);
    EXPECT_EQ(rec.materials[0].name, "M");
    EXPECT_EQ(rec.materials[0].blendMode, 0);
    EXPECT_FLOAT_EQ(rec.materials[0].unusedFloats2[1], 2.0f);
  } else {
    EXPECT_TRUE(rec.events.empty());
    EXPECT_NE(error.find("A3D"), std::string::npos) << error;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, HeaderTest,
    testing::Values(HeaderCase{"LF", "A3D\n", true}, HeaderCase{"CRLF", "A3D\r\n", true},
                    HeaderCase{"ZeroByte", std::string("A3D\0", 4), true},
                    HeaderCase{"LoneCR", "A3D\r", true},  // the count's first byte stays in place
                    HeaderCase{"MoreCharacters", "A3D model v2\r\n", true},
                    HeaderCase{"MoreThenZeroByte", std::string("A3DX\0", 5), true},
                    HeaderCase{"LowerCase", "a3d\n", false}, HeaderCase{"Short", "A3\n", false},
                    HeaderCase{"LeadingSpace", " A3D\n", false},
                    HeaderCase{"SplitByZero", std::string("A3\0D\n", 5), false},
                    HeaderCase{"SplitByLoneCR", "A3\rD\n", false},
                    HeaderCase{"Empty", "\n", false}),
    [](const testing::TestParamInfo<HeaderCase>& p) { return p.param.label; });

TEST(A3DReader, TinyFilesAreRefusedAndBareA3DIsAnEmptyModel) {
  for (std::string bytes : {std::string(), std::string("A"), std::string("A3")}) {
    Recorder rec;
    EXPECT_FALSE(read({bytes.begin(), bytes.end()}, rec)) << bytes;
  }
  std::string bare = "A3D";
  Recorder rec;
  EXPECT_TRUE(read({bare.begin(), bare.end()}, rec));
  EXPECT_TRUE(rec.events.empty());
}

TEST(A3DReader, LongHeaderLineIsSkippedWithoutBeingKept) {
  A3DWriter w;
  w.raw("A3D").raw(std::string(1 << 20, 'x')).raw("\n").i32(1).material("M").i32(0).i32(0);
  Recorder rec;
  LargestAllocation largest;
  ASSERT_TRUE(read(w.bytes, rec));
  EXPECT_LT(largest.bytes(), 4096u);
  ASSERT_EQ(rec.materials.size(), 1u);
  EXPECT_EQ(rec.materials[0].name, "M");
}

TEST(A3DReader, LoneCRFollowedByLFByteOfTheCountEatsIt) {
  // "A3D" CR, then a count whose first byte is 10 (LF): CR LF is one line end, so the count is
  // read from the next four bytes instead.
  A3DWriter w;
  w.header("A3D\r").u32(0x0000000A).i32(0);
  Recorder rec;
  ASSERT_TRUE(read(w.bytes, rec));
  EXPECT_TRUE(rec.materials.empty());
}

struct StringCase {
  const char* label;
  int32_t count;
  std::string bytes;
  std::string expected;
};

void PrintTo(const StringCase& c, std::ostream* os) {
  *os << c.label;
}

class StringTest : public testing::TestWithParam<StringCase> {};

TEST_P(StringTest, ReadsCountThenBytesDroppingZeroBytes) {
  const StringCase& c = GetParam();
  // The string is a material name; the material's blend mode (2) right after it shows where the
  // string ended.
  A3DWriter w;
  w.header().i32(1).i32(c.count).raw(c.bytes);
  w.i32(11).i32(12).i32(13).f32(0).f32(0).i32(2).i32(0).f32(0).f32(0);
  w.i32(0).i32(0);
  Recorder rec;
  ASSERT_TRUE(read(w.bytes, rec));
  ASSERT_EQ(rec.materials.size(), 1u);
  EXPECT_EQ(rec.materials[0].name, c.expected);
  EXPECT_EQ(rec.materials[0].unusedInts[0], 11);
  EXPECT_EQ(rec.materials[0].blendMode, 2);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StringTest,
    testing::Values(StringCase{"Plain", 3, "abc", "abc"}, StringCase{"Zero", 0, "", ""},
                    StringCase{"Negative", -7, "", ""},
                    StringCase{"ZeroByteInside", 3, std::string("a\0b", 3), "ab"},
                    StringCase{"AllZeroBytes", 2, std::string("\0\0", 2), ""},
                    StringCase{"HighBytes", 2, "\xe9\xff", "\xe9\xff"}),
    [](const testing::TestParamInfo<StringCase>& p) { return p.param.label; });

TEST(A3DReader, CountsOfZeroOrLessReadNoRecords) {
  for (int32_t count : {0, -1, std::numeric_limits<int32_t>::min()}) {
    A3DWriter w;
    w.header().i32(count).i32(count).i32(1).object("obj", count);
    w.f32(0).f32(0).f32(0).f32(0).f32(0).f32(0).str("").str("second").i32(0);
    Recorder rec;
    ASSERT_TRUE(read(w.bytes, rec));
    // Object count 1: "obj" with no meshes; the bytes of the would-be second object are ignored.
    EXPECT_EQ(rec.events, (std::vector<std::string>{"object obj", "end"})) << count;
  }
}

TEST(A3DReader, ReadsEveryFieldInOrder) {
  TestVertex v;
  v.x = 1.5f, v.y = -2, v.z = 3;
  v.nx = 0, v.ny = 0, v.nz = -1;
  v.u = 0.25f, v.v = 0.75f, v.u2 = 0.125f, v.v2 = 0.875f;
  v.c1 = 10, v.c2 = 20, v.c3 = 30, v.alpha = 0.5f;
  A3DWriter w;
  w.header().i32(2).material("paper", 2, 17).material("chrome", 0, 5);
  w.i32(2).texture("paper", 0, "front.png", 64).texture("chrome", 3, "env.jpg", 1);
  w.i32(1).object("box", 2, 1, 2, 3, 10, 20, 30);
  w.mesh("paper", {v, v, v}, {{0, 1, 2}, {2, 1, 0}});
  w.mesh("chrome", {}, {});
  w.raw("trailing bytes are ignored");
  Recorder rec;
  ASSERT_TRUE(read(w.bytes, rec));
  EXPECT_EQ(rec.events, (std::vector<std::string>{
                            "material paper", "material chrome", "texture front.png",
                            "texture env.jpg", "object box", "mesh paper", "mesh chrome", "end"}));
  EXPECT_EQ(rec.materials[0].blendMode, 2);
  EXPECT_EQ(rec.materials[0].effectFlags, 17);
  EXPECT_EQ(rec.materials[1].effectFlags, 5);
  EXPECT_EQ(rec.textures[0].materialName, "paper");
  EXPECT_EQ(rec.textures[0].layerFlags, 64);
  EXPECT_EQ(rec.textures[0].layerValue, 7);
  EXPECT_EQ(rec.textures[1].layer, 3);
  EXPECT_EQ(rec.objects[0].parentName, "parent");
  EXPECT_FLOAT_EQ(rec.objects[0].position[2], 3);
  EXPECT_FLOAT_EQ(rec.objects[0].rotation[1], 20);
  ASSERT_EQ(rec.meshes[0].vertices.size(), 3u);
  const A3DVertex& r = rec.meshes[0].vertices[1];
  EXPECT_FLOAT_EQ(r.position[0], 1.5f);
  EXPECT_FLOAT_EQ(r.normal[2], -1);
  EXPECT_FLOAT_EQ(r.uv[1], 0.75f);
  EXPECT_FLOAT_EQ(r.uv2[0], 0.125f);
  EXPECT_EQ(r.colour[2], 30);
  EXPECT_FLOAT_EQ(r.alpha, 0.5f);
  EXPECT_EQ(rec.meshes[0].faces.size(), 2u);
  EXPECT_TRUE(rec.meshes[1].vertices.empty());
}

TEST(A3DReader, FileCutInsideAVertexReadsTheRestAsZeros) {
  TestVertex v;
  v.x = 5, v.y = 6, v.z = 7, v.nx = 8, v.c1 = 0x12345678;
  A3DWriter w;
  w.header().i32(0).i32(0).i32(1).object("o", 1).str("m").i32(3).vertex(v);
  const size_t secondVertex = w.bytes.size();
  w.vertex(v).vertex(v).i32(1).i32(0).i32(1).i32(2);

  struct Cut {
    size_t keep;  // bytes of the second vertex that remain
    float x, y, nx;
    int32_t c1;
  };
  // Cut after 6 bytes: x whole, y keeps its two low bytes (6.0f is 0x40C00000, so 0); after
  // 50 bytes: colour 1 keeps its two low bytes.
  for (Cut cut : {Cut{6, 5, 0, 0, 0}, Cut{20, 5, 6, 8, 0}, Cut{50, 5, 6, 8, 0x5678}}) {
    std::vector<uint8_t> bytes(w.bytes.begin(), w.bytes.begin() + secondVertex + cut.keep);
    Recorder rec;
    ASSERT_TRUE(read(bytes, rec));
    ASSERT_EQ(rec.meshes.size(), 1u);
    const A3DMesh& mesh = rec.meshes[0];
    // The vertex that was cut is there, the one wholly past the end is not; no faces.
    ASSERT_EQ(mesh.vertices.size(), 2u) << cut.keep;
    EXPECT_EQ(mesh.vertices[0].colour[0], 0x12345678);
    const A3DVertex& r = mesh.vertices[1];
    EXPECT_EQ(r.position[0], cut.x);
    EXPECT_EQ(r.position[1], cut.y);
    EXPECT_EQ(r.normal[0], cut.nx);
    EXPECT_EQ(r.colour[0], cut.c1);
    EXPECT_EQ(r.alpha, 0);
    EXPECT_TRUE(mesh.faces.empty());
  }
}

TEST(A3DReader, CutOffNumberKeepsItsPresentBytesLow) {
  // Layer flags 0x00000140 cut after their first byte read 0x40; the spare value past the end 0.
  A3DWriter w;
  w.header().i32(0).i32(1).str("m").i32(0).str("a.png").i32(7).raw("\x40");
  Recorder rec;
  ASSERT_TRUE(read(w.bytes, rec));
  ASSERT_EQ(rec.textures.size(), 1u);
  EXPECT_EQ(rec.textures[0].layerValue, 7);
  EXPECT_EQ(rec.textures[0].layerFlags, 0x40);
  EXPECT_EQ(rec.textures[0].spare, 0);
  EXPECT_TRUE(rec.objects.empty());
}

TEST(A3DReader, FacesWithIndicesOutsideTheMeshAreSkipped) {
  TestVertex v;
  A3DWriter w;
  w.header().i32(0).i32(0).i32(1).object("o", 1);
  w.mesh("m", {v, v, v},
         {{0, 1, 2},
          {0, 1, 3},
          {-1, 0, 1},
          {2, 2, std::numeric_limits<int32_t>::max()},
          {2, 1, 0},
          {std::numeric_limits<int32_t>::min(), 0, 0}});
  Recorder rec;
  ASSERT_TRUE(read(w.bytes, rec));
  ASSERT_EQ(rec.meshes.size(), 1u);
  EXPECT_EQ(rec.meshes[0].faces, (std::vector<std::array<int32_t, 3>>{{0, 1, 2}, {2, 1, 0}}));
  EXPECT_EQ(rec.meshes[0].skippedFaces, 4);
}

struct HostileCase {
  const char* label;
  A3DWriter file;
};

std::vector<HostileCase> hostileCases() {
  constexpr int32_t kHuge = 0x7fffffff;
  std::vector<HostileCase> cases(7);
  cases[0].label = "Materials";
  cases[0].file.header().i32(kHuge).material("a");
  cases[1].label = "Textures";
  cases[1].file.header().i32(0).i32(kHuge).texture("a", 0, "x.png");
  cases[2].label = "Objects";
  cases[2].file.header().i32(0).i32(0).i32(kHuge).object("o", 0);
  cases[3].label = "Meshes";
  cases[3].file.header().i32(0).i32(0).i32(1).object("o", kHuge).str("m").i32(0).i32(0);
  cases[4].label = "Vertices";
  cases[4].file.header().i32(0).i32(0).i32(1).object("o", 1).str("m").i32(kHuge).vertex({});
  cases[5].label = "Faces";
  cases[5].file.header().i32(0).i32(0).i32(1).object("o", 1).str("m").i32(0).i32(kHuge).i32(0);
  cases[6].label = "StringLength";
  cases[6].file.header().i32(1).i32(kHuge).raw("name");
  for (HostileCase& c : cases) c.file.bytes.resize(100, 'z');
  return cases;
}

TEST(A3DReader, HostileCountsInASmallFileNeitherLoopNorAllocate) {
  for (HostileCase& c : hostileCases()) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(c.file.bytes.size(), 100u);
    Recorder rec;
    LargestAllocation largest;
    bool ok = read(c.file.bytes, rec);
    EXPECT_TRUE(ok);
    EXPECT_LT(largest.bytes(), 4096u);
    EXPECT_LE(rec.largestVertexCapacity, 2u);
    EXPECT_LE(rec.events.size(), 40u);
  }
}

struct ColourCase {
  const char* label;
  int32_t c1, c2, c3;
  float alpha;
  uint32_t expected;
};

void PrintTo(const ColourCase& c, std::ostream* os) {
  *os << c.label;
}

class ColourTest : public testing::TestWithParam<ColourCase> {};

TEST_P(ColourTest, PacksAlphaByteAndComponentsModulo2To32) {
  const ColourCase& c = GetParam();
  A3DVertex v;
  v.colour[0] = c.c1;
  v.colour[1] = c.c2;
  v.colour[2] = c.c3;
  v.alpha = c.alpha;
  EXPECT_EQ(packVertexColour(v), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ColourTest,
    testing::Values(
        ColourCase{"OpaqueBlue", 255, 0, 0, 1.0f, 0xFFFF0000u},
        ColourCase{"HalfAlphaRoundsToEven128", 0, 0, 0, 0.5f, 0x80000000u},
        ColourCase{"Components", 0x11, 0x22, 0x33, 0.0f, 0x00112233u},
        ColourCase{"OneAndAHalfRoundsTo382", 0, 0, 0, 1.5f, 0x7E000000u},  // 382.5 -> 382
        ColourCase{"TwoAndAHalfRoundsTo638", 0, 0, 0, 2.5f, 0x7E000000u},  // 637.5 -> 638
        ColourCase{"NegativeHalf", 0, 0, 0, -0.5f, 0x80000000u},           // -127.5 -> -128
        ColourCase{"ComponentCarriesIntoAlpha", 256, 0, 0, 1.0f, 0x00000000u},
        ColourCase{"NegativeComponent", 0, 0, -1, 0.0f, 0xFFFFFFFFu},
        ColourCase{"LargeComponent", 0, 0x01000000, 0, 0.0f, 0x00000000u},
        ColourCase{"NotANumber", 1, 2, 3, std::numeric_limits<float>::quiet_NaN(), 0x00010203u},
        ColourCase{"Infinite", 1, 2, 3, std::numeric_limits<float>::infinity(), 0x00010203u},
        ColourCase{"Huge", 1, 2, 3, 1e30f, 0x00010203u}),
    [](const testing::TestParamInfo<ColourCase>& p) { return p.param.label; });

}  // namespace
