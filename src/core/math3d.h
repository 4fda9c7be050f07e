// The small vector and matrix library of the view and the renderer.
#pragma once

#include <cmath>

#include "core/mesh.h"

// 16 single-precision floats, row-major: element (row r, column c) at 4r + c.
// Points are column vectors (p' = M p), so the translation is in column 3.
struct Matrix4 {
    float m[16];
};

// The single-precision pi the view code uses everywhere (0x40490FD8).
constexpr float ViewPi = 3.141592f;

// None of these allocate or fail; non-finite inputs give non-finite results
// and nothing worse, so values read from a file may reach them.
void SetIdentity(Matrix4* matrix);
// out = B x A: transforming by out equals transforming by A, then by B.
// out may be A or B.
void MultiplyMatrices(const Matrix4& a, const Matrix4& b, Matrix4* out);
void CopyMatrix(Matrix4* destination, const Matrix4& source);
// The rotation by `angle` radians about the axis (x, y, z), which must be of
// unit length for a rotation (it is not normalised here). An axis with a
// component exactly 1
// takes the short form, so the view's rotations about the coordinate axes
// carry exact zeros.
void AxisAngleMatrix(float angle, float x, float y, float z, Matrix4* out);
// out = a x b; out may be a or b.
void CrossProduct(const Vec3& a, const Vec3& b, Vec3* out);
// Scales to unit length in place (a zero vector stays zero); returns the
// length before scaling. Inline: the loads call it for every face slot and
// every vertex.
inline float Normalise(Vec3* v) {
    const float length = std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z);
    if (length != 0.0f) {
        const float inverse = 1.0f / length;
        v->x *= inverse;
        v->y *= inverse;
        v->z *= inverse;
    }
    return length;
}
float DotProduct(const Vec3& a, const Vec3& b);
// The matrix that turns normals with `m`: the cofactors of its upper 3x3
// divided by the length of their first column, translation dropped. For the
// view's matrices (a rotation times a uniform scale) that is the rotation
// itself. out may be m.
void NormalMatrix(Matrix4* out, const Matrix4& m);
