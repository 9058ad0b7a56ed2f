#include "nav/Matrix4.h"

#include "nav/Geodesy.h"

#include <cmath>

namespace nav {

namespace {

constexpr std::uint32_t kOperandWord = 255; // the matrices built as operands of the frame
constexpr std::uint32_t kFrameWord = 1;     // the finished frame matrix

} // namespace

Matrix4 multiply(const Matrix4& a, const Matrix4& b) {
    Matrix4 p;
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            long double sum = 0.0L;
            for (int k = 0; k < 4; ++k) {
                sum += static_cast<long double>(b.at(r, k)) * static_cast<long double>(a.at(k, c));
            }
            p.at(r, c) = static_cast<float>(sum);
        }
    }
    // Bring the homogeneous scale back to 1. A zero scale (a projection) is left alone: dividing
    // by it would turn every element into infinity or NaN.
    const float w = p.at(3, 3);
    if (w != 1.0f && w != 0.0f) {
        for (float& element : p.elements) {
            element /= w;
        }
    }
    p.type_word = a.type_word | b.type_word;
    return p;
}

void localFrameMatrix(double lat, double lon, Matrix4& frame) {
    const auto phi = static_cast<long double>(lat * kDegToRad);
    const auto lambda = static_cast<long double>(lon * kDegToRad);
    const long double sin_phi = std::sin(phi);
    const long double cos_phi = std::cos(phi);
    const long double sin_lambda = std::sin(lambda);
    const long double cos_lambda = std::cos(lambda);

    Matrix4 l;
    l.elements = {static_cast<float>(cos_lambda * sin_phi),
                  static_cast<float>(-sin_lambda),
                  static_cast<float>(cos_lambda * cos_phi),
                  0.0f,
                  static_cast<float>(sin_lambda * sin_phi),
                  static_cast<float>(cos_lambda),
                  static_cast<float>(sin_lambda * cos_phi),
                  0.0f,
                  static_cast<float>(-cos_phi),
                  0.0f,
                  static_cast<float>(sin_phi),
                  0.0f,
                  0.0f,
                  0.0f,
                  0.0f,
                  1.0f};
    l.type_word = kOperandWord;

    // Turn the columns that point south and up into north and down.
    Matrix4 flip;
    flip.elements = {-1.0f, 0.0f, 0.0f,  0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                     0.0f,  0.0f, -1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};
    flip.type_word = kOperandWord;

    frame = multiply(flip, l);
    frame.type_word = kFrameWord;
}

} // namespace nav
