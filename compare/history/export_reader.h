// history/: what earlier comparisons left behind, read back and compared: the
// one reader of bench_compare's JSON export (for --baseline and --merge
// alike), a baseline's notes, and the merge of many exports with its report
// and page. Uses model.h, stats/, report/ and render/; runs nothing but
// gnuplot.
//
// This header: the reader. An export may come from another machine or
// person, so every check is made here, once, and every text it holds is made
// printable (render/table.h) as it is read: a control character in a label
// or a compiler string is shown as an escape such as "\x1b", never passed on
// to a terminal. Escaping rather than refusing keeps an export whose only
// fault is an odd character usable, and shows the reader what was there.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "compare/model.h"

namespace compare {

// One comparison as read back from its JSON export.
struct ExportFile {
  std::string path;
  std::string label;  // the export's own, else the file name without ".json"
  std::string version;
  std::string method;  // the method object as compact JSON, to tell other methods apart
  std::string started_at;
  std::string finished_at;
  MachineRecord machine;
  ProgramRecord random, fixed;
  std::vector<std::string> warnings;
  std::string stopped;  // empty when the comparison ran to its end
  // The counted rounds of each session, in session order (an export without
  // sessions is one session); each round keeps its session's number.
  std::vector<std::vector<Round>> sessions;
  std::vector<std::string> session_started;  // each session's start, where known
};

// Reads an export; throws std::runtime_error with one line naming the file
// and what is wrong with it: not readable, not JSON, not bench_compare's, of
// a version this one cannot read, without rounds, or with a malformed round.
ExportFile read_export(const std::string& path);

// The same for --merge: one entry per build of an export of several builds
// (each labelled with its build), else the one comparison.
std::vector<ExportFile> read_exports(const std::string& path);

// The machine and programs of an export as to_json writes them; what is
// missing or not text is "unknown" (an empty path). Texts are printable.
MachineRecord machine_from_json(const nlohmann::json& machine);
void programs_from_json(const nlohmann::json& programs, ProgramRecord& random,
                        ProgramRecord& fixed);

}  // namespace compare
