// history/: what earlier comparisons left behind, read back and compared: the
// one reader of bench_compare's JSON export (for --baseline and --merge
// alike), a baseline's notes, and the merge of many exports with its report
// and page. Uses model.h, export/, stats/, report/ and render/; runs nothing
// but gnuplot.
//
// This header: the reader. Each part of an export is read by its type's
// reader in export/, beside its writer; here are the checks of the whole
// (its kind and limits). An export may come from another machine or person,
// so every check is made as it is read, once, and every text it holds is
// made printable (render/table.h): a control character in a label or a
// compiler string is shown as an escape such as "\x1b", never passed on to a
// terminal. Escaping rather than refusing keeps an export whose only fault is
// an odd character usable, and shows the reader what was there.
#pragma once

#include <cstddef>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "compare/export/round.h"
#include "compare/export/verdict.h"
#include "compare/model.h"

namespace compare {

// What an export may hold. A real export stays far inside each; beyond one
// the export is refused rather than read.
// Nesting of arrays and objects, checked while parsing, so that nothing
// ever walks a deeper value (an export itself nests 7 levels at most).
inline constexpr int kMaxExportDepth = 64;
// Rounds, counting each build's in an export of builds. A round with every
// figure (--counters), each at its widest, takes 5.5 KB of export (its
// session's list repeats it), so the largest export of real rounds is some
// 523 MiB; the size allowed leaves a fifth more.
inline constexpr std::size_t kMaxExportRounds = 100000;
inline constexpr std::size_t kMaxExportBytes = std::size_t{640} << 20;
inline constexpr std::size_t kMaxExportSessions = 10000;  // as --sessions allows
inline constexpr std::size_t kMaxExportBuilds = 16;       // as --build allows
// A round's times are at most kMaxSeconds (export/round.h).

// A merge's own export: bench_compare's, but not a comparison's.
class MergeExportFound : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One comparison as read back from its JSON export.
struct ExportFile {
  std::string path;
  std::string label;  // the export's own, else the file name without ".json"
  std::string version;
  nlohmann::json method;  // the method object, its seed aside, to tell other methods apart
  std::string started_at;
  std::string finished_at;
  MachineRecord machine;
  ProgramRecord random, fixed;
  std::vector<std::string> warnings;
  std::string stopped;  // empty when the comparison ran to its end
  // Of an export of several builds: the build they were compared with.
  std::string reference;
  // The counted rounds of each session, in session order (an export without
  // sessions is one session); each round keeps its session's number.
  std::vector<std::vector<Round>> sessions;
  std::vector<std::string> session_started;  // each session's start, where known
  // The comparison's own label (the host name by default; for each build
  // of several the label above is the build's); empty where it has none.
  std::string comparison_label;
  CountsByRound counts;  // with --counters: each counted round's counts
  // The verdicts the export holds on this entry: of a pair, its baseline's;
  // of a build, those naming it.
  std::vector<StoredVerdict> verdicts;
};

// Reads an export; throws std::runtime_error with one line naming the file
// and what is wrong with it: not a regular file, not readable, not JSON, not
// bench_compare's, of a version this one cannot read, without rounds, with a
// malformed round, or beyond one of the limits above (MergeExportFound for a
// merge's export).
ExportFile read_export(const std::string& path);

// The same for --merge: one entry per build of an export of several builds
// (each labelled with its build), else the one comparison.
std::vector<ExportFile> read_exports(const std::string& path);

// The same from an export's text already read, `path` naming it in errors.
std::vector<ExportFile> exports_from_text(const std::string& text, const std::string& path);

}  // namespace compare
