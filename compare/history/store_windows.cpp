// The Windows build has no SQLite (Debian packages none for MinGW): --history
// is refused there, in one line, before anything runs.
#include "compare/history/store.h"

namespace compare {

namespace {

const char* const kUnavailable = "--history is not available in the Windows build";

}  // namespace

std::string history_unavailable() { return kUnavailable; }

struct Store::Impl {};

Store::Store(const std::string& /*path*/, Access /*access*/) { throw StoreError(kUnavailable); }
Store::~Store() = default;
Store::Store(Store&&) noexcept = default;
Store& Store::operator=(Store&&) noexcept = default;
const std::string& Store::path() const {
  static const std::string none;
  return none;
}

Stored store_comparison(Store& /*store*/, const std::vector<ExportFile>& /*entries*/,
                        const StoreOptions& /*options*/) {
  throw StoreError(kUnavailable);
}

std::vector<StoredFigure> read_figures(Store& /*store*/, const HistoryFilter& /*filter*/) {
  throw StoreError(kUnavailable);
}

}  // namespace compare
