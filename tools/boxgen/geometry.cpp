#include "geometry.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <numbers>

namespace boxgen {

namespace {
constexpr double kPi = std::numbers::pi;
}

void Mesh::tri(int a, int b, int c) {
  // The engine draws triangles that run clockwise as seen by the camera; in its left-handed
  // frame that is a corner order whose cross product points out of the surface.
  const Vertex& va = vertices[a];
  const Vertex& vb = vertices[b];
  const Vertex& vc = vertices[c];
  Vec3 geometric = cross(vb.p - va.p, vc.p - va.p);
  if (length(geometric) < 1e-14) return;  // degenerate: nothing to draw
  Vec3 outward = va.n + vb.n + vc.n;
  if (dot(geometric, outward) < 0) std::swap(b, c);
  faces.push_back({a, b, c});
}

Mesh& Model::mesh(const std::string& object, const std::string& material) {
  Object* target = nullptr;
  for (auto& o : objects) {
    if (o.name == object) target = &o;
  }
  if (!target) {
    objects.push_back(Object{object, {}, {}});
    target = &objects.back();
  }
  for (auto& m : target->meshes) {
    if (m.material == material) return m;
  }
  target->meshes.push_back(Mesh{material, {}, {}});
  return target->meshes.back();
}

void Model::transform(const std::function<Vec3(Vec3)>& point,
                      const std::function<Vec3(Vec3)>& normal) {
  for (auto& o : objects) {
    for (auto& m : o.meshes) transformFrom(m, 0, point, normal);
  }
}

void Model::bounds(Vec3* lo, Vec3* hi) const {
  *lo = {1e30, 1e30, 1e30};
  *hi = {-1e30, -1e30, -1e30};
  for (const auto& o : objects) {
    for (const auto& m : o.meshes) {
      for (const auto& v : m.vertices) {
        lo->x = std::min(lo->x, v.p.x);
        lo->y = std::min(lo->y, v.p.y);
        lo->z = std::min(lo->z, v.p.z);
        hi->x = std::max(hi->x, v.p.x);
        hi->y = std::max(hi->y, v.p.y);
        hi->z = std::max(hi->z, v.p.z);
      }
    }
  }
}

void transformFrom(Mesh& mesh, size_t first, const std::function<Vec3(Vec3)>& point,
                   const std::function<Vec3(Vec3)>& normal) {
  for (size_t i = first; i < mesh.vertices.size(); ++i) {
    mesh.vertices[i].p = point(mesh.vertices[i].p);
    mesh.vertices[i].n = normalize(normal(mesh.vertices[i].n));
  }
}

Vec3 rotateY(Vec3 p, double degrees) {
  // +y turns +z towards +x, as the engine does.
  double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
  return {p.x * c + p.z * s, p.y, -p.x * s + p.z * c};
}
Vec3 rotateX(Vec3 p, double degrees) {
  // +x turns +z towards -y (tilts a view down).
  double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
  return {p.x, p.y * c - p.z * s, p.y * s + p.z * c};
}
Vec3 rotateZ(Vec3 p, double degrees) {
  // +z turns +x towards -y... kept consistent with a clockwise turn seen from +z.
  double a = degrees * kPi / 180.0, c = std::cos(a), s = std::sin(a);
  return {p.x * c + p.y * s, -p.x * s + p.y * c, p.z};
}

UvFn pictureUv(Vec3 n, Vec3 up, Vec3 lo, Vec3 hi) {
  Vec3 right = cross(up, -n);
  Vec3 size = hi - lo;
  auto extent = [&](Vec3 axis) {
    return std::fabs(axis.x) * size.x + std::fabs(axis.y) * size.y + std::fabs(axis.z) * size.z;
  };
  auto start = [&](Vec3 axis) {
    // Lowest value of the axis' coordinate over the box.
    Vec3 p{axis.x >= 0 ? lo.x : hi.x, axis.y >= 0 ? lo.y : hi.y, axis.z >= 0 ? lo.z : hi.z};
    return dot(p, axis);
  };
  double w = extent(right), h = extent(up);
  double u0 = start(right), v0 = start(up);
  return [=](Vec3 p) {
    double u = w > 0 ? (dot(p, right) - u0) / w : 0.5;
    double t = h > 0 ? (dot(p, up) - v0) / h : 0.5;
    return Vec2{u, 1.0 - t};
  };
}

std::vector<double> steps(int n) {
  std::vector<double> r;
  for (int i = 0; i <= n; ++i) r.push_back(double(i) / n);
  return r;
}

void addSurface(Mesh& mesh, const Surface& surface, const std::vector<double>& ss,
                const std::vector<double>& ts) {
  const int ns = int(ss.size()), nt = int(ts.size());
  std::vector<int> index(size_t(ns) * nt);
  for (int j = 0; j < nt; ++j) {
    for (int i = 0; i < ns; ++i) {
      double s = ss[i], t = ts[j];
      Vertex v;
      v.p = surface.pos(s, t);
      if (surface.normal) {
        v.n = normalize(surface.normal(s, t));
      } else {
        const double e = 1e-4;
        double s0 = std::max(0.0, s - e), s1 = std::min(1.0, s + e);
        double t0 = std::max(0.0, t - e), t1 = std::min(1.0, t + e);
        Vec3 ds = surface.pos(s1, t) - surface.pos(s0, t);
        Vec3 dt = surface.pos(s, t1) - surface.pos(s, t0);
        v.n = normalize(cross(ds, dt));
      }
      if (surface.outward && dot(v.n, surface.outward(s, t)) < 0) v.n = -v.n;
      Vec2 uv = surface.uvst ? surface.uvst(s, t) : surface.uv(v.p);
      v.u = uv.x;
      v.v = uv.y;
      index[size_t(j) * ns + i] = mesh.add(v);
    }
  }
  for (int j = 0; j + 1 < nt; ++j) {
    for (int i = 0; i + 1 < ns; ++i) {
      int a = index[size_t(j) * ns + i], b = index[size_t(j) * ns + i + 1];
      int c = index[size_t(j + 1) * ns + i + 1], d = index[size_t(j + 1) * ns + i];
      mesh.quad(a, b, c, d);
    }
  }
}

Vec3 faceNormal(int face) {
  static const Vec3 n[6] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
  return n[face];
}
Vec3 faceUp(int face) {
  // Picture top of each face: sides and front/back upright; the top face's picture top is at the
  // back, the bottom face's at the front (as on a folded carton).
  static const Vec3 up[6] = {{0, 1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}, {0, 1, 0}, {0, 1, 0}};
  return up[face];
}

void addRoundedBox(Vec3 centre, Vec3 half, double radius, std::array<BoxFace, 6> faces,
                   int roundSegments) {
  radius = std::min({radius, half.x, half.y, half.z});
  Vec3 inner = {half.x - radius, half.y - radius, half.z - radius};
  for (int f = 0; f < 6; ++f) {
    const BoxFace& face = faces[f];
    if (!face.mesh) continue;
    Vec3 n = faceNormal(f);
    Vec3 up = faceUp(f);
    Vec3 right = cross(up, -n);
    double hu = std::fabs(dot(right, half)), hv = std::fabs(dot(up, half));
    double iu = std::fabs(dot(right, inner)), iv = std::fabs(dot(up, inner));
    double hn = std::fabs(dot(n, half));
    // Breakpoints: rounded margins, then the flat middle in `divisions` steps.
    auto breaks = [&](double h, double in) {
      std::vector<double> r;
      int seg = radius > 0 ? roundSegments : 0;
      for (int k = 0; k < seg; ++k) r.push_back((-h + (h - in) * k / seg + h) / (2 * h));
      for (int k = 0; k <= face.divisions; ++k)
        r.push_back((-in + 2 * in * k / face.divisions + h) / (2 * h));
      for (int k = 1; k <= seg; ++k) r.push_back((in + (h - in) * k / seg + h) / (2 * h));
      r.erase(std::unique(r.begin(), r.end(), [](double a, double b) { return b - a < 1e-9; }),
              r.end());
      return r;
    };
    auto onCube = [=](double s, double t) {
      return n * hn + right * ((2 * s - 1) * hu) + up * ((2 * t - 1) * hv);
    };
    auto mapPoint = [=](Vec3 p, Vec3* normal) {
      Vec3 c{std::clamp(p.x, -inner.x, inner.x), std::clamp(p.y, -inner.y, inner.y),
             std::clamp(p.z, -inner.z, inner.z)};
      Vec3 d = normalize(p - c);
      if (normal) *normal = d;
      return c + d * radius;
    };
    Surface surface;
    auto bulge = face.bulge;
    surface.pos = [=](double s, double t) {
      Vec3 q = mapPoint(onCube(s, t), nullptr);
      if (bulge) q = q + n * bulge(s, t);
      return centre + q;
    };
    if (!bulge) {
      surface.normal = [=](double s, double t) {
        Vec3 nn;
        mapPoint(onCube(s, t), &nn);
        return length(nn) > 0.5 ? nn : n;  // a sharp box: the face's own normal
      };
    }
    surface.outward = [=](double, double) { return n; };
    surface.uv = face.uv;
    addSurface(*face.mesh, surface, breaks(hu, iu), breaks(hv, iv));
  }
}

Outline roundedRect(double x0, double y0, double x1, double y1, std::array<double, 4> radii,
                    int segments) {
  Outline o;
  struct Corner {
    double cx, cy, r, a0;
  };
  Corner corners[4] = {{x0 + radii[0], y0 + radii[0], radii[0], 180},
                       {x1 - radii[1], y0 + radii[1], radii[1], 270},
                       {x1 - radii[2], y1 - radii[2], radii[2], 0},
                       {x0 + radii[3], y1 - radii[3], radii[3], 90}};
  for (const auto& c : corners) {
    int seg = c.r > 0 ? segments : 0;
    for (int k = 0; k <= seg; ++k) {
      double a = (c.a0 + 90.0 * (seg ? double(k) / seg : 0.5)) * kPi / 180.0;
      if (seg == 0) {
        // A sharp corner: one point, its normal halfway between the walls.
        o.points.push_back({c.cx, c.cy});
        o.normals.push_back({std::cos(a), std::sin(a)});
        break;
      }
      o.points.push_back({c.cx + c.r * std::cos(a), c.cy + c.r * std::sin(a)});
      o.normals.push_back({std::cos(a), std::sin(a)});
    }
  }
  return o;
}

Outline circle(Vec2 centre, double radius, int segments) {
  Outline o;
  for (int k = 0; k < segments; ++k) {
    double a = 2 * kPi * k / segments;
    o.points.push_back({centre.x + radius * std::cos(a), centre.y + radius * std::sin(a)});
    o.normals.push_back({std::cos(a), std::sin(a)});
  }
  return o;
}

namespace {
double area2(const std::vector<Vec2>& p) {
  double a = 0;
  for (size_t i = 0; i < p.size(); ++i) {
    const Vec2& u = p[i];
    const Vec2& w = p[(i + 1) % p.size()];
    a += u.x * w.y - w.x * u.y;
  }
  return a;
}
bool inside(Vec2 p, Vec2 a, Vec2 b, Vec2 c) {
  auto side = [](Vec2 p1, Vec2 p2, Vec2 p3) {
    return (p1.x - p3.x) * (p2.y - p3.y) - (p2.x - p3.x) * (p1.y - p3.y);
  };
  double d1 = side(p, a, b), d2 = side(p, b, c), d3 = side(p, c, a);
  bool neg = d1 < 0 || d2 < 0 || d3<0, pos = d1> 0 || d2 > 0 || d3 > 0;
  return !(neg && pos);
}
}  // namespace

void addCap(Mesh& mesh, const std::vector<Vec2>& polygon, double z, bool facingMinusZ,
            const UvFn& uv) {
  // Ear clipping on a simple polygon; fine for the small outlines used here.
  std::vector<Vec2> p = polygon;
  if (area2(p) < 0) std::reverse(p.begin(), p.end());
  Vec3 n{0, 0, facingMinusZ ? -1.0 : 1.0};
  std::vector<int> idx;
  for (const auto& q : p) {
    Vertex v;
    v.p = {q.x, q.y, z};
    v.n = n;
    Vec2 t = uv(v.p);
    v.u = t.x;
    v.v = t.y;
    idx.push_back(mesh.add(v));
  }
  std::vector<int> ring(p.size());
  for (size_t i = 0; i < p.size(); ++i) ring[i] = int(i);
  int guard = 0;
  while (ring.size() > 3 && guard++ < 100000) {
    bool clipped = false;
    for (size_t i = 0; i < ring.size(); ++i) {
      int ia = ring[(i + ring.size() - 1) % ring.size()], ib = ring[i],
          ic = ring[(i + 1) % ring.size()];
      Vec2 a = p[ia], b = p[ib], c = p[ic];
      double convex = (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
      if (convex <= 1e-12) continue;
      bool ear = true;
      for (int k : ring) {
        if (k == ia || k == ib || k == ic) continue;
        if (inside(p[k], a, b, c)) {
          ear = false;
          break;
        }
      }
      if (!ear) continue;
      mesh.tri(idx[ia], idx[ib], idx[ic]);
      ring.erase(ring.begin() + long(i));
      clipped = true;
      break;
    }
    if (!clipped) break;
  }
  if (ring.size() == 3) mesh.tri(idx[ring[0]], idx[ring[1]], idx[ring[2]]);
}

void addWalls(const Outline& outline, double z0, double z1,
              const std::function<Mesh*(int index, Vec2 normal)>& meshFor, const UvFn& uv,
              int zSteps, std::function<double(double t)> swell) {
  const size_t n = outline.points.size();
  for (size_t i = 0; i < n; ++i) {
    size_t j = (i + 1) % n;
    Vec2 a = outline.points[i], b = outline.points[j];
    Vec2 na = outline.normals[i], nb = outline.normals[j];
    Vec2 mid{(na.x + nb.x) * 0.5, (na.y + nb.y) * 0.5};
    Mesh* mesh = meshFor(int(i), mid);
    if (!mesh) continue;
    Surface s;
    s.pos = [=](double u, double t) {
      Vec2 p{a.x + (b.x - a.x) * u, a.y + (b.y - a.y) * u};
      Vec2 nn{na.x + (nb.x - na.x) * u, na.y + (nb.y - na.y) * u};
      double w = swell ? swell(t) : 0.0;
      return Vec3{p.x + nn.x * w, p.y + nn.y * w, z0 + (z1 - z0) * t};
    };
    if (!swell) {
      s.normal = [=](double u, double) {
        return Vec3{na.x + (nb.x - na.x) * u, na.y + (nb.y - na.y) * u, 0};
      };
    }
    s.outward = [=](double u, double) {
      return Vec3{na.x + (nb.x - na.x) * u, na.y + (nb.y - na.y) * u, 0};
    };
    s.uv = uv;
    addSurface(*mesh, s, {0.0, 1.0}, steps(zSteps));
  }
}

void addRing(Mesh& mesh, Vec2 centre, double r0, double r1, double z, bool facingMinusZ,
             int segments, const UvFn& uv) {
  Surface s;
  s.pos = [=](double u, double t) {
    double a = 2 * kPi * u, r = r0 + (r1 - r0) * t;
    return Vec3{centre.x + r * std::cos(a), centre.y + r * std::sin(a), z};
  };
  s.normal = [=](double, double) { return Vec3{0, 0, facingMinusZ ? -1.0 : 1.0}; };
  s.uv = uv;
  addSurface(mesh, s, steps(segments), {0.0, 1.0});
}

void addCylinderY(Mesh& mesh, Vec2 c, double radius, double y0, double y1, int segments,
                  bool caps) {
  Surface s;
  s.pos = [=](double u, double t) {
    double a = 2 * kPi * u;
    return Vec3{c.x + radius * std::cos(a), y0 + (y1 - y0) * t, c.y + radius * std::sin(a)};
  };
  s.normal = [=](double u, double) {
    double a = 2 * kPi * u;
    return Vec3{std::cos(a), 0, std::sin(a)};
  };
  s.uvst = [](double u, double t) { return Vec2{u, 1 - t}; };
  addSurface(mesh, s, steps(segments), {0.0, 1.0});
  if (!caps) return;
  for (int end = 0; end < 2; ++end) {
    double y = end ? y1 : y0;
    Vertex centre;
    centre.p = {c.x, y, c.y};
    centre.n = {0, end ? 1.0 : -1.0, 0};
    centre.u = centre.v = 0.5;
    int ci = mesh.add(centre);
    std::vector<int> rim;
    for (int k = 0; k <= segments; ++k) {
      double a = 2 * kPi * k / segments;
      Vertex v = centre;
      v.p = {c.x + radius * std::cos(a), y, c.y + radius * std::sin(a)};
      v.u = 0.5 + 0.5 * std::cos(a);
      v.v = 0.5 + 0.5 * std::sin(a);
      rim.push_back(mesh.add(v));
    }
    for (int k = 0; k < segments; ++k) mesh.tri(ci, rim[k], rim[k + 1]);
  }
}

void addCylinderZ(Mesh& mesh, Vec2 c, double radius, double z0, double z1, int segments,
                  bool frontCap, bool backCap) {
  Surface s;
  s.pos = [=](double u, double t) {
    double a = 2 * kPi * u;
    return Vec3{c.x + radius * std::cos(a), c.y + radius * std::sin(a), z0 + (z1 - z0) * t};
  };
  s.normal = [=](double u, double) {
    double a = 2 * kPi * u;
    return Vec3{std::cos(a), std::sin(a), 0};
  };
  s.uvst = [](double u, double t) { return Vec2{u, t}; };
  addSurface(mesh, s, steps(segments), {0.0, 1.0});
  for (int end = 0; end < 2; ++end) {
    if ((end == 0 && !frontCap) || (end == 1 && !backCap)) continue;
    double z = end ? z1 : z0;
    Vertex centre;
    centre.p = {c.x, c.y, z};
    centre.n = {0, 0, end ? 1.0 : -1.0};
    centre.u = centre.v = 0.5;
    int ci = mesh.add(centre);
    std::vector<int> rim;
    for (int k = 0; k <= segments; ++k) {
      double a = 2 * kPi * k / segments;
      Vertex v = centre;
      v.p = {c.x + radius * std::cos(a), c.y + radius * std::sin(a), z};
      v.u = 0.5 + 0.5 * std::cos(a);
      v.v = 0.5 - 0.5 * std::sin(a);
      rim.push_back(mesh.add(v));
    }
    for (int k = 0; k < segments; ++k) mesh.tri(ci, rim[k], rim[k + 1]);
  }
}

// --- A3D writing ---------------------------------------------------------------------------

namespace {
struct Writer {
  std::vector<uint8_t> bytes;
  void i32(int32_t v) {
    uint32_t u = uint32_t(v);
    for (int k = 0; k < 4; ++k) bytes.push_back(uint8_t(u >> (8 * k)));
  }
  void f32(double d) {
    float f = float(d);
    uint32_t u;
    std::memcpy(&u, &f, 4);
    i32(int32_t(u));
  }
  void str(const std::string& s) {
    i32(int32_t(s.size()));
    bytes.insert(bytes.end(), s.begin(), s.end());
  }
};
}  // namespace

bool writeA3D(const Model& model, const std::string& path, std::string* error) {
  Writer w;
  const char header[] = "A3D\n";
  w.bytes.insert(w.bytes.end(), header, header + 4);
  w.i32(int32_t(model.materials.size()));
  for (const auto& m : model.materials) {
    w.str(m.name);
    w.i32(0);
    w.i32(0);
    w.i32(0);
    w.f32(0);
    w.f32(0);
    w.i32(m.blendMode);
    w.i32(m.effectFlags);
    w.f32(0);
    w.f32(0);
  }
  w.i32(int32_t(model.textures.size()));
  for (const auto& t : model.textures) {
    w.str(t.material);
    w.i32(t.layer);
    w.str(t.fileName);
    w.i32(t.layer);
    w.i32(t.layerFlags);
    w.i32(0);
  }
  w.i32(int32_t(model.objects.size()));
  for (const auto& o : model.objects) {
    w.f32(o.position.x);
    w.f32(o.position.y);
    w.f32(o.position.z);
    w.f32(0);
    w.f32(0);
    w.f32(0);
    w.str("");
    w.str(o.name);
    w.i32(int32_t(o.meshes.size()));
    for (const auto& m : o.meshes) {
      w.str(m.material);
      w.i32(int32_t(m.vertices.size()));
      for (const auto& v : m.vertices) {
        w.f32(v.p.x);
        w.f32(v.p.y);
        w.f32(v.p.z);
        w.f32(v.n.x);
        w.f32(v.n.y);
        w.f32(v.n.z);
        w.f32(v.u);
        w.f32(v.v);
        w.f32(0);
        w.f32(v.u);
        w.f32(v.v);
        w.f32(0);
        w.i32(255);
        w.i32(255);
        w.i32(255);
        w.f32(1.0);
      }
      w.i32(int32_t(m.faces.size()));
      for (const auto& f : m.faces) {
        w.i32(f[0]);
        w.i32(f[1]);
        w.i32(f[2]);
      }
    }
  }
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  bool ok = std::fwrite(w.bytes.data(), 1, w.bytes.size(), file) == w.bytes.size();
  ok = std::fclose(file) == 0 && ok;
  if (!ok && error) *error = "write failed: " + path;
  return ok;
}

}  // namespace boxgen
