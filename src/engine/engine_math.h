// Small vector and matrix helpers of the engine (internal).
//
// Matrices are 4x4, stored column-major (m[column * 4 + row]) as OpenGL expects, and act on
// column vectors: p' = M * p. A node's world matrix is parent world * local, and its local
// matrix is T * Rz * Ry * Rx * S, so a point is scaled, turned about x, then y, then z (about
// the parent's fixed axes), then moved. The rotation matrices are the usual ones; in this
// left-handed, y-up frame a positive angle turns clockwise when seen from the positive end of
// the axis (positive x tilts +z down, positive y turns +z towards +x).
#pragma once

#include <cmath>

namespace kestrum::engine_detail {

struct Vec3d {
  double x = 0, y = 0, z = 0;
};

inline Vec3d operator+(Vec3d a, Vec3d b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3d operator-(Vec3d a, Vec3d b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3d operator*(Vec3d a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
inline double dot(Vec3d a, Vec3d b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double length(Vec3d a) {
  return std::sqrt(dot(a, a));
}

constexpr double kPi = 3.14159265358979323846;
inline double toRadians(double degrees) {
  return degrees * (kPi / 180.0);
}
inline double toDegrees(double radians) {
  return radians * (180.0 / kPi);
}

struct Mat4 {
  double m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

  double& at(int row, int col) { return m[col * 4 + row]; }
  double at(int row, int col) const { return m[col * 4 + row]; }

  static Mat4 identity() { return {}; }
  static Mat4 translation(Vec3d t);
  static Mat4 scaling(Vec3d s);
  // Rotation by Euler angles in degrees: about x, then y, then z (R = Rz * Ry * Rx).
  static Mat4 rotationEuler(Vec3d degrees);

  Vec3d transformPoint(Vec3d p) const;
  Vec3d transformVector(Vec3d v) const;
  Vec3d translationPart() const { return {m[12], m[13], m[14]}; }
  // The 3x3 part's columns normalised (scale removed), translation dropped.
  Mat4 rotationPart() const;
  double determinant3() const;
};

Mat4 operator*(const Mat4& a, const Mat4& b);
// General inverse; the identity when the matrix is singular.
Mat4 inverse(const Mat4& a);

// Euler angles (degrees, in the order of Mat4::rotationEuler) of a pure rotation matrix. Near
// the gimbal poles (y = +-90) z is taken as 0 and x carries the whole turn about the vertical,
// so that rotationEuler(eulerFromRotation(R)) == R there too.
Vec3d eulerFromRotation(const Mat4& r);

}  // namespace kestrum::engine_detail
