// What the store's files share: the open database and its statements. Every
// value goes in through a bind, never through the SQL text; every text read
// back is made printable.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "compare/history/store.h"

namespace compare {

struct Store::Impl {
  sqlite3* db = nullptr;
  std::string path;
};

// "PATH: what (SQLite's message)" as a StoreError.
[[noreturn]] void store_failed(const Store::Impl& store, const std::string& what);

// One prepared statement, finalised when it goes.
class Statement {
 public:
  Statement(Store::Impl& store, const char* sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  Statement& bind(int i, const std::string& text);
  Statement& bind(int i, const std::optional<std::string>& text);
  Statement& bind(int i, double value);
  Statement& bind(int i, const std::optional<double>& value);
  Statement& bind(int i, std::int64_t value);
  Statement& bind_blob(int i, const std::vector<unsigned char>& bytes);
  // True while there is a row; false when done.
  bool step();
  void reset();

  std::string text(int column) const;  // printable; "" for NULL
  std::optional<double> real(int column) const;
  std::int64_t integer(int column) const;

 private:
  Store::Impl& store_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Runs SQL that takes no values.
void execute(Store::Impl& store, const char* sql);

// The first column of the first row of a query that takes no values.
std::int64_t query_integer(Store::Impl& store, const char* sql);

}  // namespace compare
