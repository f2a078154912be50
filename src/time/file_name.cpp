#include "time/file_name.h"

#include "core/text_format.h"

namespace ephemeris {

std::optional<std::string_view> final_path_component(std::string_view path) {
  // Walk back over separators and "." components, which name nothing.
  while (true) {
    const auto last_kept = path.find_last_not_of('/');
    if (last_kept == std::string_view::npos) return std::nullopt;  // empty path or root
    path = path.substr(0, last_kept + 1);
    const auto separator = path.rfind('/');
    const std::string_view component = separator == std::string_view::npos ? path : path.substr(separator + 1);
    if (component == "..") return std::nullopt;
    if (component != ".") return component;
    if (separator == std::string_view::npos) return std::nullopt;  // "." alone
    path = path.substr(0, separator);
  }
}

std::optional<std::string> utf8_file_name(std::string_view path) {
  const auto component = final_path_component(path);
  if (!component || !is_valid_utf8(*component)) return std::nullopt;
  return std::string(*component);
}

}  // namespace ephemeris
