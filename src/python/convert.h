// Parsers that turn user-supplied names into core values, and the canonical
// names under which those values are shown again.
//
// Every parser normalises its text the same way: leading and trailing Unicode
// white space is removed and ASCII letters are folded to lower case (no other
// case folding). The result must then equal one of the accepted forms exactly.
// On no match the error is the parser's prefix, a space and the normalised text
// as quoted text, e.g. `unknown body "pluto2"`.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ayanamsha.h"
#include "core/body.h"
#include "core/events.h"
#include "core/houses.h"
#include "core/observer.h"
#include "core/position_options.h"
#include "core/time_scale.h"

namespace ephemeris {

// The seasonal events a search can look for, in the order of their solar longitudes.
enum class SeasonEvent : std::uint8_t { MarchEquinox, JuneSolstice, SeptemberEquinox, DecemberSolstice };

// The lunar phases a search can look for.
enum class LunationEvent : std::uint8_t { NewMoon, FullMoon };

// Apparent geocentric solar longitude at the event, degrees (0, 90, 180, 270).
double season_target_longitude_deg(SeasonEvent event);

// Apparent Moon-minus-Sun elongation at the event, degrees (0 or 180).
double lunation_target_elongation_deg(LunationEvent event);

// Removes leading and trailing Unicode white space and folds A-Z to a-z.
// Bytes that are not well-formed UTF-8 are kept and never count as white space.
std::string normalize_name(std::string_view text);

// "sun", "moon", "mercury", ... "pluto"; the system barycentres
// "mercury_barycenter" ... "pluto_barycenter" (a hyphen or a space for the
// underscore), code 3 also as "earth_moon_barycenter" and its spellings.
std::expected<Body, std::string> parse_body(std::string_view text);

// "barycentric", "heliocentric", "geocentric" (only without an observer) or
// "topocentric" (only with an observer, which is validated here).
std::expected<Origin, std::string> parse_origin(std::string_view text,
                                                const std::optional<GeodeticObserver>& observer);

// "utc", "ut1", "tt", "tdb".
std::expected<TimeScale, std::string> parse_time_scale(std::string_view text);

// "j2000"; "of_date", "of-date", "ofdate".
std::expected<ReferenceEpoch, std::string> parse_reference_epoch(std::string_view text);

// "equatorial", "ecliptic".
std::expected<CoordinateSystem, std::string> parse_coordinate_system(std::string_view text);

// "placidus", "campanus", "equal"; "whole_sign", "whole-sign", "wholesign".
std::expected<HouseSystem, std::string> parse_house_system(std::string_view text);

// "lahiri"; "fagan_bradley", "fagan-bradley", "faganbradley".
std::expected<SiderealMode, std::string> parse_sidereal_mode(std::string_view text);

// "march_equinox", "march-equinox", "vernal_equinox", "june_solstice", ...
std::expected<SeasonEvent, std::string> parse_season_event(std::string_view text);

// "new_moon", "new-moon", "newmoon", "full_moon", "full-moon", "fullmoon".
std::expected<LunationEvent, std::string> parse_lunation_event(std::string_view text);

// "rise", "set", "transit".
std::expected<HorizonEventKind, std::string> parse_horizon_event_kind(std::string_view text);

// The enumerations whose names a parser accepts.
enum class NameList : std::uint8_t {
  Body,
  Origin,
  CoordinateSystem,
  ReferenceEpoch,
  TimeScale,
  HouseSystem,
  SiderealMode,
  SeasonEvent,
  LunationEvent,
  HorizonEventKind,
};

// The canonical name of every value the parser of `list` accepts, in the
// order of its table: the first accepted form of each value (the aliases
// such as "of-date" or "vernal_equinox" are left out).
std::vector<std::string_view> canonical_names(NameList list);

// Canonical lower-case names used by every getter and repr.
std::string_view canonical_name(TimeScale scale);
std::string_view canonical_name(OriginKind origin);
std::string_view canonical_name(CoordinateSystem system);
std::string_view canonical_name(ReferenceEpoch epoch);
std::string_view canonical_name(HouseSystem system);
std::string_view canonical_name(SiderealMode mode);
std::string_view canonical_name(SeasonEvent event);
std::string_view canonical_name(LunationEvent event);
std::string_view canonical_name(HorizonEventKind kind);

}  // namespace ephemeris
