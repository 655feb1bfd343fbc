#include "tools/utilsim/Input.h"
#include "tools/utilsim/Report.h"

namespace Utilsim {
namespace {
using Json = nlohmann::json;

std::string shortDump(const Json& v) {
  return printable(v.dump(-1, ' ', false, Json::error_handler_t::replace), 120);
}

std::string pointerToken(const std::string& key) {
  std::string s;
  for (const char ch : key) {
    if (ch == '~')
      s += "~0";
    else if (ch == '/')
      s += "~1";
    else
      s += ch;
  }
  return s;
}

struct Differ {
  std::size_t max;
  std::size_t total = 0;
  std::vector<std::string> lines;

  void add(const std::string& path, std::string text) {
    if (total++ < max) lines.push_back((path.empty() ? "/" : path) + ": " + std::move(text));
  }

  void walk(const std::string& path, const Json& expected, const Json& actual) {
    if (expected.is_object() && actual.is_object()) {
      for (const auto& [key, value] : expected.items()) {
        const auto it = actual.find(key);
        if (it == actual.end())
          add(path + "/" + pointerToken(key), "missing (expected " + shortDump(value) + ")");
        else
          walk(path + "/" + pointerToken(key), value, *it);
      }
      for (const auto& [key, value] : actual.items())
        if (!expected.contains(key))
          add(path + "/" + pointerToken(key), "unexpected (got " + shortDump(value) + ")");
    } else if (expected.is_array() && actual.is_array()) {
      const std::size_t common = std::min(expected.size(), actual.size());
      for (std::size_t i = 0; i < common; ++i)
        walk(path + "/" + std::to_string(i), expected[i], actual[i]);
      if (expected.size() != actual.size())
        add(path, "expected " + std::to_string(expected.size()) + " elements, got " +
                      std::to_string(actual.size()));
    } else if (expected != actual) {
      add(path, "expected " + shortDump(expected) + ", got " + shortDump(actual));
    }
  }
};
}  // namespace

std::vector<std::string> jsonDiff(const Json& expected, const Json& actual, std::size_t max) {
  Differ d{max, 0, {}};
  d.walk("", expected, actual);
  if (d.total > max)
    d.lines.push_back("... and " + std::to_string(d.total - max) + " more differences");
  return d.lines;
}

}  // namespace Utilsim
