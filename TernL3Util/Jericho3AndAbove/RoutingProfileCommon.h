// What the routing-profile tables share: the hardware index of a profile, the key hook of a
// table with memory arrays, the level-2 traces of their key and set hooks (each table traces
// under its own file identifier), and the two hooks of a table with one row per profile.
#pragma once

#include <concepts>

#include "TernAsicUtils/UtilDesc.h"

namespace TernL3Util::Jericho3AndAbove::RoutingProfile {
// Only the low eight bits of a profile id address the hardware; higher ids fold onto them.
constexpr std::uint32_t indexOf(std::uint32_t id) noexcept { return id & 0xff; }

// The traces' texts are built out of line; the level test stays in the caller.
void traceArrayKeyText(const TernAsicUtils::HookContext& ctx, const char* file,
                       const TernL3Ni::RoutingStateEntryKey& key, std::uint8_t array,
                       std::uint32_t index);
void traceUrpfText(const TernAsicUtils::HookContext& ctx, const char* file,
                   const TernL3Ni::RoutingStateLogEntry& entry);

// The key hook of a table with memory arrays: the key {Array, IndexOf(id)}, traced "SW entry
// key: <key>, HW entry: array <a>, <index>" (under File) before it is built, so that an index
// the key refuses is traced too.
template <class L, std::uint8_t Array, std::uint32_t (*IndexOf)(std::uint32_t), const char* File>
struct ArrayKeyHook {
  using Layout = L;
  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry& entry,
                              typename Layout::EntryKey& key) {
    const std::uint32_t index = IndexOf(entry.key().id);
    if (ctx.implTrace.enabled(2)) [[unlikely]]
      traceArrayKeyText(ctx, File, entry.key(), Array, index);
    key = typename Layout::EntryKey(Array, index);
  }
};

// "SW entry key <key>: HW key <hw>"
template <class HwKey>
void traceKey(const TernAsicUtils::HookContext& ctx, const char* file,
              const TernL3Ni::RoutingStateEntryKey& key, const HwKey& hw) {
  QEL_TRACE_STREAM(ctx.implTrace, 2, file, "doGetHwEntryKey")
      << "SW entry key " << key << ": HW key " << hw;
}

// "SW entry key: <key>, HW entryIndex: <index>, urpfState: <flags>"
inline void traceUrpf(const TernAsicUtils::HookContext& ctx, const char* file,
                      const TernL3Ni::RoutingStateLogEntry& entry) {
  if (ctx.implTrace.enabled(2)) [[unlikely]]
    traceUrpfText(ctx, file, entry);
}

// How a table's key hook renders the key in its trace: the key itself ("HW key { array: 3,
// entryIndex: 5 }") or the bare profile index ("HW key 5").
enum class KeyText { Key, Index };

// What a table with one row per routing profile gives TableLogic, one concept per member so
// that a missing or misspelt one is named (tableWellFormed).
template <class T>
concept GivesLayout = requires {
  typename T::Layout;
};
template <class T>
concept GivesFile = requires {
  { T::kFile } -> std::convertible_to<const char*>;
};
template <class T>
concept GivesKeyText = requires {
  { T::kKeyText } -> std::convertible_to<KeyText>;
};
// kArray exactly when the table's key has memory arrays.
template <class T>
concept GivesArrayAsTheKeyNeeds = requires(typename T::Layout::EntryKey k) {
  k.array;
}
== requires { T::kArray; };
template <class T>
concept GivesSet = requires(const TernAsicUtils::HookContext& c, std::uint32_t i,
                            const TernL3Ni::UrpfStateFlags& f, typename T::Layout::Entry& e) {
  { T::set(c, i, f, e) } -> std::same_as<void>;
};
template <class T>
concept RoutingProfileTable =
    GivesLayout<T> && GivesFile<T> && GivesKeyText<T> && GivesArrayAsTheKeyNeeds<T> && GivesSet<T>;

template <class T>
consteval bool tableWellFormed() {
  static_assert(GivesLayout<T>, "TableLogic: Layout: using Layout = the table's layout");
  static_assert(GivesFile<T>,
                "TableLogic: kFile: static constexpr const char* kFile = the file identifier "
                "its traces carry (its last part names the trace handle)");
  static_assert(GivesKeyText<T>,
                "TableLogic: kKeyText: static constexpr KeyText kKeyText = KeyText::Key or "
                "KeyText::Index, how the key hook's trace shows the key");
  if constexpr (GivesLayout<T>) {
    static_assert(GivesArrayAsTheKeyNeeds<T>,
                  "TableLogic: kArray: static constexpr std::uint8_t kArray = the memory array, "
                  "given exactly when the table's key has arrays");
    static_assert(GivesSet<T>,
                  "TableLogic: set: static void set(const HookContext&, std::uint32_t index, "
                  "const TernL3Ni::UrpfStateFlags&, Layout::Entry&)");
  }
  return true;
}

// The hooks of a table with one row per routing profile, fed by routing-profile entries. The
// key is the profile's index, in array Table::kArray when the key has arrays; the set hook
// traces the profile's uRPF state, then Table::set sets the row's fields from it. What Table
// gives is checked (RoutingProfileTable).
template <class Table>
struct TableLogic {
  static_assert(tableWellFormed<Table>());
  using Layout = typename Table::Layout;
  // The logic's trace handle is named after its file.
  static constexpr const char* kTraceName = [] {
    const char* name = Table::kFile;
    for (const char* c = Table::kFile; *c; ++c)
      if (*c == '/') name = c + 1;
    return name;
  }();
  static constexpr auto kEntryKind = TernL3Ni::RoutingStateEntryKind::RoutingProfile;

  static void doGetHwEntryKey(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                              const TernL3Ni::RoutingStateLogEntry& entry,
                              typename Layout::EntryKey& key) {
    const std::uint32_t index = indexOf(entry.key().id);
    if constexpr (requires { Table::kArray; })
      key = typename Layout::EntryKey(Table::kArray, index);
    else
      key = typename Layout::EntryKey(index);
    if constexpr (Table::kKeyText == KeyText::Index)
      traceKey(ctx, Table::kFile, entry.key(), static_cast<unsigned int>(index));
    else
      traceKey(ctx, Table::kFile, entry.key(), key);
  }
  static void doSetHwEntry(const TernAsicUtils::HookContext& ctx, Asic::UnitId,
                           const TernL3Ni::RoutingStateLogEntry& entry,
                           typename Layout::Entry& hwEntry) {
    traceUrpf(ctx, Table::kFile, entry);
    Table::set(ctx, indexOf(entry.key().id), entry.routingEnableProfile().urpfState, hwEntry);
  }
};
}  // namespace TernL3Util::Jericho3AndAbove::RoutingProfile
