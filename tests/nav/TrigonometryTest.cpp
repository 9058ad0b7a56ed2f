// The trigonometry of the geodesy against correctly rounded values from an arbitrary-precision
// reference: first the arguments without a value, then those whose last bit glibc or the
// Windows build's C library (Wine's msvcrt for asin and acos, MinGW's x87 code for sin and cos)
// gets wrong, then the edges of each formula's range.

#include "nav/Trigonometry.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <random>
#include <string>

namespace nav {
namespace {

enum class Function { Sin, Cos, Asin, Acos };

double call(Function function, double x) {
    switch (function) {
    case Function::Sin:
        return trig::sin(x);
    case Function::Cos:
        return trig::cos(x);
    case Function::Asin:
        return trig::asin(x);
    case Function::Acos:
        return trig::acos(x);
    }
    return 0.0;
}

double library(Function function, double x) {
    switch (function) {
    case Function::Sin:
        return std::sin(x);
    case Function::Cos:
        return std::cos(x);
    case Function::Asin:
        return std::asin(x);
    case Function::Acos:
        return std::acos(x);
    }
    return 0.0;
}

std::string hex(double x) {
    char text[40];
    std::snprintf(text, sizeof text, "%a", x);
    return text;
}

constexpr auto Sin = Function::Sin;
constexpr auto Cos = Function::Cos;
constexpr auto Asin = Function::Asin;
constexpr auto Acos = Function::Acos;

TEST(Trigonometry, NoValueOutsideTheDomain) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const struct {
        Function function;
        double x;
    } rows[] = {
        {Sin, kInfinity},
        {Cos, -kInfinity},
        {Sin, kNaN},
        {Cos, kNaN},
        {Asin, kNaN},
        {Acos, kNaN},
        {Asin, 0x1.0000000000001p+0},
        {Acos, -0x1.0000000000001p+0},
        {Acos, kInfinity},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(hex(row.x));
        EXPECT_TRUE(std::isnan(call(row.function, row.x)));
    }
}

TEST(Trigonometry, CorrectlyRounded) {
    const struct {
        const char* name;
        Function function;
        double x;
        double expected;
    } rows[] = {
        {"glibc's last bit wrong", Sin, 0x1.939b26a502206p-4, 0x1.92f407ab97c8bp-4},
        {"glibc's last bit wrong", Sin, -0x1.a254917a45704p-1, -0x1.7550abb8a7445p-1},
        {"glibc's last bit wrong", Cos, 0x1.6a70589592f93p-1, 0x1.84fc325a04f55p-1},
        {"glibc's last bit wrong", Cos, -0x1.0ed22f74397d7p-1, 0x1.ba0789550219fp-1},
        {"glibc's last bit wrong", Asin, 0x1.ff33e8fdb6b00p-2, 0x1.0b9f5681a978dp-1},
        {"glibc's last bit wrong", Acos, 0x1.efdd451124912p-1, 0x1.01c35594c3325p-2},
        {"glibc's last bit wrong", Acos, -0x1.f74603e9d2a19p-2, 0x1.0ad398b14926cp+1},
        {"the Windows build's last bit wrong", Sin, -0x1.92394d6baeed4p+3, -0x1.99824b18547b5p-9},
        {"the Windows build's last bit wrong", Cos, -0x1.be3256a678046p-5, 0x1.ff3d9f71d4ba7p-1},
        {"the Windows build's last bit wrong", Asin, 0x1.03c58c10ddbc1p-1, 0x1.1072d24287d97p-1},
        {"the Windows build's last bit wrong", Acos, -0x1.002a872d066aap-1, 0x1.0c216ab54751bp+1},
        {"both wrong", Sin, -0x1.3340b6b80a94bp-1, -0x1.2123f8a42cdcfp-1},
        {"both wrong", Cos, 0x1.473effa7f4520p+1, -0x1.aadd9220849ebp-1},
        {"both wrong", Asin, 0x1.816b9982e0ea0p-4, 0x1.81fdc9612a9f1p-4},
        {"both wrong", Acos, 0x1.da3c893f83a28p-1, 0x1.8bc05c43c239fp-2},
        {"50 degrees", Cos, 0x1.becde5da115a9p-1, 0x1.491b7523c161dp-1},
        {"46 degrees", Sin, 0x1.9b0f58956c202p-1, 0x1.704d4e6a54d38p-1},
        {"pi/2", Sin, 0x1.921fb54442d18p+0, 1.0},
        {"pi/2: the part of pi/2 beyond the double", Cos, 0x1.921fb54442d18p+0,
         0x1.1a62633145c07p-54},
        {"pi", Sin, 0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53},
        {"-3 pi/2", Cos, -0x1.2d97c7f3321d2p+2, -0x1.a79394c9e8a0ap-53},
        {"999.99 degrees, the largest longitude of a fix", Sin, 0x1.173ff8a5778dap+4,
         -0x1.f83cb1392863dp-1},
        {"-0", Sin, -0.0, -0.0},
        {"2^-27", Cos, 0x1p-27, 1.0},
        {"2^-27", Asin, 0x1p-27, 0x1p-27},
        {"-0", Asin, -0.0, -0.0},
        {"1", Acos, 1.0, 0.0},
        {"the largest double below 1", Acos, 0x1.fffffffffffffp-1, 0x1p-26},
        {"1 - 3 2^-53", Acos, 0x1.ffffffffffffdp-1, 0x1.bb67ae8584cabp-26},
        {"-1 + 2^-53", Acos, -0x1.fffffffffffffp-1, 0x1.921fb52442d18p+1},
        {"-1", Acos, -1.0, 0x1.921fb54442d18p+1},
        {"0", Acos, 0.0, 0x1.921fb54442d18p+0},
        {"1/2", Acos, 0.5, 0x1.0c152382d7366p+0},
        {"just above 1/2", Acos, 0x1.0000000000001p-1, 0x1.0c152382d7365p+0},
        {"-1/2", Acos, -0.5, 0x1.0c152382d7366p+1},
        {"just above 1/2", Asin, 0x1.0000000000001p-1, 0x1.0c152382d7367p-1},
        {"-1/2", Asin, -0.5, -0x1.0c152382d7366p-1},
        {"-1", Asin, -1.0, -0x1.921fb54442d18p+0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.name) + " " + hex(row.x));
        const double result = call(row.function, row.x);
        EXPECT_EQ(std::bit_cast<std::uint64_t>(result), std::bit_cast<std::uint64_t>(row.expected))
            << hex(result) << " instead of " << hex(row.expected);
        if (row.function == Sin || row.function == Cos) { // and the two at once
            double sine = 0.0;
            double cosine = 0.0;
            trig::sinCos(row.x, sine, cosine);
            EXPECT_EQ(std::bit_cast<std::uint64_t>(row.function == Sin ? sine : cosine),
                      std::bit_cast<std::uint64_t>(row.expected));
        }
    }
}

// Over the angles of positions and distances, never more than an ulp from the C library: a wrong
// constant or a term missing in one branch shows here, whatever the table above holds. Not near
// the zeros of sine and cosine, where the x87 code that MinGW links in is several ulps off (its
// pi has 66 bits); the table holds those.
TEST(Trigonometry, WithinAnUlpOfTheCLibrary) {
    const struct {
        Function function;
        double from;
        double to;
    } rows[] = {
        {Sin, -20.0, 20.0},    {Cos, -20.0, 20.0},      {Sin, -1e-3, 1e-3},
        {Cos, -1e-3, 1e-3},    {Asin, -1.0, 1.0},       {Acos, -1.0, 1.0},
        {Acos, 0.999999, 1.0}, {Acos, -1.0, -0.999999}, {Asin, -1e-3, 1e-3},
    };
    std::mt19937_64 random(24);
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.from) + " to " + std::to_string(row.to));
        std::uniform_real_distribution<double> argument(row.from, row.to);
        int far = 0;
        for (int n = 0; n < 20000; ++n) {
            const double x = argument(random);
            const double ours = call(row.function, x);
            const double theirs = library(row.function, x);
            if (row.function != Asin && row.function != Acos && std::fabs(theirs) < 1.0 / 64)
                continue;
            if (ours != theirs && std::nextafter(ours, theirs) != theirs && far++ < 5)
                ADD_FAILURE() << hex(x) << ": " << hex(ours) << ", the C library " << hex(theirs);
        }
    }
}

} // namespace
} // namespace nav
