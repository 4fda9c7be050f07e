// The 4x4 matrix and 3-vector operations of the view and the renderer. All
// arithmetic is single precision and in a fixed order, so that the frames the
// renderer draws from these matrices are the same on every target.
#include "core/math3d.h"

#include <cmath>

void SetIdentity(Matrix4* matrix) {
    for (int i = 0; i < 16; ++i) matrix->m[i] = (i % 5 == 0) ? 1.0f : 0.0f;
}

void MultiplyMatrices(const Matrix4& a, const Matrix4& b, Matrix4* out) {
    // Computed into a temporary first: callers pass out == &a or out == &b.
    Matrix4 product;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            product.m[4 * r + c] = b.m[4 * r + 0] * a.m[0 + c] + b.m[4 * r + 1] * a.m[4 + c] +
                                   b.m[4 * r + 2] * a.m[8 + c] + b.m[4 * r + 3] * a.m[12 + c];
        }
    }
    *out = product;
}

void CopyMatrix(Matrix4* destination, const Matrix4& source) { *destination = source; }

void AxisAngleMatrix(float angle, float x, float y, float z, Matrix4* out) {
    const float c = std::cos(angle);
    const float s = std::sin(angle);
    const float t = 1.0f - c;
    float* m = out->m;
    // The unit axes are recognised by exact comparison and get the short
    // forms; any other axis takes the general formula.
    // clang-format off
    if (x == 1.0f) {
        m[0] = 1; m[1] = 0; m[2] = 0;
        m[4] = 0; m[5] = c; m[6] = s;
        m[8] = 0; m[9] = -s; m[10] = c;
    } else if (y == 1.0f) {
        m[0] = c; m[1] = 0; m[2] = -s;
        m[4] = 0; m[5] = 1; m[6] = 0;
        m[8] = s; m[9] = 0; m[10] = c;
    } else if (z == 1.0f) {
        m[0] = c; m[1] = s; m[2] = 0;
        m[4] = -s; m[5] = c; m[6] = 0;
        m[8] = 0; m[9] = 0; m[10] = 1;
    } else {
        m[0] = t * x * x + c;
        m[1] = t * x * y + s * z;
        m[2] = t * x * z - s * y;
        m[4] = t * x * y - s * z;
        m[5] = t * y * y + c;
        m[6] = t * y * z + s * x;
        m[8] = t * x * z + s * y;
        m[9] = t * y * z - s * x;
        m[10] = t * z * z + c;
    }
    // clang-format on
    // clang-format off
    m[3] = 0; m[7] = 0; m[11] = 0;
    m[12] = 0; m[13] = 0; m[14] = 0; m[15] = 1;
    // clang-format on
}

void CrossProduct(const Vec3& a, const Vec3& b, Vec3* out) {
    const Vec3 result{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
    *out = result;
}

float DotProduct(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void NormalMatrix(Matrix4* out, const Matrix4& source) {
    // Copied first so that out may be the source matrix itself.
    const Matrix4 s = source;
    auto M = [&s](int r, int c) { return s.m[4 * r + c]; };
    float* o = out->m;
    o[0] = M(1, 1) * M(2, 2) - M(2, 1) * M(1, 2);
    o[1] = M(1, 2) * M(2, 0) - M(2, 2) * M(1, 0);
    o[2] = M(1, 0) * M(2, 1) - M(2, 0) * M(1, 1);
    o[4] = M(2, 1) * M(0, 2) - M(0, 1) * M(2, 2);
    o[5] = M(2, 2) * M(0, 0) - M(0, 2) * M(2, 0);
    o[6] = M(2, 0) * M(0, 1) - M(0, 0) * M(2, 1);
    o[8] = M(0, 1) * M(1, 2) - M(1, 1) * M(0, 2);
    o[9] = M(0, 2) * M(1, 0) - M(1, 2) * M(0, 0);
    o[10] = M(0, 0) * M(1, 1) - M(1, 0) * M(0, 1);
    // clang-format off
    o[3] = 0; o[7] = 0; o[11] = 0;
    o[12] = 0; o[13] = 0; o[14] = 0; o[15] = 1;
    // clang-format on
    // The cofactors of a rotation scaled by k are the rotation scaled by k*k;
    // dividing by the first column's length gives the rotation back.
    const float length = std::sqrt(o[0] * o[0] + o[4] * o[4] + o[8] * o[8]);
    if (length != 0.0f) {
        const float inverse = 1.0f / length;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) o[4 * r + c] *= inverse;
        }
    }
}
