#include "compare/render/format.h"

#include <fmt/format.h>

#include <cmath>
#include <filesystem>

namespace compare {

// Four significant digits keep differences of a few milliseconds readable
// next to times of a second.
std::string num(double x) { return std::isfinite(x) ? fmt::format("{:.4g}", x) : "n/a"; }

std::string ratio_text(double r) {
  if (!std::isfinite(r)) return "n/a";
  return r >= 100 ? fmt::format("{:.0f}x", r) : fmt::format("{:.3g}x", r);
}

std::string p_text(double p) { return std::isfinite(p) ? fmt::format("{:.3g}", p) : "n/a"; }

std::string plural(std::size_t n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

std::string with_interval(double value, const std::optional<Interval>& interval, const char* none) {
  return num(value) + (interval ? fmt::format(" [{}, {}]", num(interval->low), num(interval->high))
                                : fmt::format(", {}", none));
}

std::string known(const std::string& s) { return s.empty() ? "unknown" : s; }

std::string shown_path(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path whole(path);
  if (!whole.is_absolute()) return path;
  // Past a symbolic link ".." is not the lexical parent: such a path stays whole.
  for (const fs::path& part : whole) {
    if (part == "." || part == "..") return path;
  }
  std::error_code ec;
  const fs::path here = fs::current_path(ec);
  if (ec) return path;
  const std::string relative = whole.lexically_relative(here).string();
  return !relative.empty() && relative.size() < path.size() ? relative : path;
}

nlohmann::json number(double x) {
  return std::isfinite(x) ? nlohmann::json(x) : nlohmann::json(nullptr);
}

std::string export_text(const nlohmann::json& value) {
  return value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

bool drawable(double x) {
  return x == 0 || (std::isfinite(x) && std::fabs(x) >= 1e-300 && std::fabs(x) <= 1e300);
}

std::string data_value(double x) { return drawable(x) ? fmt::format("{:.9g}", x) : "NaN"; }

std::string short_time(const std::string& iso) {
  if (iso.size() < 16 || iso[10] != 'T') return iso.empty() ? "unknown" : iso;
  return iso.substr(0, 10) + " " + iso.substr(11, 5);
}

std::string marked(const std::string& value, const std::string& reference) {
  return value != reference ? value + " *" : value;
}

std::string marked(const Known& value, const Known& reference) {
  return value && reference ? marked(*value, *reference) : shown(value);
}

}  // namespace compare
