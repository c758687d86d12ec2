#include "pictures.h"

#include <QFile>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "styles.h"

namespace boxgen {

namespace {

constexpr double kPi = std::numbers::pi;

QString gRegular, gBold;

// A small deterministic generator, so pictures are the same on every run.
struct Random {
  uint32_t state;
  explicit Random(uint32_t seed) : state(seed ? seed : 1) {}
  uint32_t next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  double unit() { return (next() & 0xFFFFFF) / double(0x1000000); }
};

QFont font(bool bold, double pixelSize) {
  QFont f(fontFamily(bold));
  f.setPixelSize(std::max(1, int(std::lround(pixelSize))));
  f.setBold(bold);
  f.setHintingPreference(QFont::PreferNoHinting);
  return f;
}

QImage solid(int size, QColor colour) {
  QImage image(size, size, QImage::Format_RGB32);
  image.fill(colour);
  return image;
}

int clampByte(double v) {
  return std::clamp(int(std::lround(v)), 0, 255);
}

}  // namespace

const char* const kSlotFiles[6] = {"front.png", "back.png", "left.png",
                                   "right.png", "top.png",  "bottom.png"};

void quietQtNotices() {
  static QtMessageHandler previous = nullptr;
  previous = qInstallMessageHandler(
      [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message.startsWith("QStandardPaths: XDG_RUNTIME_DIR")) return;
        if (previous) previous(type, context, message);
      });
}

bool loadFonts(std::string* error) {
  const char* dirs[] = {"/usr/share/fonts/truetype/dejavu/", "/usr/share/fonts/dejavu/",
                        "/usr/share/fonts/TTF/"};
  for (const char* dir : dirs) {
    QString regular = QString(dir) + "DejaVuSans.ttf", bold = QString(dir) + "DejaVuSans-Bold.ttf";
    if (!QFile::exists(regular) || !QFile::exists(bold)) continue;
    int r = QFontDatabase::addApplicationFont(regular);
    int b = QFontDatabase::addApplicationFont(bold);
    if (r < 0 || b < 0) continue;
    gRegular = QFontDatabase::applicationFontFamilies(r).value(0);
    gBold = QFontDatabase::applicationFontFamilies(b).value(0);
    return true;
  }
  if (error) *error = "DejaVu fonts not found (install fonts-dejavu-core)";
  return false;
}

QString fontFamily(bool bold) {
  return bold ? gBold : gRegular;
}

bool savePng(const QImage& image, const std::string& path, std::string* error) {
  if (image.isNull() || !image.save(QString::fromStdString(path), "PNG")) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

// --- Stock covers -----------------------------------------------------------------------------

QImage stockCover(int slot, int size) {
  static const char* const names[6] = {"FRONT", "BACK", "SPINE / LEFT", "RIGHT", "TOP", "BOTTOM"};
  // Muted, distinct tints so each slot is recognisable at a glance.
  static const QColor tints[6] = {QColor(206, 214, 226), QColor(214, 222, 206),
                                  QColor(228, 214, 200), QColor(222, 206, 222),
                                  QColor(204, 222, 222), QColor(226, 222, 200)};
  QImage image(size, size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  const double s = size / 512.0;
  QColor tint = tints[slot];
  p.fillRect(image.rect(), tint);
  // A fine placeholder grid.
  p.setPen(QPen(tint.darker(108), 1.0 * s));
  for (int k = 1; k < 16; ++k) {
    double x = k * size / 16.0;
    p.drawLine(QPointF(x, 0), QPointF(x, size));
    p.drawLine(QPointF(0, x), QPointF(size, x));
  }
  // Frame.
  p.setPen(QPen(tint.darker(160), 10 * s));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(5 * s, 5 * s, size - 10 * s, size - 10 * s));
  // An arrow and "TOP" mark the picture's upper edge; a corner tab marks its top-left.
  QColor ink = tint.darker(260);
  p.setPen(Qt::NoPen);
  p.setBrush(ink);
  QPolygonF arrow;
  arrow << QPointF(256 * s, 40 * s) << QPointF(286 * s, 80 * s) << QPointF(226 * s, 80 * s);
  p.drawPolygon(arrow);
  QPolygonF tab;
  tab << QPointF(10 * s, 10 * s) << QPointF(70 * s, 10 * s) << QPointF(10 * s, 70 * s);
  p.drawPolygon(tab);
  p.setPen(ink);
  p.setFont(font(true, 22 * s));
  p.drawText(QRectF(0, 84 * s, size, 30 * s), Qt::AlignHCenter | Qt::AlignTop, "TOP");
  // The slot's name, as large as fits.
  double px = slot == 2 ? 64 : 96;
  p.setFont(font(true, px * s));
  p.drawText(QRectF(0, 0, size, size), Qt::AlignCenter, names[slot]);
  p.setFont(font(false, 24 * s));
  p.drawText(QRectF(0, 330 * s, size, 40 * s), Qt::AlignHCenter | Qt::AlignTop,
             "cover picture placeholder");
  p.setFont(font(false, 20 * s));
  p.drawText(QRectF(0, 440 * s, size, 40 * s), Qt::AlignHCenter | Qt::AlignTop,
             "Choose a picture on the Cover Art page");
  p.end();
  return image;
}

// --- Sample covers ----------------------------------------------------------------------------

QImage sampleCover(int slot, int size) {
  static const char* const titles[6] = {"AURORA", "AURORA", "AURORA", "NORTH", "AURORA", "BASE"};
  static const QColor tops[6] = {QColor(20, 30, 90),  QColor(40, 20, 70),  QColor(230, 90, 40),
                                 QColor(20, 110, 90), QColor(200, 40, 80), QColor(60, 60, 60)};
  static const QColor bottoms[6] = {QColor(240, 120, 40), QColor(20, 130, 160),
                                    QColor(120, 20, 80),  QColor(200, 220, 60),
                                    QColor(250, 200, 60), QColor(150, 150, 150)};
  QImage image(size, size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double s = size / 512.0;
  QLinearGradient g(0, 0, 0, size);
  g.setColorAt(0, tops[slot]);
  g.setColorAt(1, bottoms[slot]);
  p.fillRect(image.rect(), g);
  Random rnd(1234 + slot * 77);
  // Soft light circles.
  for (int k = 0; k < 14; ++k) {
    double x = rnd.unit() * size, y = rnd.unit() * size, r = (20 + rnd.unit() * 90) * s;
    QRadialGradient rg(QPointF(x, y), r);
    rg.setColorAt(0, QColor(255, 255, 255, 90));
    rg.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(rg);
    p.drawEllipse(QPointF(x, y), r, r);
  }
  // Mountains.
  QPainterPath hills;
  hills.moveTo(0, size);
  for (int k = 0; k <= 16; ++k) {
    double x = k * size / 16.0;
    double y = size * (0.72 - 0.12 * std::sin(k * 0.9 + slot) - 0.05 * rnd.unit());
    hills.lineTo(x, y);
  }
  hills.lineTo(size, size);
  hills.closeSubpath();
  p.setBrush(QColor(10, 10, 30, 170));
  p.drawPath(hills);
  // Title and a slot tag that reads correctly only when the picture is unmirrored.
  p.setPen(QColor(255, 255, 255));
  p.setFont(font(true, (slot == 2 ? 70 : 84) * s));
  p.drawText(QRectF(0, 60 * s, size, 120 * s), Qt::AlignHCenter | Qt::AlignVCenter, titles[slot]);
  static const char* const tags[6] = {"front", "back", "spine", "right", "top", "bottom"};
  p.setFont(font(false, 30 * s));
  p.drawText(QRectF(24 * s, size - 64 * s, size - 48 * s, 48 * s), Qt::AlignLeft | Qt::AlignVCenter,
             QString("sample ") + tags[slot]);
  p.end();
  return image;
}

// --- Material textures ------------------------------------------------------------------------

namespace {

// Paper edges of a closed book: cream with soft lines that run with the pages. The lines are a
// few texels apart, so they stay calm when the texture is drawn small without mipmaps.
QImage pagesTexture() {
  const int n = 64;
  QImage image(n, n, QImage::Format_RGB32);
  Random rnd(99);
  std::vector<double> gap(n);
  for (int y = 0; y < n; ++y) gap[y] = rnd.unit();
  for (int y = 0; y < n; ++y) {
    // A soft dip every four rows, its depth varying from page to page.
    double phase = std::cos(2 * kPi * y / 4.0);
    double shade = 0.94 - 0.05 * (0.5 + 0.5 * phase) * (0.6 + 0.8 * gap[y / 4 * 4]);
    for (int x = 0; x < n; ++x) {
      double f = shade * (0.99 + 0.01 * std::sin(x * 0.4 + y));
      image.setPixel(x, y, qRgb(clampByte(255 * f), clampByte(250 * f), clampByte(238 * f)));
    }
  }
  return image;
}

// A sphere map: `shade` gives the colour for a reflection direction (x right, y up, z towards
// the viewer) over the disc of the picture.
template <typename F>
QImage sphereMap(int n, F shade) {
  QImage image(n, n, QImage::Format_RGB32);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      double u = (x + 0.5) / n * 2 - 1, v = 1 - (y + 0.5) / n * 2;
      double r2 = u * u + v * v;
      if (r2 > 1) r2 = 1;
      double z = std::sqrt(1 - r2);
      // Reflection vector of a sphere map texel.
      double rx = 2 * z * u, ry = 2 * z * v, rz = 2 * z * z - 1;
      double rgb[3];
      shade(rx, ry, rz, rgb);
      image.setPixel(x, y, qRgb(clampByte(rgb[0]), clampByte(rgb[1]), clampByte(rgb[2])));
    }
  }
  return image;
}

// A studio: bright sky and soft boxes above, a pale floor, a dark band between.
void studio(double rx, double ry, double rz, double out[3], double bright, double dark) {
  double sky = bright * (0.75 + 0.25 * std::max(0.0, ry));
  double floor = dark + (bright - dark) * 0.35 * std::max(0.0, -ry);
  double t = std::clamp((ry + 0.08) / 0.16, 0.0, 1.0);
  double base = floor + (sky - floor) * t;
  // Two soft boxes up left and up right.
  auto lamp = [&](double lx, double ly, double lz, double width) {
    double l = std::sqrt(lx * lx + ly * ly + lz * lz);
    double c = (rx * lx + ry * ly + rz * lz) / l;
    return std::pow(std::max(0.0, c), width);
  };
  double glow = 110 * lamp(-0.5, 0.7, -0.5, 40) + 60 * lamp(0.7, 0.5, -0.3, 30);
  out[0] = out[1] = out[2] = base + glow;
  out[2] += 6;
}

}  // namespace

QImage materialTexture(const std::string& name) {
  if (name == "pages.png") return pagesTexture();
  if (name == "paper.png") return solid(32, QColor(242, 238, 228));
  if (name == "white.png") return solid(32, QColor(246, 246, 244));
  if (name == "cardboard.png") return solid(32, QColor(168, 160, 146));
  if (name == "panel_back.png") return solid(32, QColor(200, 202, 206));
  if (name == "plastic.png") return solid(32, QColor(34, 35, 38));
  if (name == "label.png") {
    QImage image = solid(64, QColor(240, 238, 230));
    QPainter p(&image);
    p.setPen(QPen(QColor(170, 170, 176), 1));
    for (int y = 20; y < 60; y += 10) p.drawLine(6, y, 58, y);
    p.end();
    return image;
  }
  if (name == "sheen.png") {
    // Signed detail: grey 128 changes nothing; lighter diagonal bands are the sleeve's sheen.
    const int n = 256;
    QImage image(n, n, QImage::Format_RGB32);
    for (int y = 0; y < n; ++y) {
      for (int x = 0; x < n; ++x) {
        double d = (x + y * 0.6) / n;  // along a diagonal
        double band = std::exp(-std::pow((d - 0.38) / 0.07, 2)) * 34 +
                      std::exp(-std::pow((d - 0.55) / 0.03, 2)) * 18;
        int g = clampByte(128 + band);
        image.setPixel(x, y, qRgb(g, g, g));
      }
    }
    return image;
  }
  if (name == "env_black.png") {
    return sphereMap(
        256, [](double rx, double ry, double rz, double* out) { studio(rx, ry, rz, out, 70, 14); });
  }
  if (name == "env_clear.png") {
    return sphereMap(256, [](double rx, double ry, double rz, double* out) {
      studio(rx, ry, rz, out, 200, 120);
      out[2] += 8;
    });
  }
  if (name == "env_silver.png") {
    return sphereMap(256, [](double rx, double ry, double rz, double* out) {
      studio(rx, ry, rz, out, 225, 90);
    });
  }
  if (name == "env_disc.png") {
    // Silver with the rainbow of the data tracks: hue follows the reflection's direction.
    return sphereMap(256, [](double rx, double ry, double rz, double* out) {
      studio(rx, ry, rz, out, 215, 120);
      // Fine bands of colour, so that the small spread of reflections over a flat disc
      // sweeps through several hues.
      double a = std::atan2(ry, rx) * 4 + rz * 16 + rx * 9;
      double strength = 0.38 * (1 - 0.6 * std::fabs(rz));
      for (int c = 0; c < 3; ++c) {
        double hue = 0.5 + 0.5 * std::cos(a - c * 2 * kPi / 3);
        out[c] = out[c] * (1 - strength) + out[c] * strength * (0.45 + 1.0 * hue);
      }
    });
  }
  return {};
}

// --- Shadows ----------------------------------------------------------------------------------

namespace {

// Three passes of a box blur make a smooth, nearly Gaussian blur.
void blur(std::vector<float>& img, int n, int radius) {
  if (radius <= 0) return;
  std::vector<float> tmp(img.size());
  for (int pass = 0; pass < 3; ++pass) {
    for (int dir = 0; dir < 2; ++dir) {
      for (int line = 0; line < n; ++line) {
        double sum = 0;
        auto at = [&](int k) -> float {
          k = std::clamp(k, 0, n - 1);
          return dir ? img[size_t(k) * n + line] : img[size_t(line) * n + k];
        };
        for (int k = -radius; k <= radius; ++k) sum += at(k);
        for (int k = 0; k < n; ++k) {
          float v = float(sum / (2 * radius + 1));
          if (dir)
            tmp[size_t(k) * n + line] = v;
          else
            tmp[size_t(line) * n + k] = v;
          sum += at(k + radius + 1) - at(k - radius);
        }
      }
      img.swap(tmp);
    }
  }
}

}  // namespace

QImage shadowPicture(const Model& model, int n) {
  // Texel (i, j) covers the floor point the shadow quad maps there; the program scales the
  // quad by kShadowScale, so the picture spans that much more floor.
  const double half = kShadowHalf * kShadowScale;
  const double texel = 2 * half / n;
  std::vector<float> height(size_t(n) * n, 1e9f);
  auto toPixel = [&](Vec3 p, double* x, double* y) {
    *x = (p.x + half) / texel - 0.5;
    *y = (half - p.z) / texel - 0.5;
  };
  // Lowest height of the model over each texel: every triangle projected straight down.
  for (const auto& o : model.objects) {
    for (const auto& m : o.meshes) {
      for (const auto& f : m.faces) {
        Vec3 a = m.vertices[f[0]].p, b = m.vertices[f[1]].p, c = m.vertices[f[2]].p;
        double ax, ay, bx, by, cx, cy;
        toPixel(a, &ax, &ay);
        toPixel(b, &bx, &by);
        toPixel(c, &cx, &cy);
        int x0 = std::max(0, int(std::floor(std::min({ax, bx, cx}))));
        int x1 = std::min(n - 1, int(std::ceil(std::max({ax, bx, cx}))));
        int y0 = std::max(0, int(std::floor(std::min({ay, by, cy}))));
        int y1 = std::min(n - 1, int(std::ceil(std::max({ay, by, cy}))));
        double area = (bx - ax) * (cy - ay) - (by - ay) * (cx - ax);
        if (std::fabs(area) < 0.5) {
          // An upright face covers only a line on the floor: walk its longest edge.
          Vec3 ends[3][2] = {{a, b}, {b, c}, {c, a}};
          for (auto& e : ends) {
            double ex0, ey0, ex1, ey1;
            toPixel(e[0], &ex0, &ey0);
            toPixel(e[1], &ex1, &ey1);
            int count = 1 + int(std::hypot(ex1 - ex0, ey1 - ey0) * 2);
            for (int k = 0; k <= count; ++k) {
              double t = double(k) / count;
              int x = int(std::lround(ex0 + (ex1 - ex0) * t));
              int y = int(std::lround(ey0 + (ey1 - ey0) * t));
              if (x < 0 || y < 0 || x >= n || y >= n) continue;
              float h = float(e[0].y + (e[1].y - e[0].y) * t);
              float& cell = height[size_t(y) * n + x];
              cell = std::min(cell, h);
            }
          }
          continue;
        }
        for (int y = y0; y <= y1; ++y) {
          for (int x = x0; x <= x1; ++x) {
            double w0 = ((bx - x) * (cy - y) - (by - y) * (cx - x)) / area;
            double w1 = ((cx - x) * (ay - y) - (cy - y) * (ax - x)) / area;
            double w2 = 1 - w0 - w1;
            const double e = -0.02;
            if (w0 < e || w1 < e || w2 < e) continue;
            double h = w0 * a.y + w1 * b.y + w2 * c.y;
            float& cell = height[size_t(y) * n + x];
            cell = std::min(cell, float(h));
          }
        }
      }
    }
  }
  // Bands of height: what touches the floor gives a dark, tight shadow; what hovers higher
  // adds wider and fainter shade.
  // The wider bands lean a little away from the default light, which stands in front of the
  // model and to its left (towards the back of the model, in the model's own frame).
  struct Band {
    double below, radiusUnits, weight, shiftZ;
  };
  const Band bands[] = {{0.03, 0.07, 0.60, 0.0}, {0.35, 0.26, 0.50, 0.05}, {1e8, 0.62, 0.40, 0.14}};
  std::vector<float> shade(size_t(n) * n, 0.0f);
  for (const Band& band : bands) {
    std::vector<float> mask(size_t(n) * n, 0.0f);
    const int shift = int(std::lround(band.shiftZ / texel));  // +z is up the picture
    for (int y = 0; y < n; ++y) {
      int from = y + shift;
      if (from < 0 || from >= n) continue;
      for (int x = 0; x < n; ++x) {
        mask[size_t(y) * n + x] = height[size_t(from) * n + x] < band.below ? 1.0f : 0.0f;
      }
    }
    blur(mask, n, std::max(1, int(std::lround(band.radiusUnits / texel / 1.7))));
    for (size_t k = 0; k < mask.size(); ++k) shade[k] += float(band.weight * mask[k]);
  }
  QImage image(n, n, QImage::Format_RGB32);
  for (int y = 0; y < n; ++y) {
    for (int x = 0; x < n; ++x) {
      double v = 1.0 - std::min(0.85, double(shade[size_t(y) * n + x]));
      int g = clampByte(255 * v);
      image.setPixel(x, y, qRgb(g, g, g));
    }
  }
  return image;
}

// --- The program's own images -----------------------------------------------------------------

QImage toolbarIcon(int index) {
  // Drawn at 4x and scaled down smoothly for clean edges at 24 x 24.
  const int big = 96;
  QImage image(big, big, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  QPen outline(QColor(40, 48, 64), 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
  switch (index) {
    case 0: {  // new: a blank page with a folded corner
      QPainterPath page;
      page.moveTo(18, 6);
      page.lineTo(60, 6);
      page.lineTo(80, 26);
      page.lineTo(80, 90);
      page.lineTo(18, 90);
      page.closeSubpath();
      p.setPen(outline);
      p.setBrush(QColor(252, 252, 250));
      p.drawPath(page);
      QPainterPath fold;
      fold.moveTo(60, 6);
      fold.lineTo(60, 26);
      fold.lineTo(80, 26);
      p.setBrush(QColor(210, 216, 226));
      p.drawPath(fold);
      // A small yellow spark: something new.
      QPainterPath spark;
      const QPointF c(30, 72);
      for (int k = 0; k < 8; ++k) {
        double a = k * kPi / 4, r = k % 2 ? 7 : 20;
        QPointF q = c + QPointF(r * std::cos(a), -r * std::sin(a));
        if (k == 0)
          spark.moveTo(q);
        else
          spark.lineTo(q);
      }
      spark.closeSubpath();
      p.setPen(QPen(QColor(150, 100, 0), 2.5));
      p.setBrush(QColor(255, 204, 40));
      p.drawPath(spark);
      break;
    }
    case 1: {  // open: an open folder
      p.setPen(outline);
      p.setBrush(QColor(226, 176, 60));
      QPainterPath back;
      back.moveTo(6, 82);
      back.lineTo(6, 18);
      back.lineTo(34, 18);
      back.lineTo(42, 28);
      back.lineTo(80, 28);
      back.lineTo(80, 82);
      back.closeSubpath();
      p.drawPath(back);
      p.setBrush(QColor(250, 214, 110));
      QPainterPath front;
      front.moveTo(6, 82);
      front.lineTo(20, 42);
      front.lineTo(92, 42);
      front.lineTo(80, 82);
      front.closeSubpath();
      p.drawPath(front);
      break;
    }
    case 2: {  // save: a diskette
      p.setPen(outline);
      p.setBrush(QColor(60, 100, 170));
      QPainterPath body;
      body.moveTo(8, 8);
      body.lineTo(76, 8);
      body.lineTo(88, 20);
      body.lineTo(88, 88);
      body.lineTo(8, 88);
      body.closeSubpath();
      p.drawPath(body);
      p.setBrush(QColor(230, 234, 240));
      p.drawRect(QRectF(24, 8, 44, 28));
      p.setBrush(QColor(60, 100, 170));
      p.setPen(Qt::NoPen);
      p.drawRect(QRectF(52, 13, 10, 18));
      p.setPen(outline);
      p.setBrush(QColor(250, 250, 250));
      p.drawRect(QRectF(20, 52, 56, 36));
      break;
    }
    case 3: {  // reload: two circling arrows
      QPen arc(QColor(40, 140, 80), 10, Qt::SolidLine, Qt::FlatCap);
      p.setPen(arc);
      QRectF r(18, 18, 60, 60);
      p.drawArc(r, 30 * 16, 150 * 16);
      p.drawArc(r, 210 * 16, 150 * 16);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 140, 80));
      auto head = [&](double angle) {
        double a = angle * kPi / 180;
        QPointF tip(48 + 30 * std::cos(a), 48 - 30 * std::sin(a));
        // Arrow head pointing along the arc (counter-clockwise).
        QPointF tangent(-std::sin(a), -std::cos(a));
        QPointF normal(std::cos(a), -std::sin(a));
        QPolygonF tri;
        tri << tip + tangent * 16 << tip + normal * 14 << tip - normal * 14;
        p.drawPolygon(tri);
      };
      head(180);
      head(0);
      break;
    }
    case 4: {  // render: a camera
      p.setPen(outline);
      p.setBrush(QColor(70, 76, 90));
      p.drawRoundedRect(QRectF(6, 28, 84, 56), 8, 8);
      p.drawRect(QRectF(30, 16, 30, 14));
      p.setBrush(QColor(160, 200, 240));
      p.drawEllipse(QPointF(48, 56), 20, 20);
      p.setBrush(QColor(230, 240, 255));
      p.setPen(Qt::NoPen);
      p.drawEllipse(QPointF(42, 50), 6, 6);
      p.setBrush(QColor(250, 200, 60));
      p.drawRect(QRectF(72, 34, 10, 7));
      break;
    }
    case 5: {  // help: a question mark in a blue disc
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(40, 110, 200));
      p.drawEllipse(QPointF(48, 48), 44, 44);
      p.setPen(QColor(255, 255, 255));
      p.setFont(font(true, 70));
      p.drawText(QRectF(0, 0, big, big), Qt::AlignCenter, "?");
      break;
    }
    default:
      break;
  }
  p.end();
  return image.scaled(24, 24, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
      .convertToFormat(QImage::Format_ARGB32);
}

QImage banner() {
  // The logo on a white ground: a small box mark, then the maker's and the product's name.
  QImage image(385, 34, QImage::Format_RGB888);
  image.fill(QColor(255, 255, 255));
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  p.setRenderHint(QPainter::TextAntialiasing);
  QPolygonF top, front, side;
  top << QPointF(6, 9) << QPointF(17, 4) << QPointF(30, 8) << QPointF(19, 13);
  front << QPointF(6, 9) << QPointF(19, 13) << QPointF(19, 30) << QPointF(6, 25);
  side << QPointF(19, 13) << QPointF(30, 8) << QPointF(30, 25) << QPointF(19, 30);
  p.setPen(QPen(QColor(28, 40, 66), 1.2));
  p.setBrush(QColor(236, 170, 50));
  p.drawPolygon(top);
  p.setBrush(QColor(52, 92, 150));
  p.drawPolygon(front);
  p.setBrush(QColor(34, 60, 104));
  p.drawPolygon(side);
  QFont maker = font(false, 16), product = font(true, 21);
  p.setPen(QColor(110, 120, 138));
  p.setFont(maker);
  p.drawText(QRectF(38, 0, 140, 34), Qt::AlignVCenter | Qt::AlignLeft, "Tallowmere");
  double x = 38 + QFontMetricsF(maker).horizontalAdvance("Tallowmere ");
  p.setPen(QColor(28, 40, 66));
  p.setFont(product);
  p.drawText(QRectF(x, 0, 200, 34), Qt::AlignVCenter | Qt::AlignLeft, "Kestrum");
  p.setPen(QColor(130, 140, 156));
  p.setFont(font(false, 11));
  p.drawText(QRectF(0, 0, 379, 34), Qt::AlignVCenter | Qt::AlignRight, "3D packaging shots");
  p.end();
  return image;
}

}  // namespace boxgen
