#pragma once

// Sine, cosine, arc sine and arc cosine that give the same bits on every system.
//
// The C libraries differ in the last bit of these functions (glibc's, the Windows runtime's, and
// the x87 code that MinGW links in for sin and cos), and the law-of-cosines distance turns one
// bit of a sine into about 5e-6 of a short fix-to-fix distance: enough to change the sixth digit
// of a printed speed, or a turnpoint's "inside" when a fix lies on the zone's edge. These are
// computed here with IEEE additions, multiplications, divisions and square roots alone (each
// correctly rounded by every IEEE machine) in double-double arithmetic, so that their results
// do not depend on the platform's math library.
//
// Each function first works to about 2^-64 in doubles, with a few products kept exactly, and
// checks whether that settles the rounding; for the few arguments (well under one in a hundred)
// where it does not, it works again to about 2^-104 in double-double. For every argument a
// position in degrees can give (below 2^22 radians) the result is thus the double nearest the
// exact value, unless that value lies within about 2^-100 (relative) of the midpoint between two
// doubles; either way the same argument gives the same bits everywhere. The C libraries agree with
// it wherever they round correctly: glibc's for all but about one argument in a thousand.

namespace nav::trig {

/// Sine of `x` radians. NaN and infinities give NaN. Beyond 2^22 radians (no angle of this
/// system comes near) it is the C library's sine.
[[nodiscard]] double sin(double x) noexcept;

/// Cosine of `x` radians; as sin for NaN, infinities and huge arguments.
[[nodiscard]] double cos(double x) noexcept;

/// sin(x) and cos(x) at once, for less than the two calls cost.
void sinCos(double x, double& sine, double& cosine) noexcept;

/// Arc sine (radians, -pi/2 to pi/2) of `x`; NaN outside [-1, 1] and for NaN.
[[nodiscard]] double asin(double x) noexcept;

/// Arc cosine (radians, 0 to pi) of `x`; NaN outside [-1, 1] and for NaN.
[[nodiscard]] double acos(double x) noexcept;

} // namespace nav::trig
