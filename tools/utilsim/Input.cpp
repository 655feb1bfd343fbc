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

void checkValue(LineChecker& c, const Json* key, const Json* value, Host::Log::RoutingState& r) {
  bool typeKnown = false;
  if (key && c.object(*key, "key")) {
    c.onlyFields(*key, "key.", {"id", "type"});
    if (const Json* id = field(*key, "id"))
      c.integer(*id, "key.id", 0xffffffffu, r.id);
    else
      c.error("key", "missing field 'id'");
    if (const Json* type = field(*key, "type"))
      typeKnown = c.integer(*type, "key.type", 255, r.type);
    else
      typeKnown = true;  // absent type: a VSI entry
  }
  if (!value || !c.object(*value, "value")) return;
  const bool vsi = r.type == 0;
  for (const auto& [name, v] : value->items()) {
    if (name == "routingProfileMap") {
      if (typeKnown && !vsi)
        c.error("value.routingProfileMap",
                fmt::format("belongs to a VSI entry (key type 0), not to a routing-profile "
                            "entry (key type {})",
                            r.type));
      else
        c.integer(v, "value.routingProfileMap", 255, r.routingProfileMap);
    } else if (name == "routingState" || name == "urpfState") {
      if (typeKnown && vsi) {
        c.error("value." + name,
                "belongs to a routing-profile entry (key type other than 0), not to a VSI "
                "entry (key type 0)");
      } else if (name == "routingState") {
        if (!v.is_array() || v.size() != 5) {
          c.error("value.routingState", "expected an array of five flags, got " + c.describe(v));
          continue;
        }
        for (unsigned i = 0; i < 5; ++i)
          c.flag(v[i], fmt::format("value.routingState[{}]", i), r.routingState[i]);
      } else {
        if (!c.object(v, "value.urpfState")) continue;
        constexpr auto flags = Host::Log::RoutingState::urpfFlags();
        std::array<const char*, flags.size()> names;
        for (std::size_t i = 0; i < flags.size(); ++i) names[i] = flags[i].name;
        c.onlyFields(v, "value.urpfState.", names);
        for (const auto& f : flags)
          if (const Json* j = field(v, f.name))
            c.flag(*j, std::string("value.urpfState.") + f.name, r.*f.member);
      }
    } else {
      c.error("value." + printable(name, 40), "unknown field");
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
  if (op == "clearHwTable")
    e.op = HostOp::ClearHwTable;
  else if (op == "readShadowEntry")
    e.op = HostOp::ReadShadowEntry;
  else
    c.error("op", "unknown operation " + c.describe(op) +
                      " (expected \"clearHwTable\" or \"readShadowEntry\")");
  const Json* name = field(doc, "hwTable");
  if (!name) return c.error("", "missing field 'hwTable'");
  const auto& all = TernAsicUtils::HwTableInfo::all();
  const auto it = std::find_if(
      all.begin(), all.end(), [&](const auto* t) { return name->is_string() && *name == t->name; });
  if (it == all.end())
    return c.error("hwTable", "unknown hardware table " + c.describe(*name) +
                                  " (utilsim list shows the tables)");
  e.hwTable = std::uint8_t(it - all.begin());
  const Json* key = field(doc, "key");
  if (e.op != HostOp::ReadShadowEntry) {
    if (key) c.error("key", "only readShadowEntry takes a key");
    return;
  }
  const auto& table = **it;
  std::vector<const char*> names;
  table.keyFields(0, [&](const char* n, std::uint32_t) { names.push_back(n); });
  if (!key && !names.empty()) return c.error("", "missing field 'key'");
  if (key && !c.object(*key, "key")) return;
  std::vector<std::uint32_t> want;
  for (const char* n : names) {
    std::uint32_t v = 0;
    const Json* f = field(*key, n);
    if (!f) return c.error("key", std::string("missing field '") + n + "'");
    if (!c.integer(*f, std::string("key.") + n, 0xffffffffu, v)) return;
    want.push_back(v);
  }
  if (key)
    for (const auto& item : key->items()) {
      const std::string& n = item.key();
      if (std::find_if(names.begin(), names.end(), [&](const char* k) { return n == k; }) ==
          names.end())
        return c.error("key." + printable(n, 40), "unknown field");
    }
  if (const auto row = RowFinder(table).row(want))
    e.row = std::uint16_t(*row);
  else
    c.error("key", fmt::format("names no row of {}", table.name));
}

void checkEntry(LineChecker& c, const Json& doc, InputEntry& e) {
  if (!doc.is_object()) {
    c.error("", "expected a JSON object, got " + c.describe(doc));
    return;
  }
  if (doc.contains("op")) return checkHostOp(c, doc, e);
  c.onlyFields(doc, "", {"table", "fapId", "instanceId", "delete", "tableDelete", "key", "value"});
  if (const Json* f = field(doc, "fapId")) c.integer(*f, "fapId", 255, e.fapId);
  if (const Json* f = field(doc, "instanceId")) c.integer(*f, "instanceId", 255, e.instanceId);
  if (const Json* f = field(doc, "delete")) c.boolean(*f, "delete", e.isDelete);
  if (const Json* f = field(doc, "tableDelete")) c.boolean(*f, "tableDelete", e.tableDelete);

  const Json* table = field(doc, "table");
  if (!table) {
    c.error("", "missing field 'table'");
    return;
  }
  const std::string name = table->is_string() ? table->get<std::string>() : std::string();
  if (name == "routingState")
    e.table = SwTable::RoutingState;
  else if (name == "trapForwardAction")
    e.table = SwTable::TrapForwardAction;
  else if (name == "mtuProfile")
    e.table = SwTable::MtuProfile;
  else {
    c.error("table", "unknown table " + c.describe(*table) +
                         " (expected \"routingState\", \"trapForwardAction\" or \"mtuProfile\")");
    return;
  }
  const Json* key = field(doc, "key");
  if (!key && !e.tableDelete) c.error("", "missing field 'key' (only a table delete may omit it)");
  const Json* value = field(doc, "value");
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

// A known name with its closing quote, held as words to compare in place against a line: a
// mask keeps the bytes after the quote out of the comparison. A few word operations cost far
// less than a call to memcmp per name.
struct QuotedName {
  static constexpr std::size_t kWords = 3;  // the longest name (17 letters) and its quote
  std::array<std::uint64_t, kWords> text{}, mask{};
  std::size_t size = 0;  // letters and quote

  template <std::size_t N>  // N counts the terminating NUL, where the quote goes
  consteval QuotedName(const char (&name)[N]) : size(N) {
    static_assert(N <= kWords * 8);
    std::array<char, kWords * 8> t{}, m{};
    for (std::size_t i = 0; i < N; ++i) {
      t[i] = i + 1 < N ? name[i] : '"';
      m[i] = char(0xff);
    }
    // bit_cast keeps the byte order of the machine, the same as a load from the line.
    text = std::bit_cast<decltype(text)>(t);
    mask = std::bit_cast<decltype(mask)>(m);
  }

  // Whether the bytes at s are this name and its quote; s must have kWords * 8 readable bytes.
  bool at(const char* s) const {
    for (std::size_t w = 0; w < kWords && mask[w] != 0; ++w) {
      std::uint64_t word;
      std::memcpy(&word, s + w * 8, sizeof word);
      if ((word ^ text[w]) & mask[w]) return false;
    }
    return true;
  }
};

// Reads the lines nearly every log is made of without building a JSON document: the general
// checker below costs tens of thousands of instructions a line, far too many for logs of
// millions of entries. It knows only the plain form of the fixed schema and declines at the
// first thing it is not sure of (errors included), leaving that line to the general checker,
// which stays the one authority on what is valid and how errors are worded. So it must never
// accept a line the general checker refuses nor read one differently; the fuzz target checks
// that on every line it tries.
//
// It reads a copy of the line followed by NUL bytes. A NUL matches nothing the reader expects,
// so every scan stops at the end without a bounds check, and comparing a name in place may
// look a few bytes past the end. (A NUL within the line is declined the same way: the general
// parser refuses it.) The cursor never rests on whitespace: each token skips the whitespace
// after it, so a check for the next token that fails (a ',' where the object ends) costs a
// single comparison.
class FastLine {
 public:
  // Longer lines, rare and unlike what writers produce, are left to the general checker.
  static constexpr std::size_t kMaxBytes = 480;

  // Only for lines of at most kMaxBytes.
  explicit FastLine(std::string_view line) : end_(text_ + line.size()) {
    std::memcpy(text_, line.data(), line.size());
    std::memset(text_ + line.size(), 0, kPadding);
    skipSpace();
  }

  // True with the entry filled when the line is valid and plain; false (entry untouched) when
  // the general checker has to decide.
  bool read(unsigned number, InputEntry& entry) {
    InputEntry e;
    e.line = number;
    if (!object(top_, [&](unsigned member) { return topMember(member, e); }) || p_ != end_ ||
        !complete(e))
      return false;
    entry = e;
    return true;
  }

 private:
  // Members of each object; a bit per member records that it was seen, since a repeated name
  // is an error the general checker reports.
  // (Names are tried in this order, so the most frequent come first.)
  enum Top : unsigned { kTable, kKey, kValue, kDelete, kFapId, kInstanceId, kTableDelete };
  enum Key : unsigned { kId, kType };
  enum Value : unsigned {
    kRoutingProfileMap,
    kRoutingState,
    kUrpfState,
    kOutPort,
    kStampValue,
    kMtuBytes
  };
  static constexpr QuotedName kTopNames[] = {"table", "key",        "value",      "delete",
                                             "fapId", "instanceId", "tableDelete"};
  static constexpr QuotedName kKeyNames[] = {"id", "type"};
  static constexpr QuotedName kValueNames[] = {"routingProfileMap", "routingState", "urpfState",
                                               "outPort",           "stampValue",   "mtuBytes"};
  static constexpr QuotedName kUrpfNames[] = {"ipv4Enabled", "ipv6Enabled", "ipv4Strict",
                                              "ipv6Strict", "allowDefault"};
  static constexpr QuotedName kTableNames[] = {"routingState", "trapForwardAction",
                                               "mtuProfile"};  // in SwTable order
  static constexpr unsigned bit(unsigned member) { return 1u << member; }

  template <std::size_t N>
  struct Members {
    const QuotedName (&names)[N];
    unsigned seen = 0;
  };

  bool topMember(unsigned member, InputEntry& e) {
    switch (member) {
      case kTable: {
        const unsigned t = oneOf(kTableNames);
        e.table = SwTable(t);
        return t < std::size(kTableNames);
      }
      case kFapId:
        return integer(e.fapId);
      case kInstanceId:
        return integer(e.instanceId);
      case kDelete:
        return boolean(e.isDelete);
      case kTableDelete:
        return boolean(e.tableDelete);
      case kKey:
        // An object for a routing-state key, an integer for the other tables; which one the
        // table wants is checked once the whole line is read, as the table may come later.
        keyIsObject_ = at('{');
        if (keyIsObject_)
          return object(key_, [&](unsigned m) {
            return m == kId ? integer(e.routingState.id) : integer(e.routingState.type);
          });
        return integer(keyByte_);
      case kValue:
        return object(value_, [&](unsigned m) { return valueMember(m, e); });
    }
    return false;
  }

  // Value members are read into the entry whatever the table; complete() declines those the
  // table does not have, so a stray one never reaches an accepted entry.
  bool valueMember(unsigned member, InputEntry& e) {
    switch (member) {
      case kRoutingProfileMap:
        return integer(e.routingState.routingProfileMap);
      case kRoutingState:
        return flags(e.routingState.routingState);
      case kUrpfState: {
        Members<std::size(kUrpfNames)> urpf{kUrpfNames};
        return object(urpf, [&](unsigned m) {
          return integer(e.routingState.*Host::Log::RoutingState::urpfFlags()[m].member);
        });
      }
      case kOutPort:
        return integer(e.trapForwardAction.outPort);
      case kStampValue:
        return integer(e.trapForwardAction.stampValue);
      case kMtuBytes:
        return integer(e.mtuProfile.mtuBytes);
    }
    return false;
  }

  // The rules that depend on more than one member: the table is required, the key too unless
  // the whole table goes, and the key and value members must be those of the table.
  bool complete(InputEntry& e) const {
    if (!(top_.seen & bit(kTable))) return false;
    const bool hasKey = top_.seen & bit(kKey);
    if (!hasKey && !e.tableDelete) return false;
    unsigned allowed = 0;
    switch (e.table) {
      case SwTable::RoutingState:
        if (hasKey && (!keyIsObject_ || !(key_.seen & bit(kId)))) return false;
        // The key type picks the value's shape; without a key (a table delete) any of them.
        if (!hasKey || e.routingState.type == 0) allowed |= bit(kRoutingProfileMap);
        if (!hasKey || e.routingState.type != 0) allowed |= bit(kRoutingState) | bit(kUrpfState);
        break;
      case SwTable::TrapForwardAction:
        if (keyIsObject_) return false;
        e.trapForwardAction.key = keyByte_;
        allowed = bit(kOutPort) | bit(kStampValue);
        break;
      case SwTable::MtuProfile:
        if (keyIsObject_) return false;
        e.mtuProfile.key = keyByte_;
        allowed = bit(kMtuBytes);
        break;
    }
    return (value_.seen & ~allowed) == 0;
  }

  // JSON whitespace: exactly these four bytes. (The loop works on a local copy of the cursor:
  // a char read may alias the member, which would cost a store and a load a byte.)
  void skipSpace() {
    const char* p = p_;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') ++p;
    p_ = p;
  }

  bool at(char c) const { return *p_ == c; }

  // Takes the token c and the whitespace after it.
  bool eat(char c) {
    if (!at(c)) return false;
    ++p_;
    skipSpace();
    return true;
  }

  // A string that is one of names, as its index; N for any other string, which is declined.
  // Names are plain ASCII letters, so a name followed by a quote is the whole string: one with
  // an escape, control bytes or invalid UTF-8 never matches.
  template <std::size_t N>
  unsigned oneOf(const QuotedName (&names)[N]) {
    if (!at('"')) return N;
    const char* text = p_ + 1;
    for (unsigned i = 0; i < N; ++i) {
      if (names[i].at(text)) {
        p_ = text + names[i].size;
        skipSpace();
        return i;
      }
    }
    return N;
  }

  // `{"name": value, ...}`; readValue(member) reads the value of each member named in
  // members.names. An unknown or repeated name declines.
  template <std::size_t N, class ReadValue>
  bool object(Members<N>& members, ReadValue&& readValue) {
    if (!eat('{')) return false;
    if (eat('}')) return true;
    do {
      const unsigned member = oneOf(members.names);
      if (member == N || (members.seen & bit(member)) || !eat(':')) return false;
      members.seen |= bit(member);
      if (!readValue(member)) return false;
    } while (eat(','));
    return eat('}');
  }

  // A plain decimal integer that fits T, the range every numeric field has. A sign, a
  // fraction, an exponent or a leading zero declines: the general parser reads those as
  // other number types or refuses them. So does a value beyond the range, which the general
  // checker reports.
  template <class T>
  bool integer(T& out) {
    constexpr std::uint64_t max = std::numeric_limits<T>::max();
    const char* p = p_;
    if (!digit(*p)) return false;
    std::uint64_t v = 0;
    if (*p == '0') {
      ++p;
    } else {
      // v stays within max (at most 32 bits) before each step, so it cannot overflow.
      for (; digit(*p); ++p)
        if ((v = v * 10 + unsigned(*p - '0')) > max) return false;
    }
    if (digit(*p) || *p == '.' || *p == 'e' || *p == 'E') return false;
    p_ = p;
    skipSpace();
    out = T(v);
    return true;
  }
  static bool digit(char c) { return c >= '0' && c <= '9'; }

  // Only true and false. Whatever follows the word must be the next token of the object, so
  // "truex" is declined there.
  bool boolean(bool& out) {
    if (word("true"))
      out = true;
    else if (word("false"))
      out = false;
    else
      return false;
    skipSpace();
    return true;
  }
  bool word(std::string_view w) {
    if (std::memcmp(p_, w.data(), w.size()) != 0) return false;
    p_ += w.size();
    return true;
  }

  // Exactly five flags, written as bytes (booleans are left to the general checker).
  bool flags(std::array<std::uint8_t, 5>& out) {
    if (!eat('[')) return false;
    for (std::size_t i = 0; i < out.size(); ++i)
      if ((i > 0 && !eat(',')) || !integer(out[i])) return false;
    return eat(']');
  }

  // Room for the NUL bytes after the line, enough for a name compared from the line's end.
  static constexpr std::size_t kPadding = QuotedName::kWords * 8;
  char text_[kMaxBytes + kPadding];
  const char* p_ = text_;
  const char* end_;
  Members<std::size(kTopNames)> top_{kTopNames};
  Members<std::size(kKeyNames)> key_{kKeyNames};
  Members<std::size(kValueNames)> value_{kValueNames};
  bool keyIsObject_ = false;  // the routing-state form of the key
  std::uint8_t keyByte_ = 0;  // the integer key of the trap and MTU tables
};

}  // namespace

bool checkLine(std::string_view line, unsigned number, InputEntry& entry,
               std::vector<InputError>& errors) {
  if (line.size() <= FastLine::kMaxBytes && FastLine(line).read(number, entry)) return true;
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

const char* hostOpName(HostOp op) noexcept {
  switch (op) {
    case HostOp::None:
      return "";
    case HostOp::ClearHwTable:
      return "clearHwTable";
    case HostOp::ReadShadowEntry:
      return "readShadowEntry";
  }
  return "?";
}

const char* swTableName(SwTable t) noexcept {
  switch (t) {
    case SwTable::RoutingState:
      return "routingState";
    case SwTable::TrapForwardAction:
      return "trapForwardAction";
    case SwTable::MtuProfile:
      return "mtuProfile";
  }
  return "?";
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
