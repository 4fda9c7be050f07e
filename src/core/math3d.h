// The small vector and matrix library of the view and the renderer.
#pragma once

#include "core/mesh.h"

// 16 single-precision floats, row-major: element (row r, column c) at 4r + c.
// Points are column vectors (p' = M p), so the translation is in column 3.
struct Matrix4 {
    float m[16];
};

// The single-precision pi the view code uses everywhere (0x40490FD8).
constexpr float ViewPi = 3.141592f;

void SetIdentity(Matrix4* matrix);
// out = B x A: transforming by out equals transforming by A, then by B.
// out may be A or B.
void MultiplyMatrices(const Matrix4& a, const Matrix4& b, Matrix4* out);
void CopyMatrix(Matrix4* destination, const Matrix4& source);
void AxisAngleMatrix(float angle, float x, float y, float z, Matrix4* out);
void CrossProduct(const Vec3& a, const Vec3& b, Vec3* out);
// Scales to unit length in place (a zero vector stays zero); returns the
// length before scaling.
float Normalise(Vec3* v);
float DotProduct(const Vec3& a, const Vec3& b);
void NormalMatrix(Matrix4* out, const Matrix4& m);
