#include "engine_math.h"

namespace kestrum::engine_detail {

Mat4 Mat4::translation(Vec3d t) {
  Mat4 r;
  r.m[12] = t.x;
  r.m[13] = t.y;
  r.m[14] = t.z;
  return r;
}

Mat4 Mat4::scaling(Vec3d s) {
  Mat4 r;
  r.m[0] = s.x;
  r.m[5] = s.y;
  r.m[10] = s.z;
  return r;
}

Mat4 Mat4::rotationEuler(Vec3d degrees) {
  const double a = toRadians(degrees.x), b = toRadians(degrees.y), c = toRadians(degrees.z);
  const double sa = std::sin(a), ca = std::cos(a);
  const double sb = std::sin(b), cb = std::cos(b);
  const double sc = std::sin(c), cc = std::cos(c);
  Mat4 r;
  r.at(0, 0) = cc * cb;
  r.at(0, 1) = cc * sb * sa - sc * ca;
  r.at(0, 2) = cc * sb * ca + sc * sa;
  r.at(1, 0) = sc * cb;
  r.at(1, 1) = sc * sb * sa + cc * ca;
  r.at(1, 2) = sc * sb * ca - cc * sa;
  r.at(2, 0) = -sb;
  r.at(2, 1) = cb * sa;
  r.at(2, 2) = cb * ca;
  return r;
}

Vec3d Mat4::transformPoint(Vec3d p) const {
  return {at(0, 0) * p.x + at(0, 1) * p.y + at(0, 2) * p.z + at(0, 3),
          at(1, 0) * p.x + at(1, 1) * p.y + at(1, 2) * p.z + at(1, 3),
          at(2, 0) * p.x + at(2, 1) * p.y + at(2, 2) * p.z + at(2, 3)};
}

Vec3d Mat4::transformVector(Vec3d v) const {
  return {at(0, 0) * v.x + at(0, 1) * v.y + at(0, 2) * v.z,
          at(1, 0) * v.x + at(1, 1) * v.y + at(1, 2) * v.z,
          at(2, 0) * v.x + at(2, 1) * v.y + at(2, 2) * v.z};
}

Mat4 Mat4::rotationPart() const {
  Mat4 r;
  for (int col = 0; col < 3; ++col) {
    const Vec3d axis{at(0, col), at(1, col), at(2, col)};
    const double len = length(axis);
    const double inv = len > 0 ? 1.0 / len : 0.0;
    r.at(0, col) = axis.x * inv;
    r.at(1, col) = axis.y * inv;
    r.at(2, col) = axis.z * inv;
  }
  return r;
}

double Mat4::determinant3() const {
  return at(0, 0) * (at(1, 1) * at(2, 2) - at(1, 2) * at(2, 1)) -
         at(0, 1) * (at(1, 0) * at(2, 2) - at(1, 2) * at(2, 0)) +
         at(0, 2) * (at(1, 0) * at(2, 1) - at(1, 1) * at(2, 0));
}

Mat4 operator*(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      double sum = 0;
      for (int k = 0; k < 4; ++k) sum += a.at(row, k) * b.at(k, col);
      r.at(row, col) = sum;
    }
  }
  return r;
}

Mat4 inverse(const Mat4& a) {
  // Gauss-Jordan elimination with partial pivoting on a 4x8 block.
  double w[4][8];
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) {
      w[row][col] = a.at(row, col);
      w[row][col + 4] = row == col ? 1.0 : 0.0;
    }
  }
  for (int col = 0; col < 4; ++col) {
    int pivot = col;
    for (int row = col + 1; row < 4; ++row) {
      if (std::fabs(w[row][col]) > std::fabs(w[pivot][col])) pivot = row;
    }
    if (std::fabs(w[pivot][col]) < 1e-300) return Mat4::identity();
    if (pivot != col) {
      for (int k = 0; k < 8; ++k) std::swap(w[pivot][k], w[col][k]);
    }
    const double inv = 1.0 / w[col][col];
    for (int k = 0; k < 8; ++k) w[col][k] *= inv;
    for (int row = 0; row < 4; ++row) {
      if (row == col) continue;
      const double f = w[row][col];
      if (f == 0) continue;
      for (int k = 0; k < 8; ++k) w[row][k] -= f * w[col][k];
    }
  }
  Mat4 r;
  for (int row = 0; row < 4; ++row) {
    for (int col = 0; col < 4; ++col) r.at(row, col) = w[row][col + 4];
  }
  return r;
}

Vec3d eulerFromRotation(const Mat4& r) {
  // R = Rz(c) * Ry(b) * Rx(a): R20 = -sin b, R21 = cos b sin a, R22 = cos b cos a,
  // R10 = sin c cos b, R00 = cos c cos b.
  const double cosB = std::sqrt(r.at(0, 0) * r.at(0, 0) + r.at(1, 0) * r.at(1, 0));
  const double b = std::atan2(-r.at(2, 0), cosB);
  double a, c;
  if (cosB > 1e-9) {
    a = std::atan2(r.at(2, 1), r.at(2, 2));
    c = std::atan2(r.at(1, 0), r.at(0, 0));
  } else {
    // Gimbal pole: only a - c (or a + c) is defined. With c = 0, R = Ry * Rx, where
    // R11 = cos a and R12 = -sin a whatever the sign of sin b.
    c = 0;
    a = std::atan2(-r.at(1, 2), r.at(1, 1));
  }
  return {toDegrees(a), toDegrees(b), toDegrees(c)};
}

}  // namespace kestrum::engine_detail
