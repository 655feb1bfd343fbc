#include "tools/utilsim/FastLine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <type_traits>

namespace Utilsim {
namespace {
// A known name with its closing quote, held as words to compare in place against a line: a
// mask keeps the bytes after the quote out of the comparison. A few word operations cost far
// less than a call to memcmp per name.
struct QuotedName {
  static constexpr std::size_t kWords = 3;  // the longest name (17 letters) and its quote
  std::array<std::uint64_t, kWords> text{}, mask{};
  std::size_t size = 0;  // letters and quote

  constexpr QuotedName() = default;
  consteval explicit QuotedName(std::string_view name) : size(name.size() + 1) {
    if (size > kWords * 8) throw "a name too long to compare in place";
    std::array<char, kWords * 8> t{}, m{};
    for (std::size_t i = 0; i < size; ++i) {
      t[i] = i < name.size() ? name[i] : '"';
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

// The names of each object's members, in the order they are tried (the most frequent first).
// Value members: the routing-state value's own, then the value fields of the trap table and of
// the MTU table, as their builders list them.
constexpr auto kTrapFields = Host::Log::TrapForwardAction::valueFields();
constexpr auto kMtuFields = Host::Log::MtuProfile::valueFields();
constexpr auto kUrpfFlags = Host::Log::RoutingState::urpfFlags();
constexpr unsigned kTrapFirst = kRoutingValueMembers.size();
constexpr unsigned kMtuFirst = kTrapFirst + kTrapFields.size();
constexpr unsigned kValues = kMtuFirst + kMtuFields.size();

template <std::size_t N, class Name>
consteval std::array<QuotedName, N> quoted(const std::array<Name, N>& names) {
  std::array<QuotedName, N> out;
  for (std::size_t i = 0; i < N; ++i) {
    if constexpr (std::is_same_v<Name, const char*>)
      out[i] = QuotedName(names[i]);
    else
      out[i] = QuotedName(names[i].name);
  }
  return out;
}
consteval std::array<QuotedName, kValues> valueNames() {
  std::array<QuotedName, kValues> out;
  const auto own = quoted(kRoutingValueMembers);
  const auto trap = quoted(kTrapFields);
  const auto mtu = quoted(kMtuFields);
  std::copy(own.begin(), own.end(), out.begin());
  std::copy(trap.begin(), trap.end(), out.begin() + kTrapFirst);
  std::copy(mtu.begin(), mtu.end(), out.begin() + kMtuFirst);
  return out;
}
constexpr auto kTopNames = quoted(kLineMembers);
constexpr auto kKeyNames = quoted(kRoutingKeyMembers);
constexpr auto kValueNames = valueNames();
constexpr auto kUrpfNames = quoted(kUrpfFlags);
constexpr auto kTableNames = quoted(kSwTableNames);  // in SwTable order
static_assert(kValues <= 32, "a bit per value member");

// Reads the lines nearly every log is made of without building a JSON document: the general
// checker (Input.cpp) costs tens of thousands of instructions a line, far too many for logs of
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
  static constexpr std::size_t kMaxBytes = kPlainLineMaxBytes;

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
  // A bit per member records that it was seen: a repeated name is an error the general
  // checker reports.
  static constexpr unsigned bit(unsigned member) { return 1u << member; }
  static constexpr unsigned bit(LineMember m) { return bit(unsigned(m)); }
  static constexpr unsigned bit(RoutingValue m) { return bit(unsigned(m)); }
  // Bits from..to-1.
  static constexpr unsigned bits(unsigned from, unsigned to) { return bit(to) - bit(from); }

  template <std::size_t N>
  struct Members {
    const std::array<QuotedName, N>& names;
    unsigned seen = 0;
  };

  bool topMember(unsigned member, InputEntry& e) {
    switch (LineMember(member)) {
      case LineMember::Table: {
        const unsigned t = oneOf(kTableNames);
        e.table = SwTable(t);
        return t < kTableNames.size();
      }
      case LineMember::FapId:
        return integer(e.fapId);
      case LineMember::InstanceId:
        return integer(e.instanceId);
      case LineMember::Delete:
        return boolean(e.isDelete);
      case LineMember::TableDelete:
        return boolean(e.tableDelete);
      case LineMember::Key:
        // An object for a routing-state key, an integer for the other tables; which one the
        // table wants is checked once the whole line is read, as the table may come later.
        keyIsObject_ = at('{');
        if (keyIsObject_)
          return object(key_, [&](unsigned m) {
            return m == 0 ? integer(e.routingState.id) : integer(e.routingState.type);
          });
        return integer(keyByte_);
      case LineMember::Value:
        return object(value_, [&](unsigned m) { return valueMember(m, e); });
    }
    return false;
  }

  // Value members are read into the entry whatever the table; complete() declines those the
  // table does not have, so a stray one never reaches an accepted entry.
  bool valueMember(unsigned member, InputEntry& e) {
    if (member >= kMtuFirst) return integer(e.mtuProfile.*kMtuFields[member - kMtuFirst].member);
    if (member >= kTrapFirst)
      return integer(e.trapForwardAction.*kTrapFields[member - kTrapFirst].member);
    switch (RoutingValue(member)) {
      case RoutingValue::ProfileMap:
        return integer(e.routingState.routingProfileMap);
      case RoutingValue::Flags:
        return flags(e.routingState.routingState);
      case RoutingValue::Urpf: {
        Members<kUrpfNames.size()> urpf{kUrpfNames};
        return object(urpf,
                      [&](unsigned m) { return integer(e.routingState.*kUrpfFlags[m].member); });
      }
    }
    return false;
  }

  // The rules that depend on more than one member: the table is required, the key too unless
  // the whole table goes, and the key and value members must be those of the table.
  bool complete(InputEntry& e) const {
    if (!(top_.seen & bit(LineMember::Table))) return false;
    const bool hasKey = top_.seen & bit(LineMember::Key);
    if (!hasKey && !e.tableDelete) return false;
    unsigned allowed = 0;
    switch (e.table) {
      case SwTable::RoutingState:
        if (hasKey && (!keyIsObject_ || !(key_.seen & bit(0)))) return false;  // 0: the id
        // The key type picks the value's shape; without a key (a table delete) any of them.
        if (!hasKey || e.routingState.type == 0) allowed |= bit(RoutingValue::ProfileMap);
        if (!hasKey || e.routingState.type != 0)
          allowed |= bit(RoutingValue::Flags) | bit(RoutingValue::Urpf);
        break;
      case SwTable::TrapForwardAction:
        if (keyIsObject_) return false;
        e.trapForwardAction.key = keyByte_;
        allowed = bits(kTrapFirst, kMtuFirst);
        break;
      case SwTable::MtuProfile:
        if (keyIsObject_) return false;
        e.mtuProfile.key = keyByte_;
        allowed = bits(kMtuFirst, kValues);
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
  unsigned oneOf(const std::array<QuotedName, N>& names) {
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
  Members<kTopNames.size()> top_{kTopNames};
  Members<kKeyNames.size()> key_{kKeyNames};
  Members<kValueNames.size()> value_{kValueNames};
  bool keyIsObject_ = false;  // the routing-state form of the key
  std::uint8_t keyByte_ = 0;  // the integer key of the trap and MTU tables
};

}  // namespace

bool readPlainLine(std::string_view line, unsigned number, InputEntry& entry) {
  return FastLine(line).read(number, entry);
}

}  // namespace Utilsim
