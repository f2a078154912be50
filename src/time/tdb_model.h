// The periodic TDB - TT model of leap-second kernels (the DELTET constants),
// and the conversion from TT seconds to TDB seconds built on it.
#pragma once

namespace ephemeris {

struct TdbModel {
  double k;   // amplitude of TDB - TT, seconds
  double eb;  // eccentricity of the Earth-Moon barycentre orbit
  double m0;  // mean anomaly at J2000, radians
  double m1;  // mean anomaly rate, radians per second
};

// The constants NAIF's leap-second kernels carry (K 1.657D-3, EB 1.671D-2,
// M 6.239996D0 1.99096871D-7); used when no kernel is attached.
inline constexpr TdbModel kStandardTdbModel{0.001657, 0.01671, 6.239996, 1.99096871e-7};

// TDB - TT in seconds at `tdb_seconds` past J2000: K sin(E), E = M + EB sin(M),
// M = M0 + M1 t.
double tdb_offset_seconds(double tdb_seconds, const TdbModel& model);

// s3 of s(n+1) = tt_seconds + offset(s(n)), s0 = tt_seconds: three fixed-point
// steps with no convergence test (each shrinks the error by about K M1, 3e-10).
double tdb_third_iterate(double tt_seconds, const TdbModel& model);

// TDB seconds past J2000 of `tt_seconds` past J2000, written as
// tt + (s3 - tt) so the offset is rounded once.
double tdb_seconds_from_tt_seconds(double tt_seconds, const TdbModel& model);

// TT seconds past J2000 of `tdb_seconds` past J2000: the offset is evaluated
// as if the TDB seconds were TT seconds and removed, t - (s3 - t). The
// offset changes by under 1e-12 s over the 1.7 ms it is misplaced by.
double tt_seconds_from_tdb_seconds(double tdb_seconds, const TdbModel& model);

}  // namespace ephemeris
