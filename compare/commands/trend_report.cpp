#include "compare/commands/trend_report.h"

#include "compare/export/trend.h"
#include "compare/render/format.h"
#include "compare/report/trend.h"

namespace compare {

int check_trend_outputs(const ExportPaths& paths, const std::string& history, std::ostream& err) {
  if (const int status =
          refuse_overwriting(named_exports(paths), {NamedFile{"--history", history}}, err);
      status != 0) {
    return status;
  }
  const std::string unwritable = unwritable_export(paths);
  return unwritable.empty() ? 0 : fail(err, unwritable);
}

int write_trend_report(const Trend& t, const ExportPaths& paths, std::ostream& out,
                       std::ostream& err) {
  return write_report(trend_text(t),
                      {{paths.json, [&] { return export_text(trend_json(t)); }},
                       {paths.csv, [&] { return trend_csv(t); }},
                       {paths.markdown, [&] { return trend_markdown(t); }},
                       {paths.html, [&] { return trend_html(t, paths.gnuplot); }}},
                      out, err);
}

}  // namespace compare
