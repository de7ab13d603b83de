// The history's one writer: one comparison, read from its export, stored in
// one transaction, each session once.
#include <fmt/format.h>

#include <map>
#include <set>

#include "compare/history/store_parts.h"
#include "compare/history/store_sql.h"
#include "compare/render/table.h"

namespace compare {

namespace {

// The machine's row, made the first time it is seen.
std::int64_t machine_id(Store::Impl& s, const MachineRecord& m, const std::string& digest) {
  Statement add(s,
                "INSERT OR IGNORE INTO machine(digest, cpu_model, architecture, logical_cpus, "
                "kernel, libc, clock_tick) VALUES (?, ?, ?, ?, ?, ?, ?)");
  add.bind(1, digest).bind(2, shown(m.cpu_model)).bind(3, shown(m.architecture));
  add.bind(4, shown(m.logical_cpus)).bind(5, shown(m.kernel)).bind(6, shown(m.libc));
  add.bind(7, m.clock_tick).step();
  Statement find(s, "SELECT id FROM machine WHERE digest = ?");
  find.bind(1, digest);
  if (!find.step()) store_failed(s, "cannot store the machine");
  return find.integer(0);
}

std::int64_t comparison_id(Store::Impl& s, const ExportFile& e, std::int64_t machine) {
  Statement add(s,
                "INSERT INTO comparison(machine_id, label, version, method, started_at, "
                "finished_at, reference, warnings, stopped, governor, turbo, aslr, load_before, "
                "load_after, source) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  const MachineRecord& m = e.machine;
  add.bind(1, machine).bind(2, e.comparison_label).bind(3, e.version).bind(4, e.method.dump());
  add.bind(5, e.started_at).bind(6, e.finished_at).bind(7, e.reference);
  add.bind(8, nlohmann::json(e.warnings).dump()).bind(9, e.stopped);
  add.bind(10, m.governor).bind(11, m.turbo).bind(12, m.aslr).bind(13, m.load_before);
  add.bind(14, m.load_after).bind(15, e.path).step();
  return sqlite3_last_insert_rowid(s.db);
}

std::int64_t build_id(Store::Impl& s, const ExportFile& e, std::int64_t comparison, bool builds,
                      const StoreOptions& options) {
  Statement add(s,
                "INSERT INTO build(comparison_id, label, random_path, random_compiler, "
                "random_architecture, random_sha1, fixed_path, fixed_compiler, "
                "fixed_architecture, fixed_sha1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  // A single pair's entry carries the comparison's label: its build has none.
  add.bind(1, comparison).bind(2, builds ? e.label : std::string());
  int column = 3;
  for (const ProgramRecord* p : {&e.random, &e.fixed}) {
    const Known digest =
        options.digest_programs ? program_digest(p->path, e.started_at) : std::nullopt;
    add.bind(column, p->path).bind(column + 1, p->compiler).bind(column + 2, p->architecture);
    add.bind(column + 3, digest);
    column += 4;
  }
  add.step();
  return sqlite3_last_insert_rowid(s.db);
}

// A round counted twice in a session is no comparison that ran.
void refuse_repeated_rounds(const ExportFile& e) {
  for (const std::vector<Round>& rounds : e.sessions) {
    std::set<int> seen;
    for (const Round& r : rounds) {
      if (!seen.insert(r.index).second) {
        throw StoreError(fmt::format("{} holds round {} of session {} twice: not stored",
                                     printable(e.path), r.index, r.session));
      }
    }
  }
}

bool held(Store::Impl& s, const std::string& key) {
  Statement find(s, "SELECT 1 FROM session WHERE key = ?");
  find.bind(1, key);
  return find.step();
}

void add_rounds(Store::Impl& s, std::int64_t session, const std::vector<Round>& rounds,
                const CountsByRound& counts) {
  Statement add(s,
                "INSERT INTO round(session_id, number, fixed_first, random_1, random_2, random_3, "
                "fixed_1, fixed_2, fixed_3, usage, counts) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, "
                "?, ?)");
  for (const Round& r : rounds) {
    add.bind(1, session)
        .bind(2, std::int64_t{r.index})
        .bind(3, std::int64_t{r.first == Side::Fixed ? 1 : 0});
    for (std::size_t t = 0; t < kTests; ++t) {
      add.bind(4 + static_cast<int>(t), r.random.at(t))
          .bind(7 + static_cast<int>(t), r.fixed.at(t));
    }
    add.bind_blob(10, usage_bytes(r));
    const auto counted = counts.find(key_of(r));
    add.bind_blob(
        11, counted != counts.end() ? counts_bytes(counted->second) : std::vector<unsigned char>{});
    add.step();
    add.reset();
  }
}

void add_figures(Store::Impl& s, std::int64_t session, const std::vector<SessionFigure>& figures) {
  Statement add(s,
                "INSERT INTO figure(session_id, test, series, value, low, high, ratio, "
                "ratio_low, ratio_high) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
  auto low = [](const std::optional<Interval>& i) { return i ? i->low : std::optional<double>(); };
  auto high = [](const std::optional<Interval>& i) {
    return i ? i->high : std::optional<double>();
  };
  for (const SessionFigure& f : figures) {
    add.bind(1, session)
        .bind(2, std::int64_t{f.test})
        .bind(3, static_cast<std::int64_t>(index_of(f.series)));
    add.bind(4, f.value).bind(5, low(f.interval)).bind(6, high(f.interval)).bind(7, f.ratio);
    add.bind(8, low(f.ratio_interval)).bind(9, high(f.ratio_interval)).step();
    add.reset();
  }
}

void add_verdicts(Store::Impl& s, std::int64_t comparison, const ExportFile& e) {
  Statement add(s,
                "INSERT INTO verdict(comparison_id, entry, test, series, ratio, low, high, p, "
                "p_adjusted, method, verdict) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
  for (const StoredVerdict& v : e.verdicts) {
    add.bind(1, comparison).bind(2, v.entry).bind(3, v.test).bind(4, v.series).bind(5, v.ratio);
    add.bind(6, v.low).bind(7, v.high).bind(8, v.p).bind(9, v.p_adjusted).bind(10, v.method);
    add.bind(11, v.verdict).step();
    add.reset();
  }
}

// The reference build's rounds of each session, by session number, where the
// entries are builds compared in the same rounds.
std::map<int, const std::vector<Round>*> reference_rounds(const std::vector<ExportFile>& entries) {
  std::map<int, const std::vector<Round>*> by_session;
  for (const ExportFile& e : entries) {
    if (e.reference.empty() || e.label != e.reference) continue;
    for (const std::vector<Round>& rounds : e.sessions) {
      if (!rounds.empty()) by_session[rounds.front().session] = &rounds;
    }
  }
  return by_session;
}

// What one entry's sessions are stored with: the machine's digest, and the
// reference build's rounds by session where the entry is compared with it.
struct EntryContext {
  std::string machine;
  std::map<int, const std::vector<Round>*> references;
  bool builds = false;  // labelled builds in the same rounds, not a single pair
  bool is_reference = false;
};

// One entry's new sessions, each with its rounds and figures; the numbers
// of those stored and of those held go to `stored` and `held_ones`.
void add_sessions(Store::Impl& s, const ExportFile& e, std::int64_t build, const EntryContext& with,
                  std::set<int>& stored, std::set<int>& held_ones) {
  Statement add(s,
                "INSERT INTO session(build_id, number, started_at, rounds, key) VALUES (?, ?, ?, "
                "?, ?)");
  for (std::size_t i = 0; i < e.sessions.size(); ++i) {
    const std::vector<Round>& rounds = e.sessions[i];
    if (rounds.empty()) continue;
    const int number = rounds.front().session;
    const std::string started = i < e.session_started.size() ? e.session_started[i] : "";
    const std::string key =
        session_key(with.machine, e.comparison_label, with.builds ? e.label : "", started, rounds);
    if (held(s, key)) {
      held_ones.insert(number);
      continue;
    }
    add.bind(1, build).bind(2, std::int64_t{number});
    add.bind(3, started.empty() ? e.started_at : started);
    add.bind(4, static_cast<std::int64_t>(rounds.size())).bind(5, key).step();
    add.reset();
    const std::int64_t session = sqlite3_last_insert_rowid(s.db);
    add_rounds(s, session, rounds, e.counts);
    const auto reference = with.references.find(number);
    const bool paired = !with.is_reference && reference != with.references.end();
    add_figures(s, session, session_figures(rounds, paired ? reference->second : nullptr));
    stored.insert(number);
  }
}

}  // namespace

Stored store_comparison(Store& store, const std::vector<ExportFile>& entries,
                        const StoreOptions& options) {
  Store::Impl& s = store.impl();
  if (entries.empty()) return {};
  for (const ExportFile& e : entries) refuse_repeated_rounds(e);
  execute(s, "BEGIN IMMEDIATE");
  try {
    const ExportFile& head = entries.front();
    EntryContext with{digest_of(machine_parts(head.machine)), reference_rounds(entries)};
    const std::int64_t comparison =
        comparison_id(s, head, machine_id(s, head.machine, with.machine));
    // Builds compared in the same rounds have labels; a single pair has none.
    with.builds = entries.size() > 1 || !head.reference.empty();
    std::set<int> stored, held_ones;
    for (const ExportFile& e : entries) {
      const std::int64_t build = build_id(s, e, comparison, with.builds, options);
      with.is_reference = with.builds && e.label == e.reference;
      add_sessions(s, e, build, with, stored, held_ones);
      add_verdicts(s, comparison, e);
    }
    execute(s, stored.empty() ? "ROLLBACK" : "COMMIT");
    std::size_t held_only = 0;
    for (const int number : held_ones) held_only += stored.count(number) == 0 ? 1 : 0;
    return {stored.size(), held_only};
  } catch (...) {
    sqlite3_exec(s.db, "ROLLBACK", nullptr, nullptr, nullptr);
    throw;
  }
}

}  // namespace compare
