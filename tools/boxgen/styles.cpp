#include "styles.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <set>

namespace boxgen {

namespace {

constexpr double kPi = std::numbers::pi;

// Sphere-mapped materials carry this layer-0 flag value.
constexpr int kSphere = 64;
// effectFlags: 1 shows the picture unshaded (white colour set), 16 switches lighting off.
constexpr int kUnlit = 1;
constexpr int kNoLight = 16;

}  // namespace

const std::vector<MaterialDef>& materialTable() {
  static const std::vector<MaterialDef> table = {
      {"front", "front.png", nullptr, 0, 0, 0},
      {"back", "back.png", nullptr, 0, 0, 0},
      {"left", "left.png", nullptr, 0, 0, 0},
      {"right", "right.png", nullptr, 0, 0, 0},
      {"top", "top.png", nullptr, 0, 0, 0},
      {"bottom", "bottom.png", nullptr, 0, 0, 0},
      // Covers under a clear plastic sleeve: a second layer adds the sleeve's sheen.
      {"front_sleeve", "front.png", "sheen.png", 0, 0, 0},
      {"back_sleeve", "back.png", "sheen.png", 0, 0, 0},
      {"left_sleeve", "left.png", "sheen.png", 0, 0, 0},
      // A screen shows its picture at full brightness.
      {"front_screen", "front.png", nullptr, 0, 0, kUnlit},
      {"pages", "pages.png", nullptr, 0, 0, 0},
      {"paper", "paper.png", nullptr, 0, 0, 0},
      {"white", "white.png", nullptr, 0, 0, 0},
      {"cardboard", "cardboard.png", nullptr, 0, 0, 0},
      {"panel_back", "panel_back.png", nullptr, 0, 0, 0},
      {"plastic", "plastic.png", nullptr, 0, 0, 0},
      {"label", "label.png", nullptr, 0, 0, 0},
      {"gloss_black", "env_black.png", nullptr, kSphere, 0, 0},
      {"gloss_clear", "env_clear.png", nullptr, kSphere, 0, 0},
      {"chrome", "env_silver.png", nullptr, kSphere, 0, kNoLight},
      {"disc_data", "env_disc.png", nullptr, kSphere, 0, kNoLight},
  };
  return table;
}

const std::vector<StyleInfo>& styleTable() {
  static const std::vector<StyleInfo> table = {
      {1, "book_thick.a3d", "Thick Book", {"front.png", "back.png", "left.png"}},
      {2, "book_thin.a3d", "Thin Book", {"front.png", "back.png", "left.png"}},
      {3, "box_curved.a3d", "Curved Box", {"front.png", "back.png", "left.png"}},
      {4, "box_indent.a3d", "Indent Box", {"front.png", "back.png", "left.png"}},
      {5,
       "box_thick.a3d",
       "Thick Box",
       {"front.png", "back.png", "left.png", "right.png", "top.png", "bottom.png"}},
      {6,
       "box_thin.a3d",
       "Thin Box",
       {"front.png", "back.png", "left.png", "right.png", "top.png", "bottom.png"}},
      {7, "card.a3d", "Card", {"front.png", "back.png"}},
      {8, "card_rounded.a3d", "Card Rounded", {"front.png", "back.png"}},
      {9, "dvd_closed.a3d", "DVD Case", {"front.png", "back.png", "left.png"}},
      {10, "dvd_open_1disc.a3d", "DVD Case 1 Disc", {"front.png", "back.png", "left.png"}},
      {11, "dvd_open_2disc.a3d", "DVD Case 2 Discs", {"front.png", "back.png", "left.png"}},
      {12, "dvd_open_3disc.a3d", "DVD Case 3 Discs", {"front.png", "back.png", "left.png"}},
      {13, "jewel.a3d", "Jewel Case", {"front.png", "back.png"}},
      {14, "jewel_cd.a3d", "Jewel Case with CD", {"front.png", "back.png"}},
      {15, "jewel_cd2.a3d", "Jewel Case with CD out", {"front.png", "back.png"}},
      {16, "screenshot.a3d", "Screenshot", {"front.png"}},
      {17, "screenshot_curved.a3d", "Screenshot Curve", {"front.png"}},
      {18, "screenshot_pinch.a3d", "Screenshot Pinch", {"front.png"}},
      {19, "screenshot_ripple.a3d", "Screenshot Ripple", {"front.png"}},
      {20, "disc.a3d", "Disc", {"front.png"}},
  };
  return table;
}

namespace {

// Puts the material and texture tables of every material the meshes use into the model.
void finishMaterials(Model& model) {
  std::vector<std::string> used;
  for (const auto& o : model.objects) {
    for (const auto& m : o.meshes) {
      if (std::find(used.begin(), used.end(), m.material) == used.end()) used.push_back(m.material);
    }
  }
  for (const auto& name : used) {
    for (const auto& def : materialTable()) {
      if (name != def.name) continue;
      model.materials.push_back({def.name, def.blendMode, def.effectFlags});
      model.textures.push_back({def.name, 0, def.layer0, def.layer0Flags});
      if (def.layer1) model.textures.push_back({def.name, 1, def.layer1, 0});
    }
  }
}

// Adds the meshes of `part` to `object` of `model`, merging meshes of the same material.
void merge(Model& model, const std::string& object, const Model& part) {
  for (const auto& o : part.objects) {
    for (const auto& m : o.meshes) {
      Mesh& target = model.mesh(object, m.material);
      int base = int(target.vertices.size());
      target.vertices.insert(target.vertices.end(), m.vertices.begin(), m.vertices.end());
      for (auto f : m.faces) target.faces.push_back({f[0] + base, f[1] + base, f[2] + base});
    }
  }
}

UvFn fixedUv(double u, double v) {
  return [=](Vec3) { return Vec2{u, v}; };
}

void box(Model& part, Vec3 lo, Vec3 hi, double radius, std::array<const char*, 6> materials,
         std::array<UvFn, 6> uvs = {}) {
  std::array<BoxFace, 6> faces;
  for (int f = 0; f < 6; ++f) {
    if (!materials[f]) continue;
    faces[f].mesh = &part.mesh("part", materials[f]);
    faces[f].uv = uvs[f] ? uvs[f] : pictureUv(faceNormal(f), faceUp(f), lo, hi);
  }
  addRoundedBox((lo + hi) * 0.5, (hi - lo) * 0.5, radius, faces);
}

// --- Discs ------------------------------------------------------------------------------------

// A 120 mm disc centred at (cx, cy), its printed label side facing -z at z = zFront.
void disc(Model& part, double cx, double cy, double zFront) {
  const double t = 1.2;
  const int seg = 96;
  Vec2 c{cx, cy};
  UvFn labelUv = [=](Vec3 p) { return Vec2{(p.x - cx + 59) / 118, (cy + 59 - p.y) / 118}; };
  UvFn planar = [=](Vec3 p) { return Vec2{(p.x - cx + 60) / 120, (cy + 60 - p.y) / 120}; };
  // Label side: clear hub, mirror band, printed label, thin rim.
  addRing(part.mesh("disc", "gloss_clear"), c, 7.5, 16.5, zFront, true, seg, planar);
  addRing(part.mesh("disc", "chrome"), c, 16.5, 21.5, zFront, true, seg, planar);
  addRing(part.mesh("disc", "front"), c, 21.5, 58.5, zFront, true, seg, labelUv);
  addRing(part.mesh("disc", "chrome"), c, 58.5, 60, zFront, true, seg, planar);
  // Data side.
  addRing(part.mesh("disc", "gloss_clear"), c, 7.5, 16.5, zFront + t, false, seg, planar);
  addRing(part.mesh("disc", "disc_data"), c, 16.5, 60, zFront + t, false, seg, planar);
  // Outer edge and the wall of the centre hole.
  Outline outer = circle(c, 60, seg);
  addWalls(
      outer, zFront, zFront + t, [&](int, Vec2) { return &part.mesh("disc", "gloss_clear"); },
      planar);
  Outline hole = circle(c, 7.5, seg);
  for (auto& n : hole.normals) n = {-n.x, -n.y};
  addWalls(
      hole, zFront, zFront + t, [&](int, Vec2) { return &part.mesh("disc", "gloss_clear"); },
      planar);
}

// --- Books ------------------------------------------------------------------------------------

Model book(double W, double H, double T) {
  Model part;
  const double bt = 3.0;             // board thickness
  const double o = 3.0;              // board overhang over the page block
  const double sb = T * 0.16 + 3.0;  // depth of the rounded spine
  const double xl = -W / 2, xb0 = xl + sb, xr = W / 2;
  // Front board: the front picture, wrapped round its edges; endpaper inside.
  {
    Vec3 lo{xb0, 0, -T / 2}, hi{xr, H, -T / 2 + bt};
    UvFn front = pictureUv(faceNormal(4), faceUp(4), lo, hi);
    std::array<BoxFace, 6> f;
    f[4] = {&part.mesh("p", "front"), front, 1, nullptr};
    f[5] = {&part.mesh("p", "paper"), pictureUv(faceNormal(5), faceUp(5), lo, hi), 1, nullptr};
    f[1] = {&part.mesh("p", "front"), [=](Vec3 p) { return Vec2{0.998, front(p).y}; }, 1, nullptr};
    f[3] = {&part.mesh("p", "front"), [=](Vec3 p) { return Vec2{front(p).x, 0.002}; }, 1, nullptr};
    f[2] = {&part.mesh("p", "front"), [=](Vec3 p) { return Vec2{front(p).x, 0.998}; }, 1, nullptr};
    addRoundedBox((lo + hi) * 0.5, (hi - lo) * 0.5, 0.9, f);
  }
  // Back board.
  {
    Vec3 lo{xb0, 0, T / 2 - bt}, hi{xr, H, T / 2};
    UvFn back = pictureUv(faceNormal(5), faceUp(5), lo, hi);
    std::array<BoxFace, 6> f;
    f[5] = {&part.mesh("p", "back"), back, 1, nullptr};
    f[4] = {&part.mesh("p", "paper"), pictureUv(faceNormal(4), faceUp(4), lo, hi), 1, nullptr};
    f[1] = {&part.mesh("p", "back"), [=](Vec3 p) { return Vec2{0.002, back(p).y}; }, 1, nullptr};
    f[3] = {&part.mesh("p", "back"), [=](Vec3 p) { return Vec2{back(p).x, 0.002}; }, 1, nullptr};
    f[2] = {&part.mesh("p", "back"), [=](Vec3 p) { return Vec2{back(p).x, 0.998}; }, 1, nullptr};
    addRoundedBox((lo + hi) * 0.5, (hi - lo) * 0.5, 0.9, f);
  }
  // Page block with a slightly hollow fore-edge; page lines run with the pages.
  {
    const double x0 = xb0 - 1.5, x1 = xr - o, z0 = -T / 2 + bt, z1 = T / 2 - bt;
    const double depth = z1 - z0, hollow = std::min(2.0, depth * 0.06);
    auto zf = [=](Vec3 p) { return std::clamp((p.z - z0) / depth, 0.0, 1.0); };
    std::array<BoxFace, 6> f;
    f[3] = {&part.mesh("p", "pages"),
            [=](Vec3 p) {
              return Vec2{(p.x - x0) / (x1 - x0), zf(p)};
            },
            1, nullptr};
    f[2] = f[3];
    f[1] = {&part.mesh("p", "pages"), [=](Vec3 p) { return Vec2{p.y / H, zf(p)}; }, 1, nullptr};
    size_t first = part.mesh("p", "pages").vertices.size();
    addRoundedBox({(x0 + x1) / 2, H / 2, (z0 + z1) / 2}, {(x1 - x0) / 2, H / 2 - o, depth / 2}, 0.6,
                  f, 2);
    // Hollow the fore-edge: pages bow inwards towards the middle of the block.
    Mesh& pages = part.mesh("p", "pages");
    for (size_t i = first; i < pages.vertices.size(); ++i) {
      Vertex& v = pages.vertices[i];
      double s = 2 * ((v.p.z - z0) / depth) - 1;  // -1..1 across the block
      double w = std::clamp((v.p.x - (x1 - 8)) / 8, 0.0, 1.0);
      v.p.x -= hollow * (1 - s * s) * w;
      if (v.n.x > 0.5) {
        double slope = hollow * 2 * s * (2 / depth);  // d(x)/dz of the hollow
        v.n = normalize(Vec3{v.n.x, v.n.y, v.n.z + slope});
      }
    }
  }
  // Rounded spine: a curved shell from board to board carrying the spine picture.
  {
    auto outer = [=](double a) { return Vec3{xb0 - sb * std::sin(a), 0, -T / 2 * std::cos(a)}; };
    auto inner = [=](double a) {
      return Vec3{xb0 - (sb - bt) * std::sin(a), 0, -(T / 2 - bt) * std::cos(a)};
    };
    Surface s;
    s.pos = [=](double u, double t) {
      Vec3 p = outer(u * kPi);
      p.y = t * H;
      return p;
    };
    s.outward = [=](double u, double) { return Vec3{-std::sin(u * kPi), 0, -std::cos(u * kPi)}; };
    s.uvst = [](double u, double t) { return Vec2{1 - u, 1 - t}; };
    addSurface(part.mesh("p", "left"), s, steps(24), {0.0, 1.0});
    Surface in;
    in.pos = [=](double u, double t) {
      Vec3 p = inner(u * kPi);
      p.y = o + t * (H - 2 * o);
      return p;
    };
    in.outward = [=](double u, double) { return Vec3{std::sin(u * kPi), 0, std::cos(u * kPi)}; };
    in.uvst = [](double u, double t) { return Vec2{u, t}; };
    addSurface(part.mesh("p", "paper"), in, steps(24), {0.0, 1.0});
    for (int end = 0; end < 2; ++end) {
      Surface cap;
      double y = end ? H : 0;
      cap.pos = [=](double u, double t) {
        Vec3 a = outer(u * kPi), b = inner(u * kPi);
        Vec3 p = a + (b - a) * t;
        p.y = y;
        return p;
      };
      cap.normal = [=](double, double) { return Vec3{0, end ? 1.0 : -1.0, 0}; };
      cap.uvst = [=](double u, double) { return Vec2{1 - u, end ? 0.002 : 0.998}; };
      addSurface(part.mesh("p", "left"), cap, steps(24), {0.0, 1.0});
    }
    // The spine's inner lining is hidden from below the top by a headband strip over the block.
  }
  return part;
}

// --- Boxes ------------------------------------------------------------------------------------

Model cartonBox(double W, double H, double D, bool allSides, double bulge) {
  Model part;
  Vec3 lo{-W / 2, 0, -D / 2}, hi{W / 2, H, D / 2};
  std::array<BoxFace, 6> f;
  const char* names[6] = {"left", "right", "bottom", "top", "front", "back"};
  for (int i = 0; i < 6; ++i) {
    if (!allSides && (i == 1 || i == 2 || i == 3)) continue;
    f[i].mesh = &part.mesh("box", names[i]);
    f[i].uv = pictureUv(faceNormal(i), faceUp(i), lo, hi);
  }
  if (!allSides) {
    // Without pictures of their own, the right side, top and bottom carry the front artwork's
    // edge carried round the corner, as printed bleed.
    UvFn front = pictureUv(faceNormal(4), faceUp(4), lo, hi);
    const double edge = 0.996;
    f[1] = {&part.mesh("box", "front"), [=](Vec3 p) { return Vec2{edge, front(p).y}; }, 1, nullptr};
    f[3] = {&part.mesh("box", "front"),
            [=](Vec3 p) {
              return Vec2{front(p).x, 1 - edge};
            },
            1, nullptr};
    f[2] = {&part.mesh("box", "front"), [=](Vec3 p) { return Vec2{front(p).x, edge}; }, 1, nullptr};
  }
  if (bulge > 0) {
    f[4].divisions = 24;
    f[4].bulge = [=](double s, double t) {
      double a = 2 * s - 1, b = 2 * t - 1;
      return bulge * (1 - a * a) * (1 - b * b * b * b);
    };
  }
  addRoundedBox({0, H / 2, 0}, {W / 2, H / 2, D / 2}, 2.0, f, 3);
  return part;
}

// A VHS-style sleeve: cardboard front, spine and back with thumb notches at the open right side,
// the black cassette inside.
Model sleeveBox() {
  Model part;
  const double W = 106, H = 192, D = 30, wall = 0.9, notch = 14;
  Vec3 lo{-W / 2, 0, -D / 2}, hi{W / 2, H, D / 2};
  // Front and back panels: rectangles with a semicircular notch in their right edge.
  std::vector<Vec2> panel = {{-W / 2, 0}, {W / 2, 0}};
  for (int k = 0; k <= 16; ++k) {
    double a = -kPi / 2 + kPi * k / 16;
    panel.push_back({W / 2 - notch * std::cos(a), H / 2 + notch * std::sin(a)});
  }
  panel.push_back({W / 2, H});
  panel.push_back({-W / 2, H});
  Outline outline;
  outline.points = panel;
  for (size_t i = 0; i < panel.size(); ++i) {
    Vec2 a = panel[(i + panel.size() - 1) % panel.size()], b = panel[(i + 1) % panel.size()];
    Vec2 d{b.x - a.x, b.y - a.y};
    double l = std::hypot(d.x, d.y);
    outline.normals.push_back({d.y / l, -d.x / l});
  }
  for (int side = 0; side < 2; ++side) {
    double zOut = side ? D / 2 : -D / 2, zIn = side ? D / 2 - wall : -D / 2 + wall;
    const char* cover = side ? "back" : "front";
    addCap(part.mesh("sleeve", cover), panel, zOut, side == 0,
           pictureUv(faceNormal(side ? 5 : 4), faceUp(side ? 5 : 4), lo, hi));
    addCap(part.mesh("sleeve", "cardboard"), panel, zIn, side != 0, fixedUv(0.5, 0.5));
    addWalls(
        outline, std::min(zOut, zIn), std::max(zOut, zIn),
        [&](int, Vec2) { return &part.mesh("sleeve", "white"); }, fixedUv(0.5, 0.5));
  }
  // Spine.
  box(part, {-W / 2, 0, -D / 2 + wall}, {-W / 2 + wall, H, D / 2 - wall}, 0,
      {"left", "cardboard", "white", "white", nullptr, nullptr},
      {pictureUv(faceNormal(0), faceUp(0), lo, hi)});
  // Closed top and bottom.
  box(part, {-W / 2 + wall, H - wall, -D / 2 + wall}, {W / 2, H, D / 2 - wall}, 0,
      {nullptr, "white", "cardboard", "white", nullptr, nullptr});
  box(part, {-W / 2 + wall, 0, -D / 2 + wall}, {W / 2, wall, D / 2 - wall}, 0,
      {nullptr, "white", "white", "cardboard", nullptr, nullptr});
  // The cassette, its end label facing the open side.
  const double cx0 = -W / 2 + wall + 0.3, cx1 = W / 2 - 1.5;
  box(part, {cx0, wall + 0.3, -D / 2 + wall + 0.3}, {cx1, H - wall - 0.3, D / 2 - wall - 0.3}, 1.2,
      {"gloss_black", "gloss_black", "gloss_black", "gloss_black", "gloss_black", "gloss_black"});
  {
    Vec3 llo{cx1, 22, -9}, lhi{cx1 + 0.15, H - 22, 9};
    box(part, llo, lhi, 0, {nullptr, "label", nullptr, nullptr, nullptr, nullptr},
        {nullptr, pictureUv(faceNormal(1), faceUp(1), llo, lhi)});
  }
  return part;
}

// --- Cards ------------------------------------------------------------------------------------

Model card(double radius) {
  Model part;
  const double W = 85, H = 55, T = 1.0;
  Outline o = roundedRect(-W / 2, 0, W / 2, H, {radius, radius, radius, radius}, 10);
  Vec3 lo{-W / 2, 0, -T / 2}, hi{W / 2, H, T / 2};
  addCap(part.mesh("card", "front"), o.points, -T / 2, true,
         pictureUv(faceNormal(4), faceUp(4), lo, hi));
  addCap(part.mesh("card", "back"), o.points, T / 2, false,
         pictureUv(faceNormal(5), faceUp(5), lo, hi));
  addWalls(
      o, -T / 2, T / 2, [&](int, Vec2) { return &part.mesh("card", "white"); }, fixedUv(0.5, 0.5));
  return part;
}

// --- DVD cases --------------------------------------------------------------------------------

constexpr double kDvdW = 135, kDvdH = 190;

// A flat ring between an outline and the same outline inset (same point count), at depth z.
void outlineRing(Mesh& mesh, const Outline& outer, const Outline& inner, double z, bool minusZ,
                 const UvFn& uv) {
  const size_t n = outer.points.size();
  std::vector<int> a, b;
  for (size_t i = 0; i < n; ++i) {
    for (int k = 0; k < 2; ++k) {
      Vec2 q = k ? inner.points[i] : outer.points[i];
      Vertex v;
      v.p = {q.x, q.y, z};
      v.n = {0, 0, minusZ ? -1.0 : 1.0};
      Vec2 t = uv(v.p);
      v.u = t.x;
      v.v = t.y;
      (k ? b : a).push_back(mesh.add(v));
    }
  }
  for (size_t i = 0; i < n; ++i) {
    size_t j = (i + 1) % n;
    mesh.quad(a[i], a[j], b[j], b[i]);
  }
}

// A DVD case half (or a whole closed case) as a slab from z0 to z1 over x0..x1. A face given a
// cover shows it under the sleeve inside a thin plastic rim; a face without one is the dark
// inside of the case. Corners at the hinge side (`hingeLeft`: x0) are tighter than the free
// ones; the hinge wall carries `spineCover` when given.
void dvdSlab(Model& part, double x0, double x1, double z0, double z1, bool hingeLeft,
             const char* coverMinusZ, const char* coverPlusZ, const char* spineCover) {
  const double rFree = 6, rHinge = 2.5, rim = 1.8;
  std::array<double, 4> r = hingeLeft ? std::array<double, 4>{rHinge, rFree, rFree, rHinge}
                                      : std::array<double, 4>{rFree, rHinge, rHinge, rFree};
  std::array<double, 4> ri;
  for (int k = 0; k < 4; ++k) ri[k] = std::max(0.5, r[k] - rim);
  Outline outer = roundedRect(x0, 0, x1, kDvdH, r, 6);
  Outline inner = roundedRect(x0 + rim, rim, x1 - rim, kDvdH - rim, ri, 6);
  Vec3 lo{x0 + rim, rim, z0}, hi{x1 - rim, kDvdH - rim, z1};
  for (int side = 0; side < 2; ++side) {
    const char* cover = side ? coverPlusZ : coverMinusZ;
    double z = side ? z1 : z0;
    bool minusZ = side == 0;
    if (cover) {
      outlineRing(part.mesh("case", "gloss_black"), outer, inner, z, minusZ, fixedUv(0.5, 0.5));
      addCap(part.mesh("case", cover), inner.points, z, minusZ,
             pictureUv(faceNormal(side ? 5 : 4), faceUp(4), lo, hi));
    } else {
      addCap(part.mesh("case", "gloss_black"), outer.points, z, minusZ, fixedUv(0.5, 0.5));
    }
  }
  // Walls with a gently rounded profile.
  Vec3 slo{x0, 0, z0}, shi{x1, kDvdH, z1};
  UvFn spineUv = pictureUv(faceNormal(0), faceUp(0), slo, shi);
  double depth = z1 - z0;
  addWalls(
      outer, z0, z1,
      [&](int, Vec2 n) {
        if (spineCover && hingeLeft && n.x < -0.6) return &part.mesh("case", spineCover);
        return &part.mesh("case", "gloss_black");
      },
      spineUv, 6, [=](double t) { return std::min(0.8, depth * 0.06) * std::sin(kPi * t); });
}

Model dvdClosed() {
  Model part;
  const double D = 14;
  dvdSlab(part, -kDvdW / 2, kDvdW / 2, -D / 2, D / 2, true, "front_sleeve", "back_sleeve",
          "left_sleeve");
  return part;
}

// A hub and the discs held on one tray; `centres` are (x, y) with the z of the disc's face.
void trayDiscs(Model& part, const std::vector<Vec3>& discs, double trayZ) {
  for (const auto& d : discs) {
    addCylinderZ(part.mesh("case", "plastic"), {d.x, d.y}, 7.2, d.z - 0.6, trayZ, 24, true, false);
    addRing(part.mesh("case", "gloss_black"), {d.x, d.y}, 61, 62.5, trayZ - 0.01, true, 72,
            fixedUv(0.5, 0.5));
    disc(part, d.x, d.y, d.z);
  }
}

Model dvdOpen(int discCount) {
  Model model;
  const double spine = discCount == 1 ? 14 : 24, d = 7.0, fold = 14;
  const double hs = spine / 2;
  // Left half: the inside of the front cover; its outside carries the front picture.
  Model left;
  dvdSlab(left, -hs - kDvdW, -hs, 0, d, false, nullptr, "front_sleeve", nullptr);
  // Right half: the disc tray; its outside is the back cover.
  Model right;
  dvdSlab(right, hs, hs + kDvdW, 0, d, true, nullptr, "back_sleeve", nullptr);
  if (discCount == 1) {
    trayDiscs(right, {{hs + kDvdW / 2, kDvdH / 2, -2.0}}, 0);
  } else if (discCount == 2) {
    trayDiscs(right, {{hs + kDvdW / 2, kDvdH / 2, -2.0}}, 0);
    trayDiscs(left, {{-hs - kDvdW / 2, kDvdH / 2, -2.0}}, 0);
  } else {
    trayDiscs(right, {{hs + kDvdW / 2, kDvdH / 2 + 32, -2.0}}, 0);
    trayDiscs(right, {{hs + kDvdW / 2 + 0.5, kDvdH / 2 - 32, -4.2}}, 0);
    trayDiscs(left, {{-hs - kDvdW / 2, kDvdH / 2, -2.0}}, 0);
  }
  // Booklet clips on the inside of the front half.
  if (discCount == 1) {
    for (double y : {kDvdH - 14.0, 14.0}) {
      double x = -hs - 18;
      box(left, {x - 7, y - 3, -1.2}, {x + 7, y + 3, 0}, 0.5,
          {"plastic", "plastic", "plastic", "plastic", "plastic", nullptr});
    }
  }
  // The spine joins the halves; its outside shows the spine picture.
  Model spinePart;
  {
    Vec3 lo{-hs, 0, 0}, hi{hs, kDvdH, d};
    std::array<BoxFace, 6> f;
    f[5] = {&spinePart.mesh("case", "left_sleeve"), pictureUv(faceNormal(5), faceUp(0), lo, hi), 1,
            nullptr};
    f[4] = {&spinePart.mesh("case", "gloss_black"), fixedUv(0.5, 0.5), 1, nullptr};
    f[2] = {&spinePart.mesh("case", "gloss_black"), fixedUv(0.5, 0.5), 1, nullptr};
    f[3] = f[2];
    addRoundedBox((lo + hi) * 0.5, (hi - lo) * 0.5, 0.5, f, 1);
  }
  // Fold both halves forward about their hinges so the case opens towards the viewer.
  left.transform(
      [=](Vec3 p) {
        return rotateY(p - Vec3{-hs, 0, d}, -fold) + Vec3{-hs, 0, d};
      },
      [=](Vec3 n) { return rotateY(n, -fold); });
  right.transform(
      [=](Vec3 p) {
        return rotateY(p - Vec3{hs, 0, d}, fold) + Vec3{hs, 0, d};
      },
      [=](Vec3 n) { return rotateY(n, fold); });
  merge(model, "case", left);
  merge(model, "case", right);
  merge(model, "case", spinePart);
  return model;
}

// --- Jewel cases ------------------------------------------------------------------------------

Model jewel(int discMode) {
  Model part;
  const double W = 142, H = 125, D = 6.0;
  const double hinge = 9.0, zMid = -0.9;
  // Base: dark tray with the back inlay under its clear back.
  {
    Vec3 lo{-W / 2, 0, zMid}, hi{W / 2, H, D / 2};
    box(part, lo, hi, 0.6,
        {"gloss_black", "gloss_clear", "gloss_clear", "gloss_clear", "gloss_black", "back_sleeve"});
  }
  // Lid: clear plastic over the front inlay; the tray shows dark through its margins.
  {
    const double x0 = -W / 2 + hinge, x1 = W / 2, y0 = 0.4, y1 = H - 0.4, z0 = -D / 2;
    Outline outer = roundedRect(x0, y0, x1, y1, {0.6, 0.6, 0.6, 0.6}, 2);
    const double ix0 = x1 - 3.5 - 120, ix1 = x1 - 3.5, iy0 = H / 2 - 60, iy1 = H / 2 + 60;
    Outline inlay = roundedRect(ix0, iy0, ix1, iy1, {0.3, 0.3, 0.3, 0.3}, 2);
    outlineRing(part.mesh("case", "gloss_black"), outer, inlay, z0, true, fixedUv(0.5, 0.5));
    addCap(part.mesh("case", "front_sleeve"), inlay.points, z0, true,
           pictureUv(faceNormal(4), faceUp(4), {ix0, iy0, z0}, {ix1, iy1, z0}));
    addWalls(
        outer, z0, zMid, [&](int, Vec2) { return &part.mesh("case", "gloss_clear"); },
        fixedUv(0.5, 0.5));
    // Hinge knuckles at the left edge of the lid.
    for (double y : {2.0, H - 20.0}) {
      addCylinderY(part.mesh("case", "gloss_clear"), {-W / 2 + 4.5, z0 + 2.2}, 2.2, y, y + 18, 16,
                   true);
    }
    // The hinge strip of the base, in front of the tray.
    box(part, {-W / 2, 0, z0 + 0.6}, {-W / 2 + hinge, H, zMid}, 0.4,
        {"gloss_black", nullptr, "gloss_black", "gloss_black", "gloss_black", nullptr});
  }
  if (discMode == 1) {
    // A disc standing behind the case, showing on its right.
    disc(part, 48, 60, D / 2 + 6);
  } else if (discMode == 2) {
    // A disc half slid out of the right side of the case.
    disc(part, W / 2 + 4, H / 2, zMid - 0.6);
  }
  return part;
}

// --- Screenshots ------------------------------------------------------------------------------

Model screenshot(int kind) {
  Model part;
  const double W = 160, H = 120, T = 1.6;
  auto offset = [=](double s, double t) {
    double a = 2 * s - 1, b = 2 * t - 1;
    switch (kind) {
      case 1:  // curved: both sides come forward, like a curved display
        return -0.11 * W * a * a;
      case 2:  // pinched: the middle drawn back
        return 0.09 * W * (1 + std::cos(kPi * a)) / 2 * (1 + std::cos(kPi * b)) / 2;
      case 3:  // rippled: two waves across
        return 0.035 * W * std::sin(2 * kPi * 2 * s);
      default:
        return 0.0;
    }
  };
  const int ns = kind ? 64 : 1, nt = kind == 2 ? 48 : 1;
  for (int side = 0; side < 2; ++side) {
    Surface surf;
    double z = side ? T / 2 : -T / 2;
    surf.pos = [=](double s, double t) { return Vec3{-W / 2 + W * s, H * t, z + offset(s, t)}; };
    surf.outward = [=](double, double) { return Vec3{0, 0, side ? 1.0 : -1.0}; };
    surf.uvst = [=](double s, double t) { return Vec2{side ? 1 - s : s, 1 - t}; };
    // The flat screenshot shows its picture exactly as captured, unshaded; the bent ones are
    // lit so that their shape reads.
    const char* face = side ? "panel_back" : (kind == 0 ? "front_screen" : "front");
    addSurface(part.mesh("shot", face), surf, steps(ns), steps(nt));
  }
  // Edges.
  for (int e = 0; e < 4; ++e) {
    Surface surf;
    surf.pos = [=](double u, double k) {
      double s = e < 2 ? u : (e == 2 ? 0.0 : 1.0);
      double t = e < 2 ? (e == 0 ? 0.0 : 1.0) : u;
      return Vec3{-W / 2 + W * s, H * t, -T / 2 + T * k + offset(s, t)};
    };
    surf.outward = [=](double, double) {
      return e == 0   ? Vec3{0, -1, 0}
             : e == 1 ? Vec3{0, 1, 0}
             : e == 2 ? Vec3{-1, 0, 0}
                      : Vec3{1, 0, 0};
    };
    surf.uvst = [](double u, double k) { return Vec2{u, k}; };
    addSurface(part.mesh("shot", "white"), surf, steps(e < 2 ? ns : nt), {0.0, 1.0});
  }
  return part;
}

Model discAlone() {
  Model part;
  disc(part, 0, 60, -0.6);
  return part;
}

// --- Fitting ----------------------------------------------------------------------------------

// Scale so the model, turned as at start-up, fills about 60% of the preview's height (or 80% of
// its width, whichever is reached first), and centre its footprint on the vertical axis.
void fitToPreview(Model& model) {
  Vec3 lo, hi;
  model.bounds(&lo, &hi);
  Vec3 shift{-(lo.x + hi.x) / 2, -lo.y, -(lo.z + hi.z) / 2};
  model.transform([=](Vec3 p) { return p + shift; }, [](Vec3 n) { return n; });
  auto extent = [&](double scale, double* w, double* h) {
    double x0 = 1e30, x1 = -1e30, y0 = 1e30, y1 = -1e30;
    for (const auto& o : model.objects) {
      for (const auto& m : o.meshes) {
        for (const auto& v : m.vertices) {
          double px, py;
          if (!projectHome(v.p * scale, &px, &py)) continue;
          x0 = std::min(x0, px);
          x1 = std::max(x1, px);
          y0 = std::min(y0, py);
          y1 = std::max(y1, py);
        }
      }
    }
    *w = x1 - x0;
    *h = y1 - y0;
  };
  double a = 1e-4, b = 0.1;
  for (int i = 0; i < 60; ++i) {
    double mid = (a + b) / 2, w, h;
    extent(mid, &w, &h);
    if (h / (0.60 * 350) > 1 || w / (0.80 * 335) > 1)
      b = mid;
    else
      a = mid;
  }
  double scale = a;
  model.transform([=](Vec3 p) { return p * scale; }, [](Vec3 n) { return n; });
}

}  // namespace

bool projectHome(Vec3 p, double* px, double* py) {
  p = rotateY(p, 40);
  const double pitch = 35 * kPi / 180;
  Vec3 cam{0, 4.75, -5};
  Vec3 fwd{0, -std::sin(pitch), std::cos(pitch)}, up{0, std::cos(pitch), std::sin(pitch)};
  Vec3 d = p - cam;
  double zc = dot(d, fwd);
  if (zc <= 1e-6) return false;
  double f = 175.0 / std::tan(22.5 * kPi / 180);
  *px = 167.5 + d.x / zc * f;
  *py = 175.0 - dot(d, up) / zc * f;
  return true;
}

Model buildStyle(int style) {
  Model part;
  switch (style) {
    case 1:
      part = book(165, 240, 52);
      break;
    case 2:
      part = book(150, 228, 21);
      break;
    case 3:
      part = cartonBox(196, 248, 62, false, 7);
      break;
    case 4:
      part = sleeveBox();
      break;
    case 5:
      part = cartonBox(190, 236, 80, true, 0);
      break;
    case 6:
      part = cartonBox(190, 236, 34, true, 0);
      break;
    case 7:
      part = card(3);
      break;
    case 8:
      part = card(10);
      break;
    case 9:
      part = dvdClosed();
      break;
    case 10:
      part = dvdOpen(1);
      break;
    case 11:
      part = dvdOpen(2);
      break;
    case 12:
      part = dvdOpen(3);
      break;
    case 13:
      part = jewel(0);
      break;
    case 14:
      part = jewel(1);
      break;
    case 15:
      part = jewel(2);
      break;
    case 16:
      part = screenshot(0);
      break;
    case 17:
      part = screenshot(1);
      break;
    case 18:
      part = screenshot(2);
      break;
    case 19:
      part = screenshot(3);
      break;
    case 20:
      part = discAlone();
      break;
    default:
      return {};
  }
  Model model;
  const std::string object = std::string(styleTable()[style - 1].file)
                                 .substr(0, std::string(styleTable()[style - 1].file).find('.'));
  merge(model, object, part);
  fitToPreview(model);
  finishMaterials(model);
  return model;
}

Model buildShadowModel() {
  Model model;
  Mesh& m = model.mesh("shadow", "shadow");
  const double h = kShadowHalf;
  int idx[4];
  const double corners[4][2] = {{-h, h}, {h, h}, {h, -h}, {-h, -h}};
  for (int k = 0; k < 4; ++k) {
    Vertex v;
    v.p = {corners[k][0], 0.0, corners[k][1]};
    v.n = {0, 1, 0};
    v.u = (corners[k][0] + h) / (2 * h);
    v.v = (h - corners[k][1]) / (2 * h);
    idx[k] = m.add(v);
  }
  m.quad(idx[0], idx[1], idx[2], idx[3]);
  model.materials.push_back({"shadow", 0, 0});
  return model;
}

}  // namespace boxgen
