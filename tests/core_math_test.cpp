#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "core/file_name.h"
#include "core/int_math.h"
#include "core/math3d.h"

namespace {

Matrix4 Rows(std::initializer_list<float> values) {
    Matrix4 m{};
    int i = 0;
    for (float v : values) m.m[i++] = v;
    return m;
}

Vec3 Transform(const Matrix4& m, const Vec3& p) {
    return Vec3{m.m[0] * p.x + m.m[1] * p.y + m.m[2] * p.z + m.m[3],
                m.m[4] * p.x + m.m[5] * p.y + m.m[6] * p.z + m.m[7],
                m.m[8] * p.x + m.m[9] * p.y + m.m[10] * p.z + m.m[11]};
}

void ExpectNear(const Matrix4& actual, const Matrix4& expected, float tolerance = 1e-5f) {
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(actual.m[i], expected.m[i], tolerance) << "element " << i;
}

void ExpectNear(const Vec3& a, const Vec3& b, float tolerance = 1e-5f) {
    EXPECT_NEAR(a.x, b.x, tolerance);
    EXPECT_NEAR(a.y, b.y, tolerance);
    EXPECT_NEAR(a.z, b.z, tolerance);
}

TEST(Math3d, NormaliseReturnsLengthAndKeepsZero) {
    struct Case {
        Vec3 in;
        float length;
        Vec3 out;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0.0f, {0, 0, 0}},
        {{3, 0, 4}, 5.0f, {0.6f, 0, 0.8f}},
        {{2, 2, 1}, 3.0f, {2.0f / 3, 2.0f / 3, 1.0f / 3}},
        {{0, -7, 0}, 7.0f, {0, -1, 0}},
    };
    for (const Case& c : cases) {
        Vec3 v = c.in;
        EXPECT_FLOAT_EQ(Normalise(&v), c.length);
        ExpectNear(v, c.out);
    }
}

TEST(Math3d, CrossAndDot) {
    Vec3 out;
    CrossProduct({1, 0, 0}, {0, 1, 0}, &out);
    ExpectNear(out, {0, 0, 1});
    CrossProduct({0, 1, 0}, {1, 0, 0}, &out);
    ExpectNear(out, {0, 0, -1});
    CrossProduct({1, 2, 3}, {4, 5, 6}, &out);
    ExpectNear(out, {-3, 6, -3});
    EXPECT_FLOAT_EQ(DotProduct({1, 2, 3}, {4, -5, 6}), 12.0f);
}

// The matrix turns points by -angle about the axis (column vectors), and the
// unit axes are chosen by exact comparison of the one component.
TEST(Math3d, AxisAngleMatrixForms) {
    const float quarter = ViewPi / 2;
    struct Case {
        float x, y, z;
        Vec3 point, turned;
    };
    const Case cases[] = {
        {1, 0, 0, {0, 1, 0}, {0, 0, -1}},
        {0, 1, 0, {0, 0, 1}, {-1, 0, 0}},
        {0, 0, 1, {1, 0, 0}, {0, -1, 0}},
        // x equal to 1 wins even when the other components are not 0.
        {1, 5, 7, {0, 1, 0}, {0, 0, -1}},
        // The general formula about -z agrees with the short z form turned back.
        {0, 0, -1.0f, {1, 0, 0}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        Matrix4 m;
        AxisAngleMatrix(quarter, c.x, c.y, c.z, &m);
        ExpectNear(Transform(m, c.point), c.turned);
        EXPECT_EQ(m.m[3], 0.0f);
        EXPECT_EQ(m.m[12], 0.0f);
        EXPECT_EQ(m.m[15], 1.0f);
    }
    // The general formula for a unit axis off the coordinate axes.
    const float k = 1.0f / std::sqrt(3.0f);
    Matrix4 general, third;
    AxisAngleMatrix(2 * ViewPi / 3, k, k, k, &general);
    ExpectNear(Transform(general, {1, 0, 0}), {0, 0, 1}, 1e-4f);
    MultiplyMatrices(general, general, &third);
    MultiplyMatrices(third, general, &third);
    Matrix4 identity;
    SetIdentity(&identity);
    ExpectNear(third, identity, 1e-4f);
}

TEST(Math3d, MultiplyAppliesAThenBAndAllowsAliasing) {
    const Matrix4 translate = Rows({1, 0, 0, 1, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    Matrix4 rotate;
    AxisAngleMatrix(-ViewPi / 2, 0, 0, 1, &rotate);  // +90 degrees about z
    const Vec3 origin{0, 0, 0};

    Matrix4 a = translate;
    MultiplyMatrices(a, rotate, &a);  // out is A
    ExpectNear(Transform(a, origin), {0, 1, 0});

    Matrix4 b = rotate;
    MultiplyMatrices(translate, b, &b);  // out is B
    ExpectNear(Transform(b, origin), {0, 1, 0});

    Matrix4 other;
    MultiplyMatrices(rotate, translate, &other);  // rotate first, then translate
    ExpectNear(Transform(other, origin), {1, 0, 0});
}

TEST(Math3d, CopyAndIdentity) {
    Matrix4 m = Rows({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    Matrix4 copy;
    CopyMatrix(&copy, m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(copy.m[i], m.m[i]);
    SetIdentity(&m);
    for (int i = 0; i < 16; ++i) EXPECT_EQ(m.m[i], i % 5 == 0 ? 1.0f : 0.0f);
}

TEST(Math3d, NormalMatrixOfScaledRotationIsTheRotation) {
    Matrix4 rotation;
    AxisAngleMatrix(0.7f, 0.6f, 0.0f, 0.8f, &rotation);
    Matrix4 scaled = rotation;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) scaled.m[4 * r + c] *= 3.0f;
    }
    scaled.m[3] = 5.0f;  // a translation does not reach the normals
    Matrix4 normal;
    NormalMatrix(&normal, scaled);
    ExpectNear(normal, rotation);

    // In place, and a singular matrix is left unscaled rather than divided by 0.
    NormalMatrix(&scaled, scaled);
    ExpectNear(scaled, rotation);
    Matrix4 zero{};
    NormalMatrix(&normal, zero);
    for (int i = 0; i < 15; ++i) EXPECT_EQ(normal.m[i], 0.0f);
    EXPECT_EQ(normal.m[15], 1.0f);
}

TEST(Math3d, NormalMatrixOfNonUniformScaleKeepsNormalsPerpendicular) {
    // Scale x by 2: the plane x + y = 1 has normal (1, 1, 0); after scaling it is
    // x/2 + y = 1 with normal (1, 2, 0).
    const Matrix4 scale = Rows({2, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
    Matrix4 normal;
    NormalMatrix(&normal, scale);
    Vec3 n = Transform(normal, {1, 1, 0});
    Normalise(&n);
    Vec3 expected{1, 2, 0};
    Normalise(&expected);
    ExpectNear(n, expected);
}

}  // namespace

TEST(IntMath, TruncateSaturatedAtTheEndsOfTheRange) {
    const float inf = std::numeric_limits<float>::infinity();
    const int32_t top = std::numeric_limits<int32_t>::max(), bottom = std::numeric_limits<int32_t>::min();
    const struct {
        float value;
        int32_t expected;
    } cases[] = {
        {std::numeric_limits<float>::quiet_NaN(), 0},
        {-std::numeric_limits<float>::quiet_NaN(), 0},
        {inf, top},
        {-inf, bottom},
        {2147483648.0f, top},         // 2^31
        {-2147483648.0f, bottom},     // -2^31
        {2147483520.0f, 2147483520},  // the largest float below 2^31
        {-2147483520.0f, -2147483520},
        {1e30f, top},
        {-1e30f, bottom},
        {7.9f, 7},
        {-7.9f, -7},
        {-0.5f, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TruncateSaturated(c.value), c.expected) << c.value;
    }
}

TEST(FileName, AfterTheLastSeparatorOfEitherKind) {
    const struct {
        const char* path;
        const char* expected;
    } cases[] = {
        {"", ""},
        {"a.obj", "a.obj"},
        {"d/a.obj", "a.obj"},
        {"d\\e/a.obj", "a.obj"},
        {"d/e\\a", "a"},
        {"c:a.obj", "c:a.obj"},
        {"d/", ""},
        {"/", ""},
        {"..\\.x", ".x"},
        {"C:\\My Hair\\a b.obj", "a b.obj"},
    };
    for (const auto& c : cases) EXPECT_STREQ(FileNameOf(c.path), c.expected) << c.path;
}
