#include "compare/history/export_file.h"

#include <fmt/format.h>

#include <stdexcept>

#include "compare/history/export_reader.h"

namespace compare {

namespace {

using nlohmann::json;

// Reads a text through without keeping anything, to find how deep it nests
// and where it stops being JSON.
class NestingCheck : public json::json_sax_t {
 public:
  bool too_deep = false;
  std::size_t error_at = 0;  // the byte where the text stops being JSON; 0 when it is JSON

  bool null() override { return true; }
  bool boolean(bool /*value*/) override { return true; }
  bool number_integer(number_integer_t /*value*/) override { return true; }
  bool number_unsigned(number_unsigned_t /*value*/) override { return true; }
  bool number_float(number_float_t /*value*/, const string_t& /*text*/) override { return true; }
  bool string(string_t& /*value*/) override { return true; }
  bool binary(binary_t& /*value*/) override { return true; }
  bool key(string_t& /*value*/) override { return true; }
  bool start_object(std::size_t /*size*/) override { return open(); }
  bool start_array(std::size_t /*size*/) override { return open(); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                   const nlohmann::detail::exception& e) override {
    const auto* parse = dynamic_cast<const json::parse_error*>(&e);
    error_at = parse != nullptr ? parse->byte : 1;
    return false;
  }

 private:
  bool open() {
    too_deep = ++depth_ > kMaxExportDepth;
    return !too_deep;
  }
  bool close() {
    --depth_;
    return true;
  }
  int depth_ = 0;
};

[[noreturn]] void not_json(const std::string& path, std::size_t byte) {
  throw std::runtime_error(fmt::format("{} is not JSON (error at byte {})", path, byte));
}

}  // namespace

std::string too_large(const std::string& path, std::size_t limit) {
  return fmt::format("{} is larger than {} MiB, the most an export may be", path, limit >> 20);
}

// The text is checked by a first reading that keeps nothing, since
// nlohmann's parser with a callback slows down with the length of every
// array; the second builds what the first found sound.
nlohmann::json parse_export(const std::string& text, const std::string& path) {
  NestingCheck check;
  if (!json::sax_parse(text, &check)) {
    if (check.too_deep) {
      throw std::runtime_error(fmt::format(
          "{} nests arrays or objects deeper than {} levels, the most an export may hold", path,
          kMaxExportDepth));
    }
    not_json(path, check.error_at);
  }
  try {
    return json::parse(text);
  } catch (const json::parse_error& e) {
    not_json(path, e.byte);
  }
}

}  // namespace compare
