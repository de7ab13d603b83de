#include "compare/commands/history.h"

#include <algorithm>
#include <filesystem>

#include "compare/commands/outputs.h"
#include "compare/history/export_reader.h"
#include "compare/history/store.h"
#include "compare/history/store_parts.h"
#include "compare/render/table.h"
#include "compare/running/files.h"
#include "compare/running/machine.h"

namespace compare {

namespace {

// The files named, each directory's *.json files in name order in its place.
std::vector<std::string> import_files(const std::vector<std::string>& paths, std::ostream& err,
                                      bool& ok) {
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  for (const std::string& path : paths) {
    std::error_code ec;
    if (!fs::is_directory(fs::u8path(path), ec)) {
      files.push_back(path);  // a missing file is reported when it is read
      continue;
    }
    std::vector<std::string> found;
    fs::directory_iterator entry(fs::u8path(path), ec);
    for (; !ec && entry != fs::directory_iterator(); entry.increment(ec)) {
      if (entry->path().extension() == ".json") found.push_back(entry->path().u8string());
    }
    if (ec) {
      ok = false;
      fail(err, fmt::format("{} cannot be read: {}", path, ec.message()));
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
  }
  return files;
}

std::string sessions_said(const Stored& total) {
  return fmt::format("stored {} session{}, {} already held", total.sessions,
                     total.sessions == 1 ? "" : "s", total.held);
}

}  // namespace

std::string history_unusable(const std::string& history) {
  if (!history_unavailable().empty()) return history_unavailable();
  // A history yet to be made is made when the comparison is stored: a run
  // that ends before any round leaves none behind.
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::u8path(history), ec) && !ec) {
    const std::string why = unwritable(history);
    return why.empty() ? "" : fmt::format("cannot write {}: {}", history, why);
  }
  try {
    Store store(history, Store::Access::Append);
  } catch (const StoreError& error) {
    return error.what();
  }
  return {};
}

bool append_history(const std::string& history, const std::string& export_text, std::ostream& out,
                    std::ostream& err) {
  try {
    Store store(history, Store::Access::Append);
    const Stored stored = store_comparison(store, exports_from_text(export_text, history));
    out << "History " << printable(history) << ": " << sessions_said(stored) << "\n";
    return true;
  } catch (const std::exception& error) {
    fail(err, fmt::format("the comparison is not stored in the history: {}", error.what()));
    return false;
  }
}

int import_exports(const std::string& history, const std::vector<std::string>& inputs,
                   std::ostream& out, std::ostream& err) {
  std::optional<Store> store;
  try {
    store.emplace(history, Store::Access::Append);
  } catch (const StoreError& error) {
    return fail(err, error.what());
  }
  bool ok = true;
  const std::vector<std::string> files = import_files(inputs, err, ok);
  // A program's file is digested only where it is the one that ran: an
  // export of this machine (another's paths name other files).
  const std::vector<std::string> here = machine_parts(read_machine());
  Stored total;
  for (const std::string& file : files) {
    try {
      const std::vector<ExportFile> entries = read_exports(file);
      StoreOptions options;
      options.digest_programs = !entries.empty() && machine_parts(entries.front().machine) == here;
      const Stored stored = store_comparison(*store, entries, options);
      total.sessions += stored.sessions;
      total.held += stored.held;
    } catch (const std::exception& error) {
      ok = false;
      fail(err, error.what());
    }
  }
  out << sessions_said(total) << "\n";
  return ok ? 0 : kFailed;
}

}  // namespace compare
