#include "python/convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace ephemeris {
namespace {

TEST(NormalizeName, TrimsUnicodeWhiteSpaceAndFoldsAsciiOnly) {
  EXPECT_EQ(normalize_name(" \t\n Mars \r\v\f"), "mars");
  // U+00A0 no-break space, U+2003 em space, U+3000 ideographic space, U+0085 next line.
  EXPECT_EQ(normalize_name("\u00a0\u2003MOON\u3000\u0085"), "moon");
  // Non-ASCII letters keep their case; inner white space stays.
  EXPECT_EQ(normalize_name("\u00C9QUAL"), "\u00C9qual");
  EXPECT_EQ(normalize_name(" Whole Sign "), "whole sign");
  // U+200B zero width space is not white space.
  EXPECT_EQ(normalize_name("\u200bsun"), "\u200bsun");
  EXPECT_EQ(normalize_name(" \u2028 "), "");
}

TEST(NormalizeName, KeepsIllFormedBytes) {
  EXPECT_EQ(normalize_name(" \xff" "A "), "\xff" "a");
  EXPECT_EQ(normalize_name(std::string(" \xe2\x80", 3)), "\xe2\x80");
}

TEST(ParseBody, AcceptsEveryBodyNameInAnyAsciiCase) {
  const char* names[] = {"sun", "moon", "mercury", "venus", "earth", "mars",
                         "jupiter", "saturn", "uranus", "neptune", "pluto"};
  for (std::size_t i = 0; i < kBodyCount; ++i) {
    EXPECT_EQ(parse_body(names[i]), kAllBodies[i]) << names[i];
  }
  EXPECT_EQ(parse_body(" SaTuRn\t"), Body::Saturn);
}

TEST(ParseBody, ReportsTheNormalisedTextQuoted) {
  EXPECT_EQ(parse_body("  Pluto2 ").error(), "unknown body \"pluto2\"");
  EXPECT_EQ(parse_body("").error(), "unknown body \"\"");
  EXPECT_EQ(parse_body("su").error(), "unknown body \"su\"");
  EXPECT_EQ(parse_body("say \"hi\"\n\\").error(), "unknown body \"say \\\"hi\\\"\\n\\\\\"");
  EXPECT_EQ(parse_body("\xff").error(), "unknown body \"\uFFFD\"");
}

TEST(ParseTimeScale, AcceptsTheFourScales) {
  EXPECT_EQ(parse_time_scale("UTC"), TimeScale::Utc);
  EXPECT_EQ(parse_time_scale("ut1"), TimeScale::Ut1);
  EXPECT_EQ(parse_time_scale("TT "), TimeScale::Tt);
  EXPECT_EQ(parse_time_scale("tdb"), TimeScale::Tdb);
  EXPECT_EQ(parse_time_scale("tai").error(), "unknown time scale \"tai\"");
}

TEST(ParseReferenceEpoch, AcceptsTheListedSpellingsOnly) {
  EXPECT_EQ(parse_reference_epoch("J2000"), ReferenceEpoch::J2000);
  for (const char* text : {"of_date", "Of-Date", "OFDATE"}) {
    EXPECT_EQ(parse_reference_epoch(text), ReferenceEpoch::OfDate) << text;
  }
  EXPECT_EQ(parse_reference_epoch("of date").error(), "unknown reference epoch \"of date\"");
}

TEST(ParseCoordinateSystem, AcceptsEquatorialAndEcliptic) {
  EXPECT_EQ(parse_coordinate_system("EQUATORIAL"), CoordinateSystem::Equatorial);
  EXPECT_EQ(parse_coordinate_system("ecliptic"), CoordinateSystem::Ecliptic);
  EXPECT_EQ(parse_coordinate_system("galactic").error(), "unknown coordinate system \"galactic\"");
}

TEST(ParseHouseSystem, AcceptsTheFourSystemsAndWholeSignSpellings) {
  EXPECT_EQ(parse_house_system("Placidus"), HouseSystem::Placidus);
  EXPECT_EQ(parse_house_system("campanus"), HouseSystem::Campanus);
  EXPECT_EQ(parse_house_system("equal"), HouseSystem::Equal);
  for (const char* text : {"whole_sign", " Whole-Sign ", "WHOLESIGN"}) {
    EXPECT_EQ(parse_house_system(text), HouseSystem::WholeSign) << text;
  }
  EXPECT_EQ(parse_house_system("koch").error(), "unknown house system \"koch\"");
}

TEST(ParseSiderealMode, AcceptsLahiriAndFaganBradley) {
  EXPECT_EQ(parse_sidereal_mode("LAHIRI"), SiderealMode::Lahiri);
  for (const char* text : {"fagan_bradley", "Fagan-Bradley", "faganbradley"}) {
    EXPECT_EQ(parse_sidereal_mode(text), SiderealMode::FaganBradley) << text;
  }
  EXPECT_EQ(parse_sidereal_mode("raman").error(), "unknown sidereal mode \"raman\"");
}

TEST(ParseSeasonEvent, AcceptsTheListedAliasesOnly) {
  for (const char* text : {"march_equinox", "March-Equinox", "Vernal_Equinox"}) {
    EXPECT_EQ(parse_season_event(text), SeasonEvent::MarchEquinox) << text;
  }
  for (const char* text : {"june_solstice", "june-solstice"}) {
    EXPECT_EQ(parse_season_event(text), SeasonEvent::JuneSolstice) << text;
  }
  for (const char* text : {"september_equinox", "september-equinox", "autumnal_equinox"}) {
    EXPECT_EQ(parse_season_event(text), SeasonEvent::SeptemberEquinox) << text;
  }
  for (const char* text : {"december_solstice", "december-solstice"}) {
    EXPECT_EQ(parse_season_event(text), SeasonEvent::DecemberSolstice) << text;
  }
  EXPECT_EQ(parse_season_event("vernal-equinox").error(), "unknown season event \"vernal-equinox\"");
  EXPECT_EQ(parse_season_event("autumnal-equinox").error(), "unknown season event \"autumnal-equinox\"");
}

TEST(ParseLunationEvent, AcceptsNewAndFullMoonSpellings) {
  for (const char* text : {"new_moon", "new-moon", "NewMoon"}) {
    EXPECT_EQ(parse_lunation_event(text), LunationEvent::NewMoon) << text;
  }
  for (const char* text : {"full_moon", "full-moon", "fullmoon"}) {
    EXPECT_EQ(parse_lunation_event(text), LunationEvent::FullMoon) << text;
  }
  EXPECT_EQ(parse_lunation_event("half_moon").error(), "unknown lunation event \"half_moon\"");
}

TEST(ParseHorizonEventKind, UsesTheNounHorizonEvent) {
  EXPECT_EQ(parse_horizon_event_kind("Rise"), HorizonEventKind::Rise);
  EXPECT_EQ(parse_horizon_event_kind("set"), HorizonEventKind::Set);
  EXPECT_EQ(parse_horizon_event_kind("TRANSIT"), HorizonEventKind::Transit);
  EXPECT_EQ(parse_horizon_event_kind("sunrise").error(), "unknown horizon event \"sunrise\"");
}

TEST(ParseOrigin, CentresWithoutObserver) {
  EXPECT_EQ(parse_origin("Barycentric", std::nullopt)->kind, OriginKind::Barycentric);
  EXPECT_EQ(parse_origin("heliocentric", std::nullopt)->kind, OriginKind::Heliocentric);
  EXPECT_EQ(parse_origin(" geocentric", std::nullopt)->kind, OriginKind::Geocentric);
}

TEST(ParseOrigin, TopocentricNeedsAValidObserver) {
  const GeodeticObserver site{-0.5, 51.5, 12.0};
  const auto origin = parse_origin("TOPOCENTRIC", site);
  ASSERT_TRUE(origin);
  EXPECT_EQ(origin->kind, OriginKind::Topocentric);
  EXPECT_EQ(origin->observer, site);
  EXPECT_EQ(parse_origin("topocentric", std::nullopt).error(),
            "origin \"topocentric\" requires a GeodeticObserver");
  EXPECT_EQ(parse_origin("topocentric", GeodeticObserver{0.0, 90.5, 0.0}).error(),
            "geodetic latitude must be finite and within [-90, 90] degrees");
  EXPECT_EQ(parse_origin("topocentric", GeodeticObserver{std::nan(""), 0.0, 0.0}).error(),
            "Cartesian state must be finite");
}

TEST(ParseOrigin, ObserverOnlyWithTopocentricAndUnknownNamesFirst) {
  const GeodeticObserver site{0.0, 0.0, 0.0};
  EXPECT_EQ(parse_origin("geocentric", site).error(), "observer is only valid with origin \"topocentric\"");
  EXPECT_EQ(parse_origin("selenocentric", site).error(), "unknown origin \"selenocentric\"");
  EXPECT_EQ(parse_origin("selenocentric", std::nullopt).error(), "unknown origin \"selenocentric\"");
}

TEST(CanonicalName, EveryEnumerationInOrder) {
  EXPECT_EQ(canonical_name(TimeScale::Ut1), "ut1");
  EXPECT_EQ(canonical_name(OriginKind::Topocentric), "topocentric");
  EXPECT_EQ(canonical_name(CoordinateSystem::Equatorial), "equatorial");
  EXPECT_EQ(canonical_name(ReferenceEpoch::OfDate), "of_date");
  EXPECT_EQ(canonical_name(HouseSystem::WholeSign), "whole_sign");
  EXPECT_EQ(canonical_name(SiderealMode::FaganBradley), "fagan_bradley");
  EXPECT_EQ(canonical_name(SeasonEvent::DecemberSolstice), "december_solstice");
  EXPECT_EQ(canonical_name(LunationEvent::FullMoon), "full_moon");
  EXPECT_EQ(canonical_name(HorizonEventKind::Transit), "transit");
}

TEST(EventTargets, SeasonLongitudesAndLunationElongations) {
  EXPECT_EQ(season_target_longitude_deg(SeasonEvent::MarchEquinox), 0.0);
  EXPECT_EQ(season_target_longitude_deg(SeasonEvent::JuneSolstice), 90.0);
  EXPECT_EQ(season_target_longitude_deg(SeasonEvent::SeptemberEquinox), 180.0);
  EXPECT_EQ(season_target_longitude_deg(SeasonEvent::DecemberSolstice), 270.0);
  EXPECT_EQ(lunation_target_elongation_deg(LunationEvent::NewMoon), 0.0);
  EXPECT_EQ(lunation_target_elongation_deg(LunationEvent::FullMoon), 180.0);
}

}  // namespace
}  // namespace ephemeris
