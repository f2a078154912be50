#include "time/tdb_model.h"

#include <cmath>

namespace ephemeris {

double tdb_offset_seconds(double tdb_seconds, const TdbModel& model) {
  const double mean_anomaly = model.m0 + model.m1 * tdb_seconds;
  const double eccentric_anomaly = mean_anomaly + model.eb * std::sin(mean_anomaly);
  return model.k * std::sin(eccentric_anomaly);
}

double tdb_third_iterate(double tt_seconds, const TdbModel& model) {
  const auto step = [&](double s) { return tt_seconds + tdb_offset_seconds(s, model); };
  const double first = step(tt_seconds);
  const double second = step(first);
  // Where the second step repeated the first, the third would repeat it again.
  return second == first ? second : step(second);
}

double tdb_seconds_from_tt_seconds(double tt_seconds, const TdbModel& model) {
  const double s3 = tdb_third_iterate(tt_seconds, model);
  return tt_seconds + (s3 - tt_seconds);
}

double tt_seconds_from_tdb_seconds(double tdb_seconds, const TdbModel& model) {
  const double s3 = tdb_third_iterate(tdb_seconds, model);
  return tdb_seconds - (s3 - tdb_seconds);
}

}  // namespace ephemeris
