#include "python/convert.h"

#include <array>
#include <cstddef>
#include <span>

#include "core/errors.h"
#include "core/text_format.h"

namespace ephemeris {
namespace {

template <class T>
struct NameForm {
  std::string_view text;
  T value;
};

std::string unknown_name_message(std::string_view prefix, const std::string& name) {
  const std::string text = is_valid_utf8(name) ? name : decode_utf8_lossy(name);
  return std::string(prefix) + " " + quote_text(text);
}

template <class T>
std::expected<T, std::string> look_up(std::string_view text, std::span<const NameForm<T>> forms,
                                      std::string_view message_prefix) {
  // A name given in its listed form (the usual case) normalizes to itself.
  for (const auto& form : forms) {
    if (form.text == text) return form.value;
  }
  const std::string name = normalize_name(text);
  for (const auto& form : forms) {
    if (form.text == name) return form.value;
  }
  return std::unexpected(unknown_name_message(message_prefix, name));
}

// A system barycentre is "jupiter_barycenter", with a hyphen or a space (as
// Skyfield names it) for the underscore. Code 3 is "earth_barycenter" after
// NAIF's name for it, parallel to the others; "earth_moon_barycenter" and its
// spellings say the same for readers who expect the Moon named.
constexpr std::array<NameForm<Body>, 42> kBodyForms = {{
    {"sun", Body::Sun},         {"moon", Body::Moon},       {"mercury", Body::Mercury},
    {"venus", Body::Venus},     {"earth", Body::Earth},     {"mars", Body::Mars},
    {"jupiter", Body::Jupiter}, {"saturn", Body::Saturn},   {"uranus", Body::Uranus},
    {"neptune", Body::Neptune}, {"pluto", Body::Pluto},
    {"mercury_barycenter", Body::MercuryBarycenter},
    {"mercury-barycenter", Body::MercuryBarycenter},
    {"mercury barycenter", Body::MercuryBarycenter},
    {"venus_barycenter", Body::VenusBarycenter},
    {"venus-barycenter", Body::VenusBarycenter},
    {"venus barycenter", Body::VenusBarycenter},
    {"earth_barycenter", Body::EarthBarycenter},
    {"earth-barycenter", Body::EarthBarycenter},
    {"earth barycenter", Body::EarthBarycenter},
    {"earth_moon_barycenter", Body::EarthBarycenter},
    {"earth-moon-barycenter", Body::EarthBarycenter},
    {"earth moon barycenter", Body::EarthBarycenter},
    {"earth-moon barycenter", Body::EarthBarycenter},
    {"mars_barycenter", Body::MarsBarycenter},
    {"mars-barycenter", Body::MarsBarycenter},
    {"mars barycenter", Body::MarsBarycenter},
    {"jupiter_barycenter", Body::JupiterBarycenter},
    {"jupiter-barycenter", Body::JupiterBarycenter},
    {"jupiter barycenter", Body::JupiterBarycenter},
    {"saturn_barycenter", Body::SaturnBarycenter},
    {"saturn-barycenter", Body::SaturnBarycenter},
    {"saturn barycenter", Body::SaturnBarycenter},
    {"uranus_barycenter", Body::UranusBarycenter},
    {"uranus-barycenter", Body::UranusBarycenter},
    {"uranus barycenter", Body::UranusBarycenter},
    {"neptune_barycenter", Body::NeptuneBarycenter},
    {"neptune-barycenter", Body::NeptuneBarycenter},
    {"neptune barycenter", Body::NeptuneBarycenter},
    {"pluto_barycenter", Body::PlutoBarycenter},
    {"pluto-barycenter", Body::PlutoBarycenter},
    {"pluto barycenter", Body::PlutoBarycenter},
}};

constexpr std::array<NameForm<TimeScale>, 4> kTimeScaleForms = {{
    {"utc", TimeScale::Utc}, {"ut1", TimeScale::Ut1}, {"tt", TimeScale::Tt}, {"tdb", TimeScale::Tdb},
}};

constexpr std::array<NameForm<ReferenceEpoch>, 4> kReferenceEpochForms = {{
    {"j2000", ReferenceEpoch::J2000},
    {"of_date", ReferenceEpoch::OfDate},
    {"of-date", ReferenceEpoch::OfDate},
    {"ofdate", ReferenceEpoch::OfDate},
}};

constexpr std::array<NameForm<CoordinateSystem>, 2> kCoordinateSystemForms = {{
    {"equatorial", CoordinateSystem::Equatorial},
    {"ecliptic", CoordinateSystem::Ecliptic},
}};

constexpr std::array<NameForm<HouseSystem>, 6> kHouseSystemForms = {{
    {"placidus", HouseSystem::Placidus},
    {"campanus", HouseSystem::Campanus},
    {"equal", HouseSystem::Equal},
    {"whole_sign", HouseSystem::WholeSign},
    {"whole-sign", HouseSystem::WholeSign},
    {"wholesign", HouseSystem::WholeSign},
}};

constexpr std::array<NameForm<SiderealMode>, 4> kSiderealModeForms = {{
    {"lahiri", SiderealMode::Lahiri},
    {"fagan_bradley", SiderealMode::FaganBradley},
    {"fagan-bradley", SiderealMode::FaganBradley},
    {"faganbradley", SiderealMode::FaganBradley},
}};

constexpr std::array<NameForm<SeasonEvent>, 10> kSeasonEventForms = {{
    {"march_equinox", SeasonEvent::MarchEquinox},
    {"march-equinox", SeasonEvent::MarchEquinox},
    {"vernal_equinox", SeasonEvent::MarchEquinox},
    {"june_solstice", SeasonEvent::JuneSolstice},
    {"june-solstice", SeasonEvent::JuneSolstice},
    {"september_equinox", SeasonEvent::SeptemberEquinox},
    {"september-equinox", SeasonEvent::SeptemberEquinox},
    {"autumnal_equinox", SeasonEvent::SeptemberEquinox},
    {"december_solstice", SeasonEvent::DecemberSolstice},
    {"december-solstice", SeasonEvent::DecemberSolstice},
}};

constexpr std::array<NameForm<LunationEvent>, 6> kLunationEventForms = {{
    {"new_moon", LunationEvent::NewMoon},
    {"new-moon", LunationEvent::NewMoon},
    {"newmoon", LunationEvent::NewMoon},
    {"full_moon", LunationEvent::FullMoon},
    {"full-moon", LunationEvent::FullMoon},
    {"fullmoon", LunationEvent::FullMoon},
}};

constexpr std::array<NameForm<HorizonEventKind>, 3> kHorizonEventKindForms = {{
    {"rise", HorizonEventKind::Rise},
    {"set", HorizonEventKind::Set},
    {"transit", HorizonEventKind::Transit},
}};

constexpr std::array<NameForm<OriginKind>, 4> kOriginForms = {{
    {"barycentric", OriginKind::Barycentric},
    {"heliocentric", OriginKind::Heliocentric},
    {"geocentric", OriginKind::Geocentric},
    {"topocentric", OriginKind::Topocentric},
}};

// The first form of each distinct value of `forms`, in table order.
template <class T, std::size_t N>
std::vector<std::string_view> first_forms(const std::array<NameForm<T>, N>& forms) {
  std::vector<std::string_view> names;
  for (std::size_t i = 0; i < N; ++i) {
    bool seen = false;
    for (std::size_t j = 0; j < i; ++j) seen = seen || forms[j].value == forms[i].value;
    if (!seen) names.push_back(forms[i].text);
  }
  return names;
}

template <class T, std::size_t N>
std::string_view name_at(const std::array<std::string_view, N>& names, T value) {
  return names[static_cast<std::size_t>(value)];
}

}  // namespace

std::vector<std::string_view> canonical_names(NameList list) {
  switch (list) {
    case NameList::Body: return first_forms(kBodyForms);
    case NameList::Origin: return first_forms(kOriginForms);
    case NameList::CoordinateSystem: return first_forms(kCoordinateSystemForms);
    case NameList::ReferenceEpoch: return first_forms(kReferenceEpochForms);
    case NameList::TimeScale: return first_forms(kTimeScaleForms);
    case NameList::HouseSystem: return first_forms(kHouseSystemForms);
    case NameList::SiderealMode: return first_forms(kSiderealModeForms);
    case NameList::SeasonEvent: return first_forms(kSeasonEventForms);
    case NameList::LunationEvent: return first_forms(kLunationEventForms);
    case NameList::HorizonEventKind: return first_forms(kHorizonEventKindForms);
  }
  return {};
}

double season_target_longitude_deg(SeasonEvent event) {
  constexpr std::array<double, 4> targets = {0.0, 90.0, 180.0, 270.0};
  return targets[static_cast<std::size_t>(event)];
}

double lunation_target_elongation_deg(LunationEvent event) {
  return event == LunationEvent::NewMoon ? 0.0 : 180.0;
}

std::string normalize_name(std::string_view text) {
  std::size_t begin = text.size();
  std::size_t end = 0;
  for (std::size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    const int decoded = decode_utf8_at(text, i, cp);
    std::size_t length = decoded > 0 ? static_cast<std::size_t>(decoded) : 0;
    const bool white = length != 0 && is_unicode_white_space(cp);
    if (length == 0) length = 1;
    if (!white) {
      if (begin == text.size()) begin = i;
      end = i + length;
    }
    i += length;
  }
  if (begin >= end) return {};
  std::string name(text.substr(begin, end - begin));
  for (char& c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return name;
}

std::expected<Body, std::string> parse_body(std::string_view text) {
  return look_up<Body>(text, kBodyForms, "unknown body");
}

std::expected<Origin, std::string> parse_origin(std::string_view text,
                                                const std::optional<GeodeticObserver>& observer) {
  const auto kind = look_up<OriginKind>(text, kOriginForms, "unknown origin");
  if (!kind) return std::unexpected(kind.error());
  if (*kind == OriginKind::Topocentric) {
    if (!observer) return std::unexpected(std::string("origin \"topocentric\" requires a GeodeticObserver"));
    const auto site = observer->validate();
    if (!site) return std::unexpected(std::string(message(site.error())));
    return Origin::topocentric(*site);
  }
  if (observer) return std::unexpected(std::string("observer is only valid with origin \"topocentric\""));
  return Origin{*kind, {}};
}

std::expected<TimeScale, std::string> parse_time_scale(std::string_view text) {
  return look_up<TimeScale>(text, kTimeScaleForms, "unknown time scale");
}

std::expected<ReferenceEpoch, std::string> parse_reference_epoch(std::string_view text) {
  return look_up<ReferenceEpoch>(text, kReferenceEpochForms, "unknown reference epoch");
}

std::expected<CoordinateSystem, std::string> parse_coordinate_system(std::string_view text) {
  return look_up<CoordinateSystem>(text, kCoordinateSystemForms, "unknown coordinate system");
}

std::expected<HouseSystem, std::string> parse_house_system(std::string_view text) {
  return look_up<HouseSystem>(text, kHouseSystemForms, "unknown house system");
}

std::expected<SiderealMode, std::string> parse_sidereal_mode(std::string_view text) {
  return look_up<SiderealMode>(text, kSiderealModeForms, "unknown sidereal mode");
}

std::expected<SeasonEvent, std::string> parse_season_event(std::string_view text) {
  return look_up<SeasonEvent>(text, kSeasonEventForms, "unknown season event");
}

std::expected<LunationEvent, std::string> parse_lunation_event(std::string_view text) {
  return look_up<LunationEvent>(text, kLunationEventForms, "unknown lunation event");
}

std::expected<HorizonEventKind, std::string> parse_horizon_event_kind(std::string_view text) {
  return look_up<HorizonEventKind>(text, kHorizonEventKindForms, "unknown horizon event");
}

std::string_view canonical_name(TimeScale scale) {
  constexpr std::array<std::string_view, 4> names = {"utc", "ut1", "tt", "tdb"};
  return name_at(names, scale);
}

std::string_view canonical_name(OriginKind origin) {
  constexpr std::array<std::string_view, 4> names = {"barycentric", "heliocentric", "geocentric", "topocentric"};
  return name_at(names, origin);
}

std::string_view canonical_name(CoordinateSystem system) {
  constexpr std::array<std::string_view, 2> names = {"equatorial", "ecliptic"};
  return name_at(names, system);
}

std::string_view canonical_name(ReferenceEpoch epoch) {
  constexpr std::array<std::string_view, 2> names = {"j2000", "of_date"};
  return name_at(names, epoch);
}

std::string_view canonical_name(HouseSystem system) {
  constexpr std::array<std::string_view, 4> names = {"placidus", "campanus", "equal", "whole_sign"};
  return name_at(names, system);
}

std::string_view canonical_name(SiderealMode mode) {
  constexpr std::array<std::string_view, 2> names = {"lahiri", "fagan_bradley"};
  return name_at(names, mode);
}

std::string_view canonical_name(SeasonEvent event) {
  constexpr std::array<std::string_view, 4> names = {"march_equinox", "june_solstice", "september_equinox",
                                                     "december_solstice"};
  return name_at(names, event);
}

std::string_view canonical_name(LunationEvent event) {
  constexpr std::array<std::string_view, 2> names = {"new_moon", "full_moon"};
  return name_at(names, event);
}

std::string_view canonical_name(HorizonEventKind kind) {
  constexpr std::array<std::string_view, 3> names = {"rise", "set", "transit"};
  return name_at(names, kind);
}

}  // namespace ephemeris
