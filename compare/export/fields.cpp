#include "compare/export/fields.h"

#include <fmt/format.h>

#include <stdexcept>

#include "compare/render/format.h"
#include "compare/render/table.h"

namespace compare {

using nlohmann::json;

void bad_export(const std::string& path, const std::string& what) {
  throw std::runtime_error(fmt::format("{} {}", path, what));
}

// Every text read from an export goes through here.
std::string text_of(const json& object, const char* key, const std::string& otherwise) {
  if (!object.is_object()) return otherwise;
  auto it = object.find(key);
  return it != object.end() && it->is_string() ? printable(it->get<std::string>()) : otherwise;
}

const json& part(const json& object, const char* key) {
  static const json empty = json::object();
  if (!object.is_object()) return empty;
  auto it = object.find(key);
  return it != object.end() && it->is_object() ? *it : empty;
}

std::optional<long long> whole_in(const json& value, long long low, long long high) {
  if (value.is_number_unsigned()) {
    const auto v = value.get<unsigned long long>();
    if (v > static_cast<unsigned long long>(high)) return std::nullopt;
    const auto whole = static_cast<long long>(v);
    return whole >= low ? std::optional<long long>(whole) : std::nullopt;
  }
  if (!value.is_number_integer()) return std::nullopt;
  const auto v = value.get<long long>();
  return v >= low && v <= high ? std::optional<long long>(v) : std::nullopt;
}

json number_or_null(const std::optional<double>& x) { return x ? number(*x) : json(nullptr); }

}  // namespace compare
