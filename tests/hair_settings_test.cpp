#include "app/hair_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Shown(const char* format, float value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

TEST(HairSettings, RadiusFromStep) {
    struct Case {
        int step;
        const char* shown;  // as the tool bar's radius field shows it
    };
    const Case cases[] = {{10, "0.000500"}, {20, "0.016000"}, {1, "0.000022"},
                          {11, "0.000707"}, {9, "0.000354"},  {12, "0.001000"}};
    for (const Case& c : cases) {
        EXPECT_EQ(Shown("%8.6f", HairRadiusForStep(BaseRadius, c.step)), c.shown) << c.step;
    }
    EXPECT_EQ(HairRadiusForStep(BaseRadius, 10), BaseRadius);
    // Two steps double the width exactly, odd steps included.
    for (int step = 1; step + 2 <= 20; ++step) {
        EXPECT_EQ(HairRadiusForStep(BaseRadius, step + 2), 2 * HairRadiusForStep(BaseRadius, step)) << step;
    }
}

TEST(HairSettings, StretchFromStep) {
    struct Case {
        int step;
        float value;
        const char* shown;
    };
    const Case cases[] = {{0, 0.0f, "0.000"}, {-10, -1.0f, "-1.000"}, {10, 1.0f, "1.000"},
                          {5, 0.5f, "0.500"}, {3, 0.3f, "0.300"},     {-7, -0.7f, "-0.700"}};
    for (const Case& c : cases) {
        EXPECT_EQ(HairStretchForStep(c.step), c.value) << c.step;
        EXPECT_EQ(Shown("%4.3f", HairStretchForStep(c.step)), c.shown) << c.step;
    }
}

// Arrow presses move the step by one and stop at the ends of the range.
TEST(HairSettings, SteppingIsClamped) {
    struct Case {
        int (*next)(int, int);
        int start, direction, presses, end;
    };
    // clang-format off
    const Case cases[] = {
        {NextRadiusStep, 10, +1, 10, 20}, {NextRadiusStep, 10, +1, 15, 20},
        {NextRadiusStep, 10, -1, 9, 1},   {NextRadiusStep, 10, -1, 30, 1},
        {NextStretchStep, 0, -1, 11, -10}, {NextStretchStep, 0, +1, 10, 10},
        {NextStretchStep, 9, +1, 3, 10},  {NextStretchStep, -10, +1, 1, -9},
    };
    // clang-format on
    for (const Case& c : cases) {
        int step = c.start;
        for (int i = 0; i < c.presses; ++i) step = c.next(step, c.direction);
        EXPECT_EQ(step, c.end) << c.start << " " << c.direction << " x" << c.presses;
    }
    EXPECT_TRUE(IsValidRadiusStep(1) && IsValidRadiusStep(20) && !IsValidRadiusStep(0) && !IsValidRadiusStep(21));
    EXPECT_TRUE(IsValidStretchStep(-10) && IsValidStretchStep(10) && !IsValidStretchStep(-11) &&
                !IsValidStretchStep(11));
}

TEST(HairSettings, Defaults) {
    const HairSettings s = DefaultHairSettings();
    EXPECT_EQ(s.radius, 0.0005f);
    EXPECT_EQ(s.stretch, 0.0f);
    EXPECT_EQ(s.onlyDynamic, 1);
    EXPECT_EQ(s.reduce, 0);
}

}  // namespace
