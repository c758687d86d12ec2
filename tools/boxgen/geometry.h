// Geometry for the box-style generator: vectors, meshes with materials, A3D writing, and the
// surface builders the twenty styles are made of (grids, rounded boxes, extruded outlines,
// rings and cylinders).
//
// Builders append to a Mesh; nothing here fails except writeA3D, which returns false with the
// reason when the file cannot be written.
#pragma once

#include <array>
#include <deque>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace boxgen {

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(Vec3 a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline Vec3 operator*(double s, Vec3 a) {
  return a * s;
}
inline Vec3 operator-(Vec3 a) {
  return {-a.x, -a.y, -a.z};
}
inline double dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double length(Vec3 a) {
  return std::sqrt(dot(a, a));
}
inline Vec3 normalize(Vec3 a) {
  double l = length(a);
  return l > 1e-12 ? a * (1.0 / l) : Vec3{0, 0, 0};
}

struct Vec2 {
  double x = 0, y = 0;
};

struct Vertex {
  Vec3 p;
  Vec3 n;
  double u = 0, v = 0;
};

// A triangle mesh drawn with one material.
struct Mesh {
  std::string material;
  std::vector<Vertex> vertices;
  std::vector<std::array<int, 3>> faces;

  int add(const Vertex& v) {
    vertices.push_back(v);
    return int(vertices.size()) - 1;
  }
  // Adds a triangle; its corners are put in the engine's front-face order, taken from the
  // vertices' own normals.
  void tri(int a, int b, int c);
  void quad(int a, int b, int c, int d) {
    tri(a, b, c);
    tri(a, c, d);
  }
};

struct Object {
  std::string name;
  Vec3 position;
  std::deque<Mesh> meshes;  // a deque: references to meshes stay valid as more are added
};

struct Material {
  std::string name;
  int blendMode = 0;
  int effectFlags = 0;
};

struct TextureRecord {
  std::string material;
  int layer = 0;
  std::string fileName;
  int layerFlags = 0;
};

struct Model {
  std::vector<Material> materials;
  std::vector<TextureRecord> textures;
  std::deque<Object> objects;

  // The mesh of `object` drawn with `material`, made on first use.
  Mesh& mesh(const std::string& object, const std::string& material);
  void transform(const std::function<Vec3(Vec3)>& point, const std::function<Vec3(Vec3)>& normal);
  void bounds(Vec3* lo, Vec3* hi) const;
};

bool writeA3D(const Model& model, const std::string& path, std::string* error);

// Affine helpers for placing parts.
Vec3 rotateY(Vec3 p, double degrees);
Vec3 rotateX(Vec3 p, double degrees);
Vec3 rotateZ(Vec3 p, double degrees);
// Applies point/normal maps to the vertices of `mesh` from index `first` on.
void transformFrom(Mesh& mesh, size_t first, const std::function<Vec3(Vec3)>& point,
                   const std::function<Vec3(Vec3)>& normal);

using UvFn = std::function<Vec2(Vec3 p)>;

// The standard upright, unmirrored picture on a face whose outward normal is `n` and whose
// picture top points along `up`: u runs to the viewer's right, v downwards, over the face's
// extent [lo, hi].
UvFn pictureUv(Vec3 n, Vec3 up, Vec3 lo, Vec3 hi);

// A parametric surface over s, t in [0, 1]; `ss` and `ts` are the parameter breakpoints.
// Normals come from `normal` when given, else from finite differences, turned towards `outward`.
struct Surface {
  std::function<Vec3(double s, double t)> pos;
  std::function<Vec3(double s, double t)> normal;   // optional
  std::function<Vec3(double s, double t)> outward;  // optional orientation hint
  UvFn uv;
  std::function<Vec2(double s, double t)> uvst;  // optional, instead of uv
};
void addSurface(Mesh& mesh, const Surface& surface, const std::vector<double>& ss,
                const std::vector<double>& ts);
// Breakpoints 0..1 in `n` equal steps.
std::vector<double> steps(int n);

// A box of half extents `half` centred at `centre`, its edges rounded with radius `radius`.
// Each face is one of the six faces (index: 0 -x, 1 +x, 2 -y, 3 +y, 4 -z, 5 +z); `mesh` picks the
// mesh a face goes into and `uv` its mapping. `bulge` (optional) pushes points of a face outward
// by the returned amount, for curved faces.
struct BoxFace {
  Mesh* mesh = nullptr;
  UvFn uv;
  int divisions = 1;  // flat part subdivisions, more for bulging faces
  std::function<double(double s, double t)> bulge;
};
void addRoundedBox(Vec3 centre, Vec3 half, double radius, std::array<BoxFace, 6> faces,
                   int roundSegments = 3);
Vec3 faceNormal(int face);
Vec3 faceUp(int face);

// A closed outline in the xy plane (counter-clockwise seen from -z), extruded from z0 to z1.
// Caps are triangulated (ear clipping); `side(i)` gives the mesh for the wall after point i and
// `sideUv` its mapping (nullptr skips that segment).
struct Outline {
  std::vector<Vec2> points;
  std::vector<Vec2> normals;  // outward wall normals per point, for smooth walls
};
Outline roundedRect(double x0, double y0, double x1, double y1, std::array<double, 4> radii,
                    int segments = 8);  // radii: (x0,y0), (x1,y0), (x1,y1), (x0,y1)
Outline circle(Vec2 centre, double radius, int segments);
void addCap(Mesh& mesh, const std::vector<Vec2>& polygon, double z, bool facingMinusZ,
            const UvFn& uv);
void addWalls(const Outline& outline, double z0, double z1,
              const std::function<Mesh*(int index, Vec2 normal)>& meshFor, const UvFn& uv,
              int zSteps = 1, std::function<double(double t)> swell = nullptr);
// A flat ring between two concentric circles (same segment count) at depth z.
void addRing(Mesh& mesh, Vec2 centre, double r0, double r1, double z, bool facingMinusZ,
             int segments, const UvFn& uv);
// A cylinder along y from y0 to y1, with caps.
void addCylinderY(Mesh& mesh, Vec2 centreXZ, double radius, double y0, double y1, int segments,
                  bool caps);
// A cylinder along z from z0 to z1 with a front cap at z0.
void addCylinderZ(Mesh& mesh, Vec2 centreXY, double radius, double z0, double z1, int segments,
                  bool frontCap, bool backCap);

}  // namespace boxgen
