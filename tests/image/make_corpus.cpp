// Writes the fuzzers' seed corpora: a few tiny, valid files of each format covering the
// decoders' main paths. Usage: make_image_corpus FOLDER (writes FOLDER/corpus_png/ and so on).
#include <png.h>
#include <cstdio>
#include <jpeglib.h>

#include <filesystem>
#include <string>

#include "file_bytes.h"
#include "fixtures.h"
#include "image/image.h"

using namespace kestrum;

namespace {

void save(const std::string& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(folder);
  test::writeBytes(folder + "/" + name, bytes);
  std::printf("%s/%s (%zu bytes)\n", folder.c_str(), name.c_str(), bytes.size());
}

void pngCorpus(const std::string& folder) {
  save(folder, "rgb.png", *encodePng(test::patternImage(5, 4, false)));
  save(folder, "rgba.png", *encodePng(test::patternImage(4, 3, true)));
  test::PngSpec palette{4, 2, 2, PNG_COLOR_TYPE_PALETTE};
  palette.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255};
  palette.transparent = {0, 128};
  palette.rows = {{0x12, 0}, {0x21, 0}};
  save(folder, "palette_trns.png", test::writePng(palette));
  test::PngSpec grey{9, 2, 1, PNG_COLOR_TYPE_GRAY};
  grey.rows = {{0xa5, 0x80}, {0x5a, 0x00}};
  save(folder, "grey1.png", test::writePng(grey));
  test::PngSpec deep{2, 2, 16, PNG_COLOR_TYPE_GRAY_ALPHA};
  deep.rows = {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 10, 11, 12, 13, 14, 15, 16}};
  save(folder, "grey_alpha16.png", test::writePng(deep));
  test::PngSpec laced{7, 7, 8, PNG_COLOR_TYPE_RGB};
  laced.interlaced = true;
  for (int y = 0; y < 7; ++y) {
    std::vector<uint8_t> row;
    for (int x = 0; x < 21; ++x) row.push_back(uint8_t(x * 12 + y * 7));
    laced.rows.push_back(row);
  }
  save(folder, "interlaced.png", test::writePng(laced));
}

void jpegCorpus(const std::string& folder) {
  save(folder, "colour.jpg", *encodeJpeg(test::smoothImage(16, 16, false), 75));
  std::vector<uint8_t> grey(8 * 8);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = uint8_t(i * 4);
  save(folder, "grey.jpg", test::writeJpeg(8, 8, 1, JCS_GRAYSCALE, grey, 75));
  std::vector<uint8_t> cmyk(8 * 8 * 4);
  for (size_t i = 0; i < cmyk.size(); ++i) cmyk[i] = uint8_t(i * 3);
  save(folder, "cmyk_adobe.jpg", test::writeJpeg(8, 8, 4, JCS_CMYK, cmyk, 75, true));
  std::vector<uint8_t> rgb(16 * 8 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t(i);
  save(folder, "progressive.jpg", test::writeJpeg(16, 8, 3, JCS_RGB, rgb, 75, false, true));
}

void bmpCorpus(const std::string& folder) {
  save(folder, "rgb24.bmp", *encodeBmp(test::patternImage(3, 3, false)));
  save(folder, "rgba32_v4.bmp", *encodeBmp(test::patternImage(2, 3, true)));
  save(folder, "mono1.bmp",
       test::writeBmp({3, 2, 1, 0, 40, {0, 0xffffff}, {}, test::padRows({{0xa0}, {0x60}})}));
  save(folder, "pal4_topdown.bmp",
       test::writeBmp({3,
                       -2,
                       4,
                       0,
                       40,
                       {0xff0000, 0xff00, 0xff},
                       {},
                       test::padRows({{0x01, 0x20}, {0x22, 0x10}})}));
  save(folder, "pal8_core.bmp",
       test::writeBmp({2, 1, 8, 0, 12, {0xff00, 0x808080}, {}, test::padRows({{1, 0}})}));
  save(folder, "rgb565.bmp",
       test::writeBmp({2, 1, 16, 3, 40, {}, {0xf800, 0x07e0, 0x001f}, {0xe0, 0x07, 0x1f, 0}}));
  save(folder, "rle8.bmp",
       test::writeBmp({4,
                       3,
                       8,
                       1,
                       40,
                       {0xff0000, 0xff00, 0xff, 0xffffff},
                       {},
                       {3, 0, 0, 0, 0, 4, 1, 2, 1, 2, 0, 2, 1, 1, 2, 3, 0, 1}}));
  save(folder, "rle4.bmp",
       test::writeBmp({5,
                       2,
                       4,
                       2,
                       40,
                       {0xff0000, 0xff00, 0xff, 0xffffff},
                       {},
                       {5, 0x12, 0, 0, 0, 3, 0x01, 0x20, 2, 0x33, 0, 1}}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  const std::string root = argv[1];
  pngCorpus(root + "/corpus_png");
  jpegCorpus(root + "/corpus_jpeg");
  bmpCorpus(root + "/corpus_bmp");
  return 0;
}
