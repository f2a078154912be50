// Direction corrections of an apparent position: gravitational deflection of
// light by the Sun and stellar aberration. Both turn the relative state by a
// rotation, so its distance is kept and its velocity turns with it.
#pragma once

#include <array>

#include "core/cartesian_state.h"
#include "core/constants.h"

namespace ephemeris {

inline constexpr double kInverseSpeedOfLightSPerKm = 1.0 / kSpeedOfLightKmPerS;  // 1/c, s/km
static_assert(kInverseSpeedOfLightSPerKm == 3.3356409519815205e-06);
// Heliocentric gravitational constant GM_sun, km^3 s^-2.
inline constexpr double kSunGravitationalParameterKm3PerS2 = 1.32712442099e11;
// 2 GM_sun / c^2, km.
inline constexpr double kSunSchwarzschildRadiusKm =
    2.0 * kSunGravitationalParameterKm3PerS2 / (kSpeedOfLightKmPerS * kSpeedOfLightKmPerS);
static_assert(kSunSchwarzschildRadiusKm == 2.9532501228092993);
// Smallest 1 + q.e for which the deflection is applied (target behind the Sun).
inline constexpr double kDeflectionGuard = 1e-06;

// Rotates position and velocity by the rotation carrying unit vector `a` onto
// unit vector `b` (Rodrigues' formula). Returns the state unchanged when
// a x b is zero, which includes a = b and exactly opposite vectors.
CartesianState rotate_state(const CartesianState& state, const std::array<double, 3>& a,
                            const std::array<double, 3>& b);

// Bends the direction of `state` (target relative to the observer, km) by the
// Sun's gravity. `observer` and `sun` are barycentric positions in km. The
// state is returned unchanged when the target, the Sun or the target-Sun
// vector is at the observer, or when the target is behind the Sun.
CartesianState apply_solar_gravitational_deflection(const CartesianState& state,
                                                    const std::array<double, 3>& observer,
                                                    const std::array<double, 3>& sun);

// First-order stellar aberration: turns the direction of `state` towards
// u + V/c, with V the observer's barycentric velocity in km/s.
CartesianState apply_stellar_aberration(const CartesianState& state,
                                        const std::array<double, 3>& observer_velocity);

}  // namespace ephemeris
