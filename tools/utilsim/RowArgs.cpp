#include "tools/utilsim/RowArgs.h"

#include <fmt/format.h>

#include <sstream>

#include "tools/utilsim/Fields.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Options.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {

std::string Watched::name() const {
  return fmt::format("{} {} {}", table->name, copyText(key), keyText(*table, row));
}

std::vector<Watched> parseRows(const std::vector<std::string>& args) {
  std::vector<std::string> words;
  for (const auto& a : args) {
    std::istringstream in(a);
    for (std::string w; in >> w;) words.push_back(w);
  }
  if (words.empty())
    throw UsageError("history needs a row after the log (utilsim tables lists the tables)");
  std::vector<Watched> out;
  for (std::size_t i = 0; i < words.size();) {
    const TernAsicUtils::HwTableInfo* table = findHwTable(words[i]);
    if (table)
      ++i;
    else if (words[i] != "VSI" && words[i] != "fap" && words[i] != "instance")
      throw UsageError(
          fmt::format("history: '{}' is neither a table (utilsim tables lists them) nor VSI",
                      printable(words[i], 80)));
    unsigned fap = 0, instance = 0;
    const auto number = [&](const std::string& what, unsigned max) {
      if (i >= words.size() || words[i].empty() ||
          words[i].find_first_not_of("0123456789") != std::string::npos || words[i].size() > 10 ||
          std::stoull(words[i]) > max)
        throw UsageError(fmt::format("history: {} takes a number from 0 to {}", what, max));
      return unsigned(std::stoul(words[i++]));
    };
    while (i < words.size() && (words[i] == "fap" || words[i] == "instance")) {
      const bool isFap = words[i++] == "fap";
      (isFap ? fap : instance) = number(isFap ? "fap" : "instance", isFap ? 128 : 255);
    }
    const TernAsicUtils::HwShadowKey copy{SchanAccel::FapId(fap), std::uint8_t(instance)};
    if (i < words.size() && words[i] == "VSI") {
      ++i;
      const auto vsi = number("VSI", 0xffffffffu);
      bool any = false;
      for (const auto& [t, row] : vsiMapRows(vsi))
        if (!table || t == table) out.push_back({t, copy, row}), any = true;
      if (!any) throw UsageError(fmt::format("history: {} holds no VSI", table->name));
      continue;
    }
    if (!table) throw UsageError("history: a row names its table, or a VSI");
    const TableShape shape(*table);
    std::vector<std::uint32_t> values(shape.keys.size());
    std::vector<bool> given(shape.keys.size());
    if (i < words.size() && words[i] == "(register)") ++i;
    while (i < words.size() && words[i].find('=') != std::string::npos) {
      const auto eq = words[i].find('=');
      const auto name = words[i].substr(0, eq);
      std::size_t k = 0;
      while (k < shape.keys.size() && shape.keys[k].first != name) ++k;
      if (k == shape.keys.size())
        throw UsageError(
            fmt::format("history: {} has no key field '{}'", table->name, printable(name, 40)));
      words[i] = words[i].substr(eq + 1);
      values[k] = number(name, shape.keys[k].second);
      given[k] = true;
    }
    for (std::size_t k = 0; k < shape.keys.size(); ++k)
      if (!given[k])
        throw UsageError(
            fmt::format("history: the row of {} needs {}=N", table->name, shape.keys[k].first));
    const auto row = shape.rows.row(values);
    if (!row) throw UsageError(fmt::format("history: no row of {} has this key", table->name));
    out.push_back({table, copy, *row});
  }
  return out;
}

}  // namespace Utilsim
