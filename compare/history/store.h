// The history: every comparison kept in one SQLite database, and each
// session's figures read back in time order for the trend. One writer,
// store_comparison, fed by exports as read by export_reader: a measuring run
// stores its own export's text read back, --import stores earlier exports,
// so that both paths store exactly the same thing.
//
// The database may come from another machine or person, or be damaged: a
// file that is not SQLite, is cut short or is another program's is refused
// with one line and left as it was; every text read from it is made
// printable as it is read, and every value written is bound, never spliced
// into SQL. Linux only: the Windows build has no SQLite (store_windows.cpp).
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "compare/history/export_reader.h"
#include "compare/model.h"

namespace compare {

// The schema this bench_compare writes and reads; a later one is refused.
inline constexpr int kHistorySchema = 1;
// What a history may hold for one reading: a real history stays far inside
// each (10,000 sessions of 16 builds are 1.44 million figures, and its texts
// are labels, paths and dates); beyond one it is refused rather than read.
inline constexpr std::size_t kMaxHistoryFigures = 2000000;
inline constexpr std::size_t kMaxHistoryText = 65536;  // bytes of any one text

// Why the history cannot be used, in one line naming the file.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Empty where --history can be used; else one line saying why not.
std::string history_unavailable();

// An open history. Opening checks the file (and, to append, every page of it)
// and creates the database when the file is absent or empty.
class Store {
 public:
  enum class Access { Read, Append };
  Store(const std::string& path, Access access);
  ~Store();
  Store(Store&&) noexcept;
  Store& operator=(Store&&) noexcept;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  struct Impl;
  Impl& impl() { return *impl_; }
  const std::string& path() const;

 private:
  std::unique_ptr<Impl> impl_;
};

// How many sessions of what was offered are new, and how many were held.
struct Stored {
  std::size_t sessions = 0;
  std::size_t held = 0;
};

struct StoreOptions {
  // Digest the programs at their recorded paths (only where they are the
  // ones that ran: on this machine and unchanged since the comparison began).
  bool digest_programs = true;
};

// Stores one comparison (the entries one export reads as: a pair, or each
// build) in one transaction: whole or not at all. A session already held is
// left as it is; a comparison whose sessions are all held stores nothing.
// Throws StoreError.
Stored store_comparison(Store& store, const std::vector<ExportFile>& entries,
                        const StoreOptions& options = {});

// Which figures to read: sessions started within [since, until] (ISO 8601
// prefixes, empty for no bound), of a build or comparison labelled `label`,
// on a machine named `machine` (empty: any).
struct HistoryFilter {
  std::string since, until, label, machine;
};

// One session's figure of one series of one build, as stored.
struct StoredFigure {
  std::string machine;      // the machine's processor as recorded ("unknown" where not)
  std::string comparison;   // the comparison's label (the host name by default)
  std::string started_at;   // the session's start, ISO 8601 UTC
  std::string session_key;  // what tells the session from every other
  std::string build;        // the build's label; empty for a single pair
  std::string reference;    // the reference build's label in those rounds; empty where none
  int test = 0;             // index into kTestNames
  Series series = Series::Random;
  double value = 0;                  // the session's median, seconds
  std::optional<Interval> interval;  // its 95% interval (sign test)
  // To the reference build in the same rounds: the ratio and its 95% interval.
  std::optional<double> ratio;
  std::optional<Interval> ratio_interval;
};

// The figures, ordered by machine, build, test, series and time. Throws
// StoreError, also beyond the limits above.
std::vector<StoredFigure> read_figures(Store& store, const HistoryFilter& filter);

// One session's figure of each test and series from its rounds, and where
// `reference` holds the reference build's rounds of the same session, the
// ratio to it; what store_comparison stores.
struct SessionFigure {
  int test = 0;
  Series series = Series::Random;
  double value = 0;
  std::optional<Interval> interval;
  std::optional<double> ratio;
  std::optional<Interval> ratio_interval;
};
std::vector<SessionFigure> session_figures(const std::vector<Round>& rounds,
                                           const std::vector<Round>* reference);

}  // namespace compare
