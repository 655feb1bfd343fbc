// utilsim list: what the plug-in registers, one line (or JSON object) per registration.
#include <algorithm>
#include <exception>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tools/utilsim/Commands.h"

namespace Utilsim {

int list(const Options& o) {
  Host::PluginLibrary lib(o.plugin);
  TernAsicUtils::UtilHolderContext context;
  Host::startUtilPlugins(context);
  const auto records = lib.plugins();
  struct Row {
    std::string util, plugin, swTable, revision, hwTable;
  };
  std::vector<Row> rows;
  for (const auto& r : context.registrations()) {
    Row row{r.key.utilName, "(no plug-in record)", fmt::format("{}", r.key.swTableId),
            revisionName(r.key.fapRevision), ""};
    for (const auto& p : records)
      if (p.name == r.key.utilName + "Plugin") row.plugin = p.name;
    try {
      const Pavo::Ptr<TernAsicUtils::TableManager> scratch(new TernAsicUtils::TableManager);
      row.hwTable = context.build(r, scratch)->hwTableType();
    } catch (const std::exception& e) {
      row.hwTable = std::string("(building the Util failed: ") + e.what() + ")";
    }
    rows.push_back(std::move(row));
  }
  if (rows.empty()) warn("{} registers no Util", o.plugin);
  std::string out;
  if (o.json) {
    nlohmann::ordered_json doc = nlohmann::ordered_json::array();
    for (const auto& r : rows)
      doc.push_back({{"util", r.util},
                     {"plugin", r.plugin},
                     {"swTableId", r.swTable},
                     {"fapRevision", r.revision},
                     {"hwTableType", r.hwTable}});
    out = doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  } else {
    std::size_t wu = 4, wp = 6;
    for (const auto& r : rows) wu = std::max(wu, r.util.size()), wp = std::max(wp, r.plugin.size());
    out = fmt::format("{:<{}}  {:<{}}  {:<10}  {:<11}  {}\n", "Util", wu, "Plugin", wp, "swTableId",
                      "fapRevision", "hwTableType");
    for (const auto& r : rows)
      out += fmt::format("{:<{}}  {:<{}}  {:<10}  {:<11}  {}\n", r.util, wu, r.plugin, wp,
                         r.swTable, r.revision, r.hwTable);
    out += counted(rows.size(), "registration", "registrations") + "\n";
  }
  writeOut(out);
  return kExitOk;
}

}  // namespace Utilsim
