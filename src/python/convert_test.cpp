#include "python/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace ephemeris {
namespace {

std::string_view shown(Body body) { return body_name(body); }
std::string_view shown(const Origin& origin) { return canonical_name(origin.kind); }
template <typename E>
std::string_view shown(E value) { return canonical_name(value); }

// Each accepted spelling (separated by "|") gives the canonical name; anything else the parser's error text, with the
// name normalised: Unicode white space trimmed, ASCII letters (only those) folded, ill-formed bytes kept.
template <typename Parse>
void expect_names(Parse parse, std::initializer_list<std::pair<std::string, std::string_view>> rows) {
  for (const auto& [spellings, wanted] : rows) {
    for (std::size_t start = 0, bar = 0; start <= spellings.size(); start = bar + 1) {
      bar = std::min(spellings.find('|', start), spellings.size());
      const auto parsed = parse(spellings.substr(start, bar - start));
      EXPECT_EQ(parsed ? std::string(shown(*parsed)) : parsed.error(), wanted) << spellings;
    }
  }
}

TEST(NameParsers, EverySpellingAndTheUnknownNameTexts) {
  expect_names(parse_body, {{"sun", "Sun"}, {"MOON|\u00a0\u2003moon\u3000\u0085", "Moon"}, {"mercury", "Mercury"},
                            {"venus", "Venus"}, {"earth", "Earth"}, {"mars| \t\n Mars \r\v\f", "Mars"},
                            {"jupiter", "Jupiter"}, {" SaTuRn\t", "Saturn"}, {"uranus", "Uranus"},
                            {"neptune", "Neptune"}, {"pluto", "Pluto"}, {"  Pluto2 ", "unknown body \"pluto2\""},
                            {"", "unknown body \"\""}, {"say \"hi\"\n\\", "unknown body \"say \\\"hi\\\"\\n\\\\\""},
                            {" \xff" "A ", "unknown body \"\uFFFDa\""},
                            {"\u200bsun", "unknown body \"\\u{200b}sun\""},  // zero width space is no white space
                            {"mercury_barycenter|Mercury-Barycenter", "Mercury Barycenter"},
                            {"venus barycenter", "Venus Barycenter"}, {"mars_barycenter", "Mars Barycenter"},
                            {"earth_barycenter|earth-barycenter|Earth Barycenter|earth_moon_barycenter|"
                             "earth-moon-barycenter|earth moon barycenter|Earth-Moon Barycenter", "Earth Barycenter"},
                            {"jupiter_barycenter|Jupiter Barycenter|JUPITER-BARYCENTER", "Jupiter Barycenter"},
                            {"saturn_barycenter", "Saturn Barycenter"}, {"uranus_barycenter", "Uranus Barycenter"},
                            {"neptune_barycenter", "Neptune Barycenter"}, {"pluto_barycenter", "Pluto Barycenter"},
                            {"jupiter  barycenter", "unknown body \"jupiter  barycenter\""},
                            {"jupiterbarycenter", "unknown body \"jupiterbarycenter\""}});
  expect_names(parse_time_scale, {{"UTC", "utc"}, {"ut1", "ut1"}, {"TT ", "tt"}, {"tdb", "tdb"},
                                  {"tai", "unknown time scale \"tai\""}});
  expect_names(parse_reference_epoch, {{"J2000", "j2000"}, {"of_date|Of-Date|OFDATE", "of_date"},
                                       {"of date", "unknown reference epoch \"of date\""}});
  expect_names(parse_coordinate_system, {{"EQUATORIAL", "equatorial"}, {"ecliptic", "ecliptic"},
                                         {"Zodiacal", "unknown coordinate system \"zodiacal\""}});
  expect_names(parse_house_system, {{"Placidus", "placidus"}, {"campanus", "campanus"}, {"equal", "equal"},
                                    {"whole_sign| Whole-Sign |WHOLESIGN", "whole_sign"},
                                    {" Whole Sign\u2028", "unknown house system \"whole sign\""},
                                    {"\u00C9QUAL", "unknown house system \"\u00C9qual\""}});
  expect_names(parse_sidereal_mode, {{"LAHIRI", "lahiri"}, {"raman", "unknown sidereal mode \"raman\""},
                                     {"fagan_bradley|Fagan-Bradley|faganbradley", "fagan_bradley"}});
  expect_names(parse_season_event, {{"march_equinox|March-Equinox|Vernal_Equinox", "march_equinox"},
                                    {"june_solstice|june-solstice", "june_solstice"},
                                    {"september_equinox|september-equinox|autumnal_equinox", "september_equinox"},
                                    {"december_solstice|december-solstice", "december_solstice"},
                                    {"vernal-equinox", "unknown season event \"vernal-equinox\""},
                                    {"autumnal-equinox", "unknown season event \"autumnal-equinox\""}});
  expect_names(parse_lunation_event, {{"new_moon|new-moon|NewMoon", "new_moon"},
                                      {"full_moon|full-moon|fullmoon", "full_moon"},
                                      {"half_moon", "unknown lunation event \"half_moon\""}});
  expect_names(parse_horizon_event_kind, {{"Rise", "rise"}, {"set", "set"}, {"TRANSIT", "transit"},
                                          {"sunrise", "unknown horizon event \"sunrise\""}});
  expect_names([](std::string_view text) { return parse_origin(text, std::nullopt); },
               {{"Barycentric", "barycentric"}, {"heliocentric", "heliocentric"}, {" geocentric", "geocentric"},
                {"selenocentric", "unknown origin \"selenocentric\""},
                {"topocentric", "origin \"topocentric\" requires a GeodeticObserver"}});
}

TEST(NameParsers, TheCanonicalBodyNamesAreTheFirstSpellingOfEachBodyInTableOrder) {
  const auto names = canonical_names(NameList::Body);
  ASSERT_EQ(names.size(), kBodyCount);
  for (std::size_t i = 0; i < kBodyCount; ++i) EXPECT_EQ(parse_body(names[i]), kAllBodies[i]) << names[i];
  EXPECT_EQ(names[13], "earth_barycenter");
}

TEST(ParseOrigin, AnObserverOnlyWithTopocentricWhereItIsValidated) {
  const GeodeticObserver site{-0.5, 51.5, 12.0};
  EXPECT_EQ(parse_origin("TOPOCENTRIC", site)->observer, site);
  EXPECT_EQ(parse_origin("topocentric", site)->kind, OriginKind::Topocentric);
  EXPECT_EQ(parse_origin("geocentric", site).error(), "observer is only valid with origin \"topocentric\"");
  EXPECT_EQ(parse_origin("selenocentric", site).error(), "unknown origin \"selenocentric\"");  // unknown names first
  EXPECT_EQ(parse_origin("topocentric", GeodeticObserver{0.0, 90.5, 0.0}).error(),
            "geodetic latitude must be finite and within [-90, 90] degrees");
}

TEST(EventTargets, SeasonLongitudesAndLunationElongations) {
  for (const auto& [event, degrees] : {std::pair{SeasonEvent::MarchEquinox, 0.0}, {SeasonEvent::JuneSolstice, 90.0},
                                       {SeasonEvent::SeptemberEquinox, 180.0}, {SeasonEvent::DecemberSolstice, 270.0}})
    EXPECT_EQ(season_target_longitude_deg(event), degrees);
  EXPECT_EQ(lunation_target_elongation_deg(LunationEvent::NewMoon), 0.0);
  EXPECT_EQ(lunation_target_elongation_deg(LunationEvent::FullMoon), 180.0);
}

}  // namespace
}  // namespace ephemeris
