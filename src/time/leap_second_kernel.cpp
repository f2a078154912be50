#include "time/leap_second_kernel.h"

#include "core/text_format.h"
#include "time/checksum_text.h"
#include "time/file_name.h"
#include "time/text_file.h"
#include "time/text_kernel.h"

namespace ephemeris {

std::expected<LeapSecondKernel, LskError> LeapSecondKernel::open(std::string_view path, std::string_view sha256) {
  auto file_name = utf8_file_name(path);
  if (!file_name) return std::unexpected(LskError::invalid_path());
  const auto text = read_text_file(path);
  if (!text) return std::unexpected(LskError::io(text.error().text));
  return parse(*text, std::move(*file_name), sha256);
}

std::expected<LeapSecondKernel, LskError> LeapSecondKernel::from_text(std::string_view text, std::string file_name,
                                                                      std::string_view sha256) {
  if (!is_valid_utf8(text)) return std::unexpected(LskError::io(std::string(kInvalidUtf8Text)));
  return parse(text, std::move(file_name), sha256);
}

std::expected<LeapSecondKernel, LskError> LeapSecondKernel::parse(std::string_view text, std::string file_name,
                                                                  std::string_view sha256) {
  namespace tk = text_kernel;
  if (!is_sha256_text(sha256)) return std::unexpected(LskError::invalid_sha256());
  const auto data = tk::extract_data_sections(text);
  if (!data) return std::unexpected(data.error());
  const tk::Assignments assignments = tk::parse_assignments(*data);

  LeapSecondKernel kernel;
  const auto delta_t_a = tk::scalar(assignments, "DELTET/DELTA_T_A");
  if (!delta_t_a) return std::unexpected(delta_t_a.error());
  const auto k = tk::scalar(assignments, "DELTET/K");
  if (!k) return std::unexpected(k.error());
  const auto eb = tk::scalar(assignments, "DELTET/EB");
  if (!eb) return std::unexpected(eb.error());

  constexpr std::string_view kMeanAnomaly = "DELTET/M";
  const auto m_text = tk::raw_value(assignments, kMeanAnomaly);
  if (!m_text) return std::unexpected(m_text.error());
  const auto m_tokens = tk::value_tokens(*m_text);
  if (m_tokens.size() != 2) return std::unexpected(LskError::invalid_value(kMeanAnomaly, lsk_reason::kExpectedTwoValues));
  const auto m0 = tk::parse_number(m_tokens[0]);
  if (!m0) return std::unexpected(LskError::invalid_value(kMeanAnomaly, lsk_reason::kInvalidM0));
  const auto m1 = tk::parse_number(m_tokens[1]);
  if (!m1) return std::unexpected(LskError::invalid_value(kMeanAnomaly, lsk_reason::kInvalidM1));

  constexpr std::string_view kDeltaAt = "DELTET/DELTA_AT";
  const auto table_text = tk::raw_value(assignments, kDeltaAt);
  if (!table_text) return std::unexpected(table_text.error());
  const auto tokens = tk::value_tokens(*table_text);
  if (tokens.empty() || tokens.size() % 2 != 0) {
    return std::unexpected(LskError::invalid_value(kDeltaAt, lsk_reason::kExpectedPairs));
  }
  kernel.entries_.reserve(tokens.size() / 2);
  for (std::size_t i = 0; i < tokens.size(); i += 2) {
    const auto delta = tk::parse_number(tokens[i]);
    if (!delta) return std::unexpected(LskError::invalid_value(kDeltaAt, lsk_reason::kInvalidDelta));
    const auto date = tk::parse_date_literal(tokens[i + 1]);
    if (!date) return std::unexpected(date.error());
    kernel.entries_.push_back({*delta, *date});
  }
  for (std::size_t i = 1; i < kernel.entries_.size(); ++i) {
    if (!(kernel.entries_[i].effective_jd > kernel.entries_[i - 1].effective_jd)) {
      return std::unexpected(LskError::non_ascending_entries());
    }
  }

  kernel.file_name_ = std::move(file_name);
  kernel.sha256_ = ascii_lower(sha256);
  kernel.delta_t_a_ = *delta_t_a;
  kernel.k_ = *k;
  kernel.eb_ = *eb;
  kernel.m0_ = *m0;
  kernel.m1_ = *m1;
  return kernel;
}

}  // namespace ephemeris
