#include "nav/Matrix4.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using nav::Matrix4;

Matrix4 fromRows(std::array<float, 16> elements, std::uint32_t word) {
    Matrix4 m;
    m.elements = elements;
    m.type_word = word;
    return m;
}

TEST(Matrix4, MultiplyReturnsTheSecondTimesTheFirst) {
    const Matrix4 a = fromRows({1, 2, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 4);
    const Matrix4 b = fromRows({1, 0, 0, 0, 3, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 1);
    const Matrix4 p = nav::multiply(a, b); // b * a
    const std::array<float, 16> expected{1, 2, 0, 0, 3, 7, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    EXPECT_EQ(p.elements, expected);
    EXPECT_EQ(p.type_word, 5U);
}

TEST(Matrix4, MultiplyDividesThroughByTheBottomRightElement) {
    struct Row {
        const char* name;
        float scale; // of the bottom-right element of the product
        float expected_first;
        float expected_last;
    };
    const Row rows[] = {
        {"two: everything halved", 2.0f, 1.5f, 1.0f},
        {"one: unchanged", 1.0f, 3.0f, 1.0f},
        {"zero: nothing to divide by, unchanged", 0.0f, 3.0f, 0.0f},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Matrix4 a = fromRows({3, 0, 0, 0, 0, 4, 0, 0, 0, 0, 5, 0, 0, 0, 0, row.scale}, 255);
        const Matrix4 identity = fromRows({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, 255);
        const Matrix4 p = nav::multiply(a, identity);
        EXPECT_EQ(p.at(0, 0), row.expected_first);
        EXPECT_EQ(p.at(3, 3), row.expected_last);
        EXPECT_EQ(p.at(1, 1) * row.expected_first,
                  4.0f * row.expected_first * row.expected_first / 3.0f);
        EXPECT_EQ(p.type_word, 255U);
    }
}

// The columns of the frame are the north, east and down unit vectors of the position in
// earth-centred axes (x to 0 N 0 E, y to 0 N 90 E, z to the north pole).
TEST(Matrix4, LocalFrameColumnsPointNorthEastAndDown) {
    const double positions[][2] = {
        {0.0, 0.0}, {90.0, 0.0}, {47.3, 8.5}, {-33.9, 151.2}, {60.0, -120.0}};
    for (const auto& position : positions) {
        const double lat = position[0];
        const double lon = position[1];
        SCOPED_TRACE(testing::Message() << lat << ' ' << lon);
        Matrix4 frame;
        frame.type_word = 77;
        nav::localFrameMatrix(lat, lon, frame);
        const double phi = lat * 0.017453292519943295;
        const double lambda = lon * 0.017453292519943295;
        const double north[3] = {-std::sin(phi) * std::cos(lambda),
                                 -std::sin(phi) * std::sin(lambda), std::cos(phi)};
        const double east[3] = {-std::sin(lambda), std::cos(lambda), 0.0};
        const double down[3] = {-std::cos(phi) * std::cos(lambda),
                                -std::cos(phi) * std::sin(lambda), -std::sin(phi)};
        for (int r = 0; r < 3; ++r) {
            EXPECT_NEAR(frame.at(r, 0), north[r], 1e-7);
            EXPECT_NEAR(frame.at(r, 1), east[r], 1e-7);
            EXPECT_NEAR(frame.at(r, 2), down[r], 1e-7);
            EXPECT_EQ(frame.at(r, 3), 0.0f);
            EXPECT_EQ(frame.at(3, r), 0.0f);
        }
        EXPECT_EQ(frame.at(3, 3), 1.0f);
        EXPECT_EQ(frame.type_word, 1U);
    }
}

TEST(Matrix4, LocalFrameAtTheOrigin) {
    Matrix4 frame;
    nav::localFrameMatrix(0.0, 0.0, frame);
    const std::array<float, 16> expected{0, 0, -1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1};
    for (std::size_t k = 0; k < 16; ++k) {
        EXPECT_FLOAT_EQ(frame.elements[k], expected[k]) << k; // -0 equals 0
    }
}

} // namespace
