#include "nav/Trigonometry.h"

#include <array>
#include <cmath>

// Everything below is plain IEEE double arithmetic in a fixed order. The build compiles this
// library without contraction into fused multiply-adds (which some machines have and others
// lack), since the exact products of Dekker's method rely on every product being rounded.
//
// Each function tries first with a result good to about 2^-64 and takes it when every value
// within its error bound rounds to the same double; otherwise (one argument in some hundreds) it
// computes again in double-double. Sine and cosine reduce the argument by quarter turns and then
// by whole 1/64 radians from a table; the arcs take a Newton step on the sine.

namespace nav::trig {

namespace {

// A double-double: the unevaluated sum hi + lo with |lo| at most half an ulp of hi, about 106
// bits of precision. Each operation below is good to about 2^-104 of its result.
struct Dd {
    double hi;
    double lo;
};

// a + b exactly (Knuth).
Dd twoSum(double a, double b) {
    const double s = a + b;
    const double v = s - a;
    return {s, (a - (s - v)) + (b - v)};
}

// a + b exactly, for |a| >= |b| or a == 0 (Dekker).
Dd fastTwoSum(double a, double b) {
    const double s = a + b;
    return {s, b - (s - a)};
}

// a * b exactly, by splitting each factor into two halves of 26 bits (Dekker). Enough for the
// magnitudes met here (far below 2^996).
Dd twoProduct(double a, double b) {
    constexpr double kSplit = 134217729.0; // 2^27 + 1
    const double ta = kSplit * a;
    const double a_hi = ta - (ta - a);
    const double a_lo = a - a_hi;
    const double tb = kSplit * b;
    const double b_hi = tb - (tb - b);
    const double b_lo = b - b_hi;
    const double p = a * b;
    return {p, ((a_hi * b_hi - p) + a_hi * b_lo + a_lo * b_hi) + a_lo * b_lo};
}

Dd operator-(Dd a) {
    return {-a.hi, -a.lo};
}

Dd operator+(Dd a, Dd b) {
    const Dd s = twoSum(a.hi, b.hi);
    const Dd t = twoSum(a.lo, b.lo);
    const Dd u = fastTwoSum(s.hi, s.lo + t.hi);
    return fastTwoSum(u.hi, u.lo + t.lo);
}

Dd operator-(Dd a, Dd b) {
    return a + -b;
}

Dd operator*(Dd a, Dd b) {
    const Dd p = twoProduct(a.hi, b.hi);
    return fastTwoSum(p.hi, p.lo + (a.hi * b.lo + a.lo * b.hi));
}

Dd operator*(Dd a, double b) {
    const Dd p = twoProduct(a.hi, b);
    return fastTwoSum(p.hi, p.lo + a.lo * b);
}

Dd operator/(Dd a, Dd b) {
    const double q1 = a.hi / b.hi;
    const Dd r1 = a - b * q1;
    const double q2 = r1.hi / b.hi;
    const Dd r2 = r1 - b * q2;
    return fastTwoSum(q1, q2) + Dd{r2.hi / b.hi, 0.0};
}

double rounded(Dd a) {
    return a.hi + a.lo;
}

// Nearest integer of v, halves away from zero, for |v| < 2^62 (a truncating conversion: the
// same instruction everywhere, where floor or nearbyint would be library calls).
double nearestInteger(double v) {
    return static_cast<double>(static_cast<long long>(v + (v < 0.0 ? -0.5 : 0.5)));
}

constexpr Dd kPi{0x1.921fb54442d18p+1, 0x1.1a62633145c07p-53};
constexpr Dd kHalfPi{0x1.921fb54442d18p+0, 0x1.1a62633145c07p-54};
constexpr double kQuarterPi = 0x1.921fb54442d18p-1; // rounded down
constexpr double kTwoOverPi = 0x1.45f306dc9c883p-1;
// pi / 2 in parts of 30 bits (210 bits in all): k times each part is exact for k < 2^23.
constexpr double kHalfPiParts[] = {0x1.921fb54p+0,   0x1.10b46118p-30, 0x1.313198ap-61,
                                   0x1.701b8398p-92, 0x1.129024ep-123, 0x1.114cf988p-156,
                                   0x1.a0105dfp-186};
// Beyond this the reduction above is no longer exact; no angle of this system comes near.
constexpr double kReductionLimit = 0x1p22;
// Below this sin x and asin x round to x, and cos x to 1.
constexpr double kTiny = 0x1p-27;

// 1 / n! as double-doubles, n = 0 ... 11.
constexpr Dd kInverseFactorial[] = {
    {1.0, 0.0},
    {1.0, 0.0},
    {0x1p-1, 0.0},
    {0x1.5555555555555p-3, 0x1.5555555555555p-57},
    {0x1.5555555555555p-5, 0x1.5555555555555p-59},
    {0x1.1111111111111p-7, 0x1.1111111111111p-63},
    {0x1.6c16c16c16c17p-10, -0x1.f49f49f49f49fp-65},
    {0x1.a01a01a01a01ap-13, 0x1.a01a01a01a01ap-73},
    {0x1.a01a01a01a01ap-16, 0x1.a01a01a01a01ap-76},
    {0x1.71de3a556c734p-19, -0x1.c154f8ddc6c00p-73},
    {0x1.27e4fb7789f5cp-22, 0x1.cbbc05b4fa99ap-76},
    {0x1.ae64567f544e4p-26, -0x1.c062e06d1f209p-80},
};

struct SinCos {
    Dd sin;
    Dd cos;
};

// The table of sines and cosines at whole steps of 1/64 radian, up to just past pi/4 + 1/128.
constexpr int kStepsPerRadian = 64;
constexpr int kTableSize = 52;

// Sine and cosine of a (|a| < 0.82) by their Taylor series, nested from the 31st power on,
// whose first omitted term is below 2^-120 of the result. For the table only: 30 steps.
SinCos taylorSinCos(double a) {
    const Dd z = twoProduct(a, a);
    Dd s{1.0, 0.0}; // sin a / a
    Dd c{1.0, 0.0};
    for (int n = 15; n >= 1; --n) {
        const auto k = static_cast<double>(2 * n);
        s = Dd{1.0, 0.0} - z * s / Dd{k * (k + 1.0), 0.0};
        c = Dd{1.0, 0.0} - z * c / Dd{(k - 1.0) * k, 0.0};
    }
    return {s * a, c};
}

const std::array<SinCos, kTableSize>& table() {
    static const std::array<SinCos, kTableSize> values = [] {
        std::array<SinCos, kTableSize> t{};
        for (std::size_t j = 0; j < t.size(); ++j)
            t[j] = taylorSinCos(static_cast<double>(j) / kStepsPerRadian);
        return t;
    }();
    return values;
}

// Sine and cosine of r, |r| <= pi/4 + 2^-20, to within 2^-64 of each (the rounding of the few
// doubles, added up at their worst; the test allows 2^-62), the first try: r = a + b
// with a a whole number of 1/64 radian from the table and |b| <= 1/128, so that sin b - b and
// cos b - 1 (below 8e-8 and 3.1e-5) need only doubles; only a's sine and cosine times b's
// first term are products to be kept exactly.
SinCos sinCosFast(Dd r) {
    const double j = nearestInteger(r.hi * kStepsPerRadian);
    // r.hi and j / 64 are within 1/128 of each other, so their difference is exact.
    const double b = r.hi - j / kStepsPerRadian;
    const double z = b * b;
    const Dd* f = kInverseFactorial;
    const double sin_tail = r.lo + b * z * (-f[3].hi + z * (f[5].hi - z * f[7].hi));
    const double cos_tail = z * (-0.5 + z * (f[4].hi - z * f[6].hi)) - b * r.lo;
    if (j == 0.0)
        return {fastTwoSum(b, sin_tail), fastTwoSum(1.0, cos_tail)};
    const SinCos& at = table()[static_cast<std::size_t>(std::fabs(j))];
    const Dd sin_a = j < 0.0 ? -at.sin : at.sin;
    const Dd& cos_a = at.cos;
    // sin(a + b) = sin a (1 + cos_tail) + cos a (b + sin_tail)
    const Dd p = twoProduct(cos_a.hi, b);
    const Dd s = twoSum(sin_a.hi, p.hi);
    const double s_tail =
        p.lo + sin_a.lo + sin_a.hi * cos_tail + cos_a.hi * sin_tail + cos_a.lo * b;
    // cos(a + b) = cos a (1 + cos_tail) - sin a (b + sin_tail)
    const Dd q = twoProduct(sin_a.hi, b);
    const Dd c = twoSum(cos_a.hi, -q.hi);
    const double c_tail =
        -q.lo + cos_a.lo + cos_a.hi * cos_tail - sin_a.hi * sin_tail - sin_a.lo * b;
    return {fastTwoSum(s.hi, s.lo + s_tail), fastTwoSum(c.hi, c.lo + c_tail)};
}

// The same to within about 2^-104, when the first try cannot tell how its result rounds: the
// short series need only their first terms in double-double.
SinCos sinCosNear(Dd r) {
    const double j = nearestInteger(r.hi * kStepsPerRadian);
    const Dd b = twoSum(r.hi - j / kStepsPerRadian, r.lo); // the difference exact, as above
    const Dd z = b * b;
    const Dd* f = kInverseFactorial;

    // sin b = b (1 - z/3! + z^2/5! - z^3/7! + z^4/9! - z^5/11!); the last two terms are below
    // 2^-70 of the result and are summed in doubles.
    double tail = f[9].hi - z.hi * f[11].hi;
    Dd series = -f[7] + z * tail;
    series = f[5] + z * series;
    series = -f[3] + z * series;
    const Dd sin_b = b + b * z * series;

    // cos b = 1 - z/2! + z^2/4! - z^3/6! + z^4/8! - z^5/10!
    tail = f[8].hi - z.hi * f[10].hi;
    series = -f[6] + z * tail;
    series = f[4] + z * series;
    series = -f[2] + z * series;
    const Dd cos_b = Dd{1.0, 0.0} + z * series;

    if (j == 0.0)
        return {sin_b, cos_b};
    const SinCos& at = table()[static_cast<std::size_t>(std::fabs(j))];
    const Dd sin_a = j < 0.0 ? -at.sin : at.sin;
    return {sin_a * cos_b + at.cos * sin_b, at.cos * cos_b - sin_a * sin_b};
}

struct Reduced {
    Dd r;     // x - k pi / 2, |r| <= pi/4 + 2^-20
    double k; // the quarter turns taken off
    [[nodiscard]] int quadrant() const { return static_cast<int>(static_cast<long long>(k) & 3); }
};

// x less a whole number of quarter turns, |x| < kReductionLimit. The first part's product
// cancels exactly against x. Fast: the next three parts summed in doubles, to within
// |k| 2^-110; else all of them in double-double.
Reduced reduce(double x, bool fast) {
    if (std::fabs(x) <= kQuarterPi)
        return {{x, 0.0}, 0.0};
    const double k = nearestInteger(x * kTwoOverPi);
    Dd r = twoSum(x - k * kHalfPiParts[0], -k * kHalfPiParts[1]);
    if (fast)
        return {twoSum(r.hi, r.lo - k * kHalfPiParts[2] - k * kHalfPiParts[3]), k};
    for (std::size_t n = 2; n < std::size(kHalfPiParts); ++n)
        r = r + Dd{-k * kHalfPiParts[n], 0.0};
    return {r, k};
}

// Whether every value within `bound` of v rounds to the same double as v, so that v's rounding
// is the correctly rounded result.
bool roundsSafely(Dd v, double bound) {
    return v.hi + (v.lo + bound) == v.hi + (v.lo - bound);
}

// sin r in quadrant 0 to 3 (of r + quadrant pi / 2).
Dd inQuadrant(const SinCos& at, int quadrant) {
    switch (quadrant & 3) {
    case 0:
        return at.sin;
    case 1:
        return at.cos;
    case 2:
        return -at.sin;
    default:
        return -at.cos;
    }
}

// The sine and the cosine of x, each when asked for (null: not). cos x is sin(x + pi/2): one
// quadrant on.
void sinAndCos(double x, double* sine, double* cosine) {
    const double magnitude = std::fabs(x);
    if (magnitude < kTiny) {
        if (sine != nullptr)
            *sine = x;
        if (cosine != nullptr)
            *cosine = 1.0;
        return;
    }
    if (!(magnitude < kReductionLimit)) {
        const bool finite = std::isfinite(x);
        if (sine != nullptr)
            *sine = finite ? std::sin(x) : x - x; // NaN
        if (cosine != nullptr)
            *cosine = finite ? std::cos(x) : x - x;
        return;
    }
    const Reduced fast = reduce(x, true);
    const SinCos at = sinCosFast(fast.r);
    const double reduction_error = 0x1p-110 * std::fabs(fast.k);
    bool exact_needed = false;
    for (const int turn : {0, 1}) {
        double* result = turn == 0 ? sine : cosine;
        if (result == nullptr)
            continue;
        const Dd v = inQuadrant(at, fast.quadrant() + turn);
        if (roundsSafely(v, 0x1p-62 * std::fabs(v.hi) + reduction_error))
            *result = rounded(v);
        else
            exact_needed = true;
    }
    if (!exact_needed)
        return;
    const Reduced exact = reduce(x, false);
    const SinCos near = sinCosNear(exact.r);
    if (sine != nullptr)
        *sine = rounded(inQuadrant(near, exact.quadrant()));
    if (cosine != nullptr)
        *cosine = rounded(inQuadrant(near, exact.quadrant() + 1));
}

// The series of asin x / x - 1 in powers of z = x^2, 26 terms: for |x| <= 1/2 its remainder
// is below 2^-58. Coefficient n (from 0) is (2n+2)! / (4^(n+1) ((n+1)!)^2 (2n+3)).
constexpr std::array<double, 26> kArcSineSeries = [] {
    std::array<double, 26> a{};
    double central = 1.0; // (2n)! / (4^n (n!)^2)
    for (std::size_t n = 1; n <= a.size(); ++n) {
        const auto m = static_cast<double>(n);
        central = central * (2.0 * m - 1.0) / (2.0 * m);
        a[n - 1] = central / (2.0 * m + 1.0);
    }
    return a;
}();

// A first value of asin s for |s| <= 1/2 from the series, a few ulps off.
double arcSineSeries(double s) {
    const double z = s * s;
    // Only the terms that count: those left out sum to less than 2^-58 of s. Near 0 (the arc
    // cosine of nearby positions) that is a handful.
    std::size_t terms = 1;
    for (double power = z; power > 0x1p-58 && terms < kArcSineSeries.size(); power *= z)
        ++terms;
    double p = kArcSineSeries[terms - 1];
    for (std::size_t n = terms - 1; n-- > 0;)
        p = kArcSineSeries[n] + z * p;
    return s + s * (z * p);
}

// asin s for |s| <= 1/2 to within 2^-63, the first try: one Newton step on sin y = s from the
// series' value, which squares its error away and leaves that of the fast sine (times
// tan y / y <= 1.1).
Dd arcSineFast(Dd s) {
    const double y = arcSineSeries(s.hi);
    const SinCos at = sinCosFast({y, 0.0});
    const double excess = (at.sin.hi - s.hi) + (at.sin.lo - s.lo); // the first difference exact
    return twoSum(y, -excess / at.cos.hi);
}

// The same to within about 2^-104: the Newton step in double-double.
Dd arcSineNear(Dd s) {
    const double y = arcSineSeries(s.hi);
    const SinCos at = sinCosNear({y, 0.0});
    return Dd{y, 0.0} - (at.sin - s) / at.cos;
}

// sqrt t for t >= 0 as a double-double: the correctly rounded root and its residual.
Dd squareRoot(double t) {
    if (t == 0.0)
        return {0.0, 0.0};
    const double h = std::sqrt(t);
    const Dd square = twoProduct(h, h);
    return fastTwoSum(h, ((t - square.hi) - square.lo) / (2.0 * h));
}

Dd twice(Dd a) {
    return {2.0 * a.hi, 2.0 * a.lo};
}

} // namespace

double sin(double x) noexcept {
    double sine = 0.0;
    sinAndCos(x, &sine, nullptr);
    return sine;
}

double cos(double x) noexcept {
    double cosine = 0.0;
    sinAndCos(x, nullptr, &cosine);
    return cosine;
}

void sinCos(double x, double& sine, double& cosine) noexcept {
    sinAndCos(x, &sine, &cosine);
}

// Outside [-1/2, 1/2] both go through asin of sqrt((1 - |x|) / 2), whose argument is exact: near
// |x| = 1, where the arc is a steep function of x, nothing is lost to cancellation. Each result is
// within 2^-62 of the exact one after the first try (2^-63 of the arcs it is made of, which are
// at most twice the result); the test allows 2^-61.
double asin(double x) noexcept {
    if (!(x >= -1.0 && x <= 1.0))
        return (x - x) / (x - x); // NaN, as from the hardware
    const double magnitude = std::fabs(x);
    if (magnitude < kTiny)
        return x;
    Dd y;
    if (magnitude <= 0.5) {
        y = arcSineFast({x, 0.0});
        if (!roundsSafely(y, 0x1p-61 * std::fabs(y.hi)))
            y = arcSineNear({x, 0.0});
        return rounded(y);
    }
    const Dd s = squareRoot((1.0 - magnitude) * 0.5);
    y = kHalfPi - twice(arcSineFast(s));
    if (!roundsSafely(y, 0x1p-61 * y.hi))
        y = kHalfPi - twice(arcSineNear(s));
    return x < 0.0 ? -rounded(y) : rounded(y);
}

double acos(double x) noexcept {
    if (!(x >= -1.0 && x <= 1.0))
        return (x - x) / (x - x); // NaN, as from the hardware
    const auto arc = [x](Dd (*arcSine)(Dd)) {
        if (x > 0.5)
            return twice(arcSine(squareRoot((1.0 - x) * 0.5)));
        if (x < -0.5)
            return kPi - twice(arcSine(squareRoot((1.0 + x) * 0.5)));
        return kHalfPi - arcSine({x, 0.0});
    };
    const Dd y = arc(arcSineFast);
    return rounded(roundsSafely(y, 0x1p-61 * y.hi) ? y : arc(arcSineNear));
}

} // namespace nav::trig
