#include "tools/utilsim/Input.h"

#include <fmt/format.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "host/HwTable.h"
#include "tools/utilsim/FastLine.h"
#include "tools/utilsim/Fields.h"
#include "tools/utilsim/JsonCheck.h"

namespace Utilsim {
namespace {
using Json = nlohmann::json;

// The numbers of a line that the parser reads as floating point (with a fraction, an exponent,
// or too many digits for 64 bits), as written, in order. The parsed document keeps only their
// value: `17.0` would show as 17, which hides why it is not an integer.
std::vector<std::string_view> floatTexts(std::string_view line) {
  std::vector<std::string_view> out;
  bool inString = false, escaped = false;
  for (std::size_t i = 0; i < line.size();) {
    const char c = line[i];
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
      ++i;
    } else if (c == '"') {
      inString = true;
      ++i;
    } else if (c == '-' || (c >= '0' && c <= '9')) {
      std::size_t j = i + 1;
      while (j < line.size() && std::strchr("0123456789.eE+-", line[j]) && line[j] != '\0') ++j;
      const auto text = line.substr(i, j - i);
      if (text.find_first_of(".eE") != text.npos || text.size() > 19) out.push_back(text);
      i = j;
    } else {
      ++i;
    }
  }
  return out;
}

// Checks the fields of one line, collecting every problem rather than stopping at the first.
class LineChecker {
 public:
  LineChecker(std::string_view text, unsigned line, std::vector<InputError>& errors)
      : text_(text), line_(line), errors_(errors) {}
  bool ok() const noexcept { return count_ == 0; }

  // A floating-point number as the line wrote it where it can be found, else as parsed.
  std::string written(const Json& v) const {
    const double value = v.get<double>();
    for (const auto text : floatTexts(text_))
      if (std::strtod(std::string(text).c_str(), nullptr) == value) return printable(text, 40);
    return fmt::format("{}", value);
  }

  std::string describe(const Json& v) const {
    if (v.is_number_float()) return written(v) + " (written with a fraction or exponent)";
    return describeJson(v);
  }

  void error(const std::string& path, const std::string& message) {
    ++count_;
    errors_.push_back({line_, 0, path.empty() ? message : path + ": " + message});
  }

  // An integer from 0 to max.
  template <class T>
  bool integer(const Json& v, const std::string& path, std::uint64_t max, T& out) {
    if (v.is_number_unsigned() && v.get<std::uint64_t>() <= max) {
      out = static_cast<T>(v.get<std::uint64_t>());
      return true;
    }
    // Integers beyond 64 bits reach us as floating-point numbers.
    const bool huge = v.is_number_float() && !(std::fabs(v.get<double>()) < 1.8e19);
    error(path,
          integerRangeMessage(v.is_number_integer() || huge, huge ? written(v) : describe(v), max));
    return false;
  }

  bool boolean(const Json& v, const std::string& path, bool& out) {
    if (v.is_boolean()) {
      out = v.get<bool>();
      return true;
    }
    error(path, "expected true or false, got " + describe(v));
    return false;
  }

  // A flag byte: 0 to 255, or a boolean (1 for true).
  bool flag(const Json& v, const std::string& path, std::uint8_t& out) {
    if (v.is_boolean()) {
      out = v.get<bool>() ? 1 : 0;
      return true;
    }
    if (v.is_number_integer()) return integer(v, path, 255, out);
    error(path, "expected a byte (0 to 255) or a boolean, got " + describe(v));
    return false;
  }

  bool object(const Json& v, const std::string& path) {
    if (v.is_object()) return true;
    error(path, "expected an object, got " + describe(v));
    return false;
  }

  // Reports every field of the object that is not in the allowed list.
  template <class Names = std::initializer_list<const char*>>
  void onlyFields(const Json& obj, const std::string& prefix, const Names& allowed) {
    for (const auto& [name, value] : obj.items()) {
      bool known = false;
      for (const char* a : allowed) known = known || name == a;
      if (!known) error(prefix + printable(name, 40), "unknown field");
    }
  }

 private:
  std::string_view text_;
  unsigned line_;
  std::vector<InputError>& errors_;
  unsigned count_ = 0;
};

const Json* field(const Json& obj, const char* name) {
  const auto it = obj.find(name);
  return it == obj.end() ? nullptr : &*it;
}

// "\"a\", \"b\" or \"c\"", for a message that lists what is expected.
template <class Names>
std::string alternatives(const Names& names) {
  std::string out;
  std::size_t left = 0;
  for (const char* n : names) left += *n != '\0';
  for (const char* n : names) {
    if (*n == '\0') continue;
    out += fmt::format("\"{}\"{}", n, --left > 1 ? ", " : left == 1 ? " or " : "");
  }
  return out;
}

void checkValue(LineChecker& c, const Json* key, const Json* value, Host::Log::RoutingState& r) {
  const auto [idName, typeName] = kRoutingKeyMembers;
  const auto [mapName, flagsName, urpfName] = kRoutingValueMembers;
  bool typeKnown = false;
  if (key && c.object(*key, "key")) {
    c.onlyFields(*key, "key.", kRoutingKeyMembers);
    if (const Json* id = field(*key, idName))
      c.integer(*id, fmt::format("key.{}", idName), 0xffffffffu, r.id);
    else
      c.error("key", fmt::format("missing field '{}'", idName));
    if (const Json* type = field(*key, typeName))
      typeKnown = c.integer(*type, fmt::format("key.{}", typeName), 255, r.type);
    else
      typeKnown = true;  // absent type: a VSI entry
  }
  if (!value || !c.object(*value, "value")) return;
  const bool vsi = r.type == 0;
  for (const auto& [name, v] : value->items()) {
    const auto path = "value." + printable(name, 40);
    if (name == mapName) {
      if (typeKnown && !vsi)
        c.error(path, fmt::format("belongs to a VSI entry (key type 0); key type {} is a "
                                  "routing-profile entry (types 1 to 255), which takes {} and {}",
                                  r.type, flagsName, urpfName));
      else
        c.integer(v, path, 255, r.routingProfileMap);
    } else if (name == flagsName || name == urpfName) {
      if (typeKnown && vsi) {
        c.error(path, fmt::format("belongs to a routing-profile entry (key types 1 to 255); key "
                                  "type 0 is a VSI entry, which takes {}",
                                  mapName));
      } else if (name == flagsName) {
        if (!v.is_array() || v.size() != kRoutingFlags) {
          c.error(path, "expected an array of five flags, got " + c.describe(v));
          continue;
        }
        for (unsigned i = 0; i < kRoutingFlags; ++i)
          c.flag(v[i], fmt::format("{}[{}]", path, i), r.routingState[i]);
      } else {
        if (!c.object(v, path)) continue;
        constexpr auto flags = Host::Log::RoutingState::urpfFlags();
        std::array<const char*, flags.size()> names;
        for (std::size_t i = 0; i < flags.size(); ++i) names[i] = flags[i].name;
        c.onlyFields(v, path + ".", names);
        for (const auto& f : flags)
          if (const Json* j = field(v, f.name))
            c.flag(*j, fmt::format("{}.{}", path, f.name), r.*f.member);
      }
    } else {
      c.error(path, "unknown field");
    }
  }
}

// Trap and MTU entries: a one-byte key, and the value fields of the table, each an integer
// of its field's width.
template <class Value>
void checkValue(LineChecker& c, const Json* key, const Json* value, Value& v) {
  if (key) c.integer(*key, "key", 255, v.key);
  if (!value || !c.object(*value, "value")) return;
  constexpr auto fields = Value::valueFields();
  std::array<const char*, fields.size()> names;
  for (std::size_t i = 0; i < fields.size(); ++i) names[i] = fields[i].name;
  c.onlyFields(*value, "value.", names);
  for (const auto& f : fields) {
    using Field = std::remove_reference_t<decltype(v.*f.member)>;
    if (const Json* j = field(*value, f.name))
      c.integer(*j, std::string("value.") + f.name, std::numeric_limits<Field>::max(), v.*f.member);
  }
}

// A host operation: {"op", "hwTable", "fapId", "instanceId"} and, to read a row, its "key"
// by the table's key field names.
void checkHostOp(LineChecker& c, const Json& doc, InputEntry& e) {
  c.onlyFields(doc, "", {"op", "hwTable", "fapId", "instanceId", "key"});
  if (const Json* f = field(doc, "fapId")) c.integer(*f, "fapId", 255, e.fapId);
  if (const Json* f = field(doc, "instanceId")) c.integer(*f, "instanceId", 255, e.instanceId);
  const Json& op = doc["op"];
  const auto known = std::find_if(kHostOpNames.begin() + 1, kHostOpNames.end(),
                                  [&](const char* name) { return op == name; });
  if (known != kHostOpNames.end())
    e.op = HostOp(known - kHostOpNames.begin());
  else
    c.error("op", fmt::format("unknown operation {} (expected {})", c.describe(op),
                              alternatives(kHostOpNames)));
  const Json* name = field(doc, "hwTable");
  if (!name) return c.error("", "missing field 'hwTable'");
  const auto& all = TernAsicUtils::HwTableInfo::all();
  const auto* found =
      name->is_string() ? findHwTable(name->get_ref<const std::string&>()) : nullptr;
  if (!found)
    return c.error("hwTable", "unknown hardware table " + c.describe(*name) +
                                  " (utilsim list shows the tables)");
  const auto it = std::find(all.begin(), all.end(), found);
  e.hwTable = std::uint8_t(it - all.begin());
  const Json* key = field(doc, "key");
  if (e.op != HostOp::ReadShadowEntry) {
    if (key) c.error("key", "only readShadowEntry takes a key");
    return;
  }
  const TableShape shape(*found);
  if (!key && !shape.keys.empty()) return c.error("", "missing field 'key'");
  if (key && !c.object(*key, "key")) return;
  std::vector<std::uint32_t> want;
  for (const auto& [name, largest] : shape.keys) {
    std::uint32_t v = 0;
    const Json* f = field(*key, name.c_str());
    if (!f) return c.error("key", fmt::format("missing field '{}'", name));
    if (!c.integer(*f, fmt::format("key.{}", name), largest, v)) return;
    want.push_back(v);
  }
  if (key)
    for (const auto& item : key->items()) {
      const std::string& n = item.key();
      if (std::none_of(shape.keys.begin(), shape.keys.end(),
                       [&](const auto& k) { return n == k.first; }))
        return c.error("key." + printable(n, 40), "unknown field");
    }
  if (const auto row = shape.rows.row(want))
    e.row = std::uint16_t(*row);
  else
    c.error("key", fmt::format("names no row of {}", found->name));
}

void checkEntry(LineChecker& c, const Json& doc, InputEntry& e) {
  if (!doc.is_object()) {
    c.error("", "expected a JSON object, got " + c.describe(doc));
    return;
  }
  if (doc.contains("op")) return checkHostOp(c, doc, e);
  const auto member = [](LineMember m) { return nameOf(kLineMembers, m); };
  c.onlyFields(doc, "", kLineMembers);
  if (const Json* f = field(doc, member(LineMember::FapId))) c.integer(*f, "fapId", 255, e.fapId);
  if (const Json* f = field(doc, member(LineMember::InstanceId)))
    c.integer(*f, "instanceId", 255, e.instanceId);
  if (const Json* f = field(doc, member(LineMember::Delete))) c.boolean(*f, "delete", e.isDelete);
  if (const Json* f = field(doc, member(LineMember::TableDelete)))
    c.boolean(*f, "tableDelete", e.tableDelete);

  const Json* table = field(doc, member(LineMember::Table));
  if (!table) {
    c.error("", "missing field 'table'");
    return;
  }
  const auto known = std::find_if(kSwTableNames.begin(), kSwTableNames.end(),
                                  [&](const char* name) { return *table == name; });
  if (known == kSwTableNames.end()) {
    c.error("table", fmt::format("unknown table {} (expected {})", c.describe(*table),
                                 alternatives(kSwTableNames)));
    return;
  }
  e.table = SwTable(known - kSwTableNames.begin());
  const Json* key = field(doc, member(LineMember::Key));
  if (!key && !e.tableDelete) c.error("", "missing field 'key' (only a table delete may omit it)");
  const Json* value = field(doc, member(LineMember::Value));
  visitValue(e, [&](auto& v) { checkValue(c, key, value, v); });
}

// Depth of array/object nesting, counted without parsing, so that absurdly deep input is
// refused before the parser sees it.
bool tooDeep(std::string_view line) {
  unsigned depth = 0;
  bool inString = false, escaped = false;
  for (const char ch : line) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (ch == '\\')
        escaped = true;
      else if (ch == '"')
        inString = false;
    } else if (ch == '"') {
      inString = true;
    } else if (ch == '[' || ch == '{') {
      if (++depth > InputLimits::kMaxDepth) return true;
    } else if ((ch == ']' || ch == '}') && depth > 0) {
      --depth;
    }
  }
  return false;
}

}  // namespace

bool checkLine(std::string_view line, unsigned number, InputEntry& entry,
               std::vector<InputError>& errors) {
  if (line.size() <= kPlainLineMaxBytes && readPlainLine(line, number, entry)) return true;
  return checkLineSlow(line, number, entry, errors);
}

bool checkLineSlow(std::string_view line, unsigned number, InputEntry& entry,
                   std::vector<InputError>& errors) {
  LineChecker c(line, number, errors);
  if (line.size() > InputLimits::kMaxLineBytes) {
    errors.push_back(lineTooLong(number));
    return false;
  }
  if (tooDeep(line)) {
    c.error("", fmt::format("nesting deeper than {} levels", InputLimits::kMaxDepth));
    return false;
  }
  Json doc;
  if (const auto error = parseJson(line, doc)) {
    c.error("", error->message);
    // The parser counts the byte it stopped at from 1; past the end means the line ended early.
    if (error->byte)
      errors.back().column = unsigned(std::min<std::size_t>(error->byte, line.size() + 1));
    return false;
  }
  entry = InputEntry{};
  entry.line = number;
  checkEntry(c, doc, entry);
  return c.ok();
}

InputError lineTooLong(unsigned line) {
  return {line, 0, fmt::format("line is longer than {} bytes", InputLimits::kMaxLineBytes)};
}

std::string printable(std::string_view text, std::size_t max) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (out.size() >= max) {
      out += "...";
      break;
    }
    const auto ch = static_cast<unsigned char>(text[i]);
    if (ch >= 0x20 && ch < 0x7f)
      out += char(ch);
    else
      out += fmt::format("\\x{:02x}", unsigned(ch));
  }
  return out;
}

}  // namespace Utilsim
