#include "time/file_name.h"

#include "core/text_format.h"

namespace ephemeris {

std::optional<std::string_view> final_path_component(std::string_view path) {
  const auto last_kept = path.find_last_not_of('/');
  if (last_kept == std::string_view::npos) return std::nullopt;  // empty path or root
  const std::string_view trimmed = path.substr(0, last_kept + 1);
  const auto separator = trimmed.rfind('/');
  const std::string_view component =
      separator == std::string_view::npos ? trimmed : trimmed.substr(separator + 1);
  if (component == "..") return std::nullopt;
  return component;
}

std::optional<std::string> utf8_file_name(std::string_view path) {
  const auto component = final_path_component(path);
  if (!component || !is_valid_utf8(*component)) return std::nullopt;
  return std::string(*component);
}

}  // namespace ephemeris
