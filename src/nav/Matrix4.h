#pragma once

// A 4 x 4 single-precision matrix with a type word, and the rotation from a position's
// north-east-down frame to earth-centred axes (x towards 0 N 0 E, y towards 0 N 90 E, z towards
// the north pole).

#include <array>
#include <cstdint>

namespace nav {

struct Matrix4 {
    /// Row by row: element 4 * r + c is row r, column c. Column vectors transform as M * v.
    std::array<float, 16> elements{};
    /// A bit set carried along: a product carries the OR of its operands' words.
    std::uint32_t type_word = 0;

    [[nodiscard]] float at(int row, int column) const {
        return elements[static_cast<std::size_t>(4 * row + column)];
    }
    float& at(int row, int column) { return elements[static_cast<std::size_t>(4 * row + column)]; }
};

/// P = b * a (note the order), accumulated in extended precision, then divided through by
/// P[3][3] unless that is exactly 1 (or 0, which has nothing to divide by).
[[nodiscard]] Matrix4 multiply(const Matrix4& a, const Matrix4& b);

/// Fills `frame` with the rotation whose columns are the north, east and down unit vectors of
/// the position (degrees) in earth-centred axes; type word 1.
void localFrameMatrix(double lat, double lon, Matrix4& frame);

} // namespace nav
