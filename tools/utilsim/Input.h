// Reading a replay log: JSON Lines text in, software entries or input errors out.
//
// It knows the host's table descriptions (for the host operations a log may hold) but not the
// plug-in, so that it can be driven on its own (by tests or a fuzz target) with arbitrary
// bytes.
#pragma once

#include <array>
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "host/LogEntryBuilders.h"

namespace Utilsim {

enum class SwTable : std::uint8_t { RoutingState, TrapForwardAction, MtuProfile };

// The names a log line uses, each written here once: the reader of plain lines, the general
// checker and the writer of a line's `entry` take them from these lists (the value fields of
// the trap and MTU tables and the uRPF flags from the builders' own, host/LogEntryBuilders.h).
inline constexpr std::array<const char*, 3> kSwTableNames = {"routingState", "trapForwardAction",
                                                             "mtuProfile"};  // by SwTable
// A line's members, the most frequent first (the reader of plain lines tries them in order).
enum class LineMember : unsigned { Table, Key, Value, Delete, FapId, InstanceId, TableDelete };
inline constexpr std::array<const char*, 7> kLineMembers = {
    "table", "key", "value", "delete", "fapId", "instanceId", "tableDelete"};
// The members of a routing-state key, and of its value (the VSI's profile map, the profile's
// routing flags and uRPF flags).
inline constexpr std::array<const char*, 2> kRoutingKeyMembers = {"id", "type"};
enum class RoutingValue : unsigned { ProfileMap, Flags, Urpf };
inline constexpr std::array<const char*, 3> kRoutingValueMembers = {"routingProfileMap",
                                                                    "routingState", "urpfState"};
inline constexpr std::size_t kRoutingFlags = 5;  // routingState holds exactly five

// Name used in the log and in the output: "routingState", "trapForwardAction", "mtuProfile".
inline const char* swTableName(SwTable t) noexcept { return kSwTableNames[std::size_t(t)]; }
template <class Names, class E>
constexpr const char* nameOf(const Names& names, E e) noexcept {
  return names[std::size_t(e)];
}

// Besides log entries, a log may hold the agent's other calls of a Util.
enum class HostOp : std::uint8_t {
  None,             // a software log entry
  ClearHwTable,     // clearHwTable of one shadow copy, its commands executed
  ReadShadowEntry,  // readShadowEntry of one row
};
inline constexpr std::array<const char*, 3> kHostOpNames = {"", "clearHwTable", "readShadowEntry"};
inline const char* hostOpName(HostOp op) noexcept { return kHostOpNames[std::size_t(op)]; }

// One software log entry (or host operation) as the log file gives it.
struct InputEntry {
  unsigned line = 0;  // 1-based line number in the file
  HostOp op = HostOp::None;
  std::uint8_t hwTable = 0;  // operations: index into TernAsicUtils::HwTableInfo::all()
  std::uint16_t row = 0;     // readShadowEntry: the row its key names
  SwTable table = SwTable::RoutingState;
  std::uint8_t fapId = 0;
  std::uint8_t instanceId = 0;
  bool isDelete = false;
  bool tableDelete = false;
  // The value of the entry's table (the other two are unused).
  Host::Log::RoutingState routingState;
  Host::Log::TrapForwardAction trapForwardAction;
  Host::Log::MtuProfile mtuProfile;
};

// Calls fn with the value of the entry's software table: the one place that pairs each table
// with its member.
template <class Entry, class Fn>
requires std::same_as<std::remove_const_t<Entry>, InputEntry>
decltype(auto) visitValue(Entry& e, Fn&& fn) {
  switch (e.table) {
    case SwTable::RoutingState:
      return fn(e.routingState);
    case SwTable::TrapForwardAction:
      return fn(e.trapForwardAction);
    case SwTable::MtuProfile:
      break;
  }
  return fn(e.mtuProfile);
}

struct InputError {
  unsigned line = 0;    // 0: the text as a whole
  unsigned column = 0;  // 1-based byte column of a JSON syntax error; 0: the line as a whole
  std::string message;
};

// Limits that keep hostile input from costing unbounded time or memory.
struct InputLimits {
  static constexpr std::size_t kMaxLineBytes = 1 << 20;
  static constexpr unsigned kMaxDepth = 8;         // nesting of arrays and objects
  static constexpr std::size_t kMaxErrors = 1000;  // errors reported before giving up
};

// Checks one line of the log that is neither blank nor a comment (the caller skips those and
// strips the line end). A valid line fills `entry` (with `entry.line = number`) and returns
// true; otherwise every problem of the line is appended to `errors` and it returns false.
// Never throws for any input text (other than std::bad_alloc).
bool checkLine(std::string_view line, unsigned number, InputEntry& entry,
               std::vector<InputError>& errors);

// checkLine without its fast path: the general JSON parser decides every line. checkLine reads
// plain valid lines with a small parser of its own and leaves every other line to this one, so
// the two must agree on every line; this is exposed for the fuzz target that checks they do.
bool checkLineSlow(std::string_view line, unsigned number, InputEntry& entry,
                   std::vector<InputError>& errors);

// The error of a line longer than InputLimits::kMaxLineBytes (a reader that cuts such a line
// short reports it with this).
InputError lineTooLong(unsigned line);

// Escapes bytes that are not printable ASCII as \xNN, and shortens the text to about max
// bytes, so that any input can be quoted safely in a message.
std::string printable(std::string_view text, std::size_t max = 60);

}  // namespace Utilsim
