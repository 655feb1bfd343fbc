// The shapes a table's row format is made of: the key kinds, the two map shapes several
// tables share, TERN_PLAIN_ENTRY for an entry of plain fields, and TERN_HW_TABLE, the row of
// a table in the registry. Each table has its own header in host/tables/ (its layout and its
// row), so that a change of one table recompiles only what uses that table; host/HwTables.h
// lists them all.
//
// Row spaces (docs/hardware-tables.md): tables with an `array` key field have four arrays
// of their entry range; the other keys index their rows directly, the trap and MTU keys up
// to and including their null value.
#pragma once

#include <array>
#include <stdexcept>
#include <string>

#include "host/HwTable.h"
#include "host/TypeList.h"

namespace TernAsicUtils {
// A key value out of its range. Both revisions name the a0 key type, whose bounds the b0
// classes share: "bcm88890_a0::<table>::EntryKey::<field> < ...::<low> or > ...::<high> not
// allowed". Built only when a key is refused.
[[noreturn]] void throwKeyRange(const char* table, const char* field, const char* low,
                                const char* high);

// Key {array, entryIndex}. Tables whose key refuses large indexes give the text.
template <class Tag, std::uint8_t DefaultArray, std::uint32_t IndexMax, bool Checked>
struct ArrayIndexKey {
  std::uint8_t array = DefaultArray;
  std::uint32_t entryIndex = 0;
  ArrayIndexKey() noexcept = default;
  ArrayIndexKey(std::uint8_t a, std::uint32_t index) : array(a), entryIndex(index) {
    if constexpr (Checked) {
      if (index > IndexMax)
        throwKeyRange(HwTableRow<Tag>::kName, "entryIndex", "entryIndexMin", "entryIndexMax");
    }
  }
  static constexpr unsigned kRowsPerArray = IndexMax + 1;
  static constexpr unsigned kRows = 4 * kRowsPerArray;
  unsigned row() const noexcept {
    return array < 4 && entryIndex <= IndexMax ? array * kRowsPerArray + entryIndex : ~0u;
  }
  static ArrayIndexKey ofRow(unsigned r) noexcept {
    ArrayIndexKey k;
    k.array = std::uint8_t(r / kRowsPerArray);
    k.entryIndex = r % kRowsPerArray;
    return k;
  }
  static void fields(unsigned r, const KeyFieldSink& s) {
    const auto k = ofRow(r);
    s("array", k.array);
    s("entryIndex", k.entryIndex);
  }
  void strep(Pavo::StrepBuf& b) const {
    Pavo::strepFormat(b, "{{ array: {}, entryIndex: {} }}", array, entryIndex);
  }
};

// Key {entryIndex}.
template <class Tag, std::uint32_t Rows>
struct IndexKey {
  std::uint32_t entryIndex = 0;
  IndexKey() noexcept = default;
  explicit IndexKey(std::uint32_t index) noexcept : entryIndex(index) {}
  static constexpr unsigned kRows = Rows;
  unsigned row() const noexcept { return entryIndex < Rows ? entryIndex : ~0u; }
  static IndexKey ofRow(unsigned r) noexcept { return IndexKey(r); }
  static void fields(unsigned r, const KeyFieldSink& s) { s("entryIndex", r); }
  void strep(Pavo::StrepBuf& b) const { Pavo::strepFormat(b, "{{ entryIndex: {} }}", entryIndex); }
};

// Key of a register: one entry.
template <class Tag>
struct RegisterKey {
  static constexpr unsigned kRows = 1;
  unsigned row() const noexcept { return 0; }
  static RegisterKey ofRow(unsigned) noexcept { return {}; }
  static void fields(unsigned, const KeyFieldSink&) {}
  void strep(Pavo::StrepBuf& b) const { Pavo::strepAppend(b, "{ }"); }
};

// Key {value}, accepted from 0 up to its null value.
template <class Tag, std::uint32_t Null>
struct ValueKey {
  static constexpr std::uint32_t min = 0;
  static constexpr std::uint32_t null = Null;
  std::uint32_t value = 0;
  ValueKey() noexcept = default;
  explicit ValueKey(std::uint32_t v) : value(v) {
    if (v > Null) throwKeyRange(HwTableRow<Tag>::kName, "value", "min", "null");
  }
  static constexpr unsigned kRows = Null + 1;
  unsigned row() const noexcept { return value <= Null ? value : ~0u; }
  static ValueKey ofRow(unsigned r) noexcept {
    ValueKey k;
    k.value = r;
    return k;
  }
  static void fields(unsigned r, const KeyFieldSink& s) { s("value", r); }
  void strep(Pavo::StrepBuf& b) const { Pavo::strepFormat(b, "{{ value: {} }}", value); }
};

// Builds the table description of a layout.
template <class Layout>
struct LayoutInfo {
  using Key = typename Layout::EntryKey;
  using Entry = typename Layout::Entry;
  static Pavo::String keyText(unsigned r) { return QelPavo::Impl::valueToStrep(Key::ofRow(r)); }
  static Pavo::String entryText(const std::uint32_t* w) {
    Entry e{Key{}};
    e.decode(w);
    return QelPavo::Impl::valueToStrep(e);
  }
  static int readShadowEntry(int (*inspect)(void*, const Pavo::FieldDescriptor&, int, void* const*,
                                            void*),
                             void* util, HwShadowKey key, unsigned row, std::uint32_t* words) {
    auto fap = key.fapId();
    auto instance = key.instanceId();
    auto k = Key::ofRow(row);
    Entry e{Key{}};
    void* args[] = {&fap, &instance, &k};
    const int answer = inspect(util, Pavo::FieldDescriptor{"readShadowEntry"}, 10, args, &e);
    e.encode(words);
    return answer;
  }
  // The table object of a registered table, in the class of the key's revision.
  template <class A0, class B0>
  static HwCommonTableBase* makeRevision(TypeList<A0, B0>, TableManager& manager,
                                         const HwTableKey& key) {
    // A new table object registers itself in the manager's collection, which then owns it.
    if (key.fapRevision.chipType() == Hardware::kChipBcm88890B0)
      return new B0(B0::kTableName, key, &manager);
    return new A0(A0::kTableName, key, &manager);
  }
  static HwCommonTableBase* makeTable(TableManager& manager, const HwTableKey& key) {
    return makeRevision(typename HwTableRow<Layout>::Revisions{}, manager, key);
  }
  static constexpr HwTableInfo make() {
    using Row = HwTableRow<Layout>;
    HwCommonTableBase* (*maker)(TableManager&, const HwTableKey&) = nullptr;
    if constexpr (requires { typename Row::Revisions; }) maker = &makeTable;
    return HwTableInfo{Row::kName,    Row::kBlock,      Row::kOpcode,        Key::kRows,
                       Entry::kWords, &Key::fields,     &Entry::fieldsOf,    &keyText,
                       &entryText,    &readShadowEntry, &Entry::fieldLimits, &Entry::fromFields,
                       maker};
  }
};

namespace Layouts {
// Four VSIs share an entry: four 4-bit routing profiles.
template <std::uint8_t DefaultArray>
struct VsiToRoutingProfileMap {
  using EntryKey = ArrayIndexKey<VsiToRoutingProfileMap, DefaultArray, 255, false>;
  // Slot s holds bits 4s to 4s+3 of the row's one word.
  class Entry : public detail::PackedHwEntry<Entry, EntryKey, 1> {
   public:
    using detail::PackedHwEntry<Entry, EntryKey, 1>::PackedHwEntry;
    U4 routingProfile(unsigned slot) const {
      checkSlot(slot);
      return U4((word() >> (4 * slot)) & 0xf);
    }
    void routingProfileIs(unsigned slot, U4 v) {
      checkSlot(slot);
      wordIs((word() & ~(0xfu << (4 * slot))) | (std::uint32_t(v) << (4 * slot)));
    }
    template <class Self, class V>
    static void describe(Self& e, V& v) {
      std::array<U4, 4> slots;
      for (unsigned s = 0; s < 4; ++s) slots[s] = e.routingProfile(s);
      v("routingProfile", slots);
      if constexpr (!std::is_const_v<Self>)
        for (unsigned s = 0; s < 4; ++s) e.routingProfileIs(s, slots[s]);
    }

   private:
    static void checkSlot(unsigned slot) {
      if (slot >= 4) [[unlikely]]
        throw std::out_of_range("routingProfile: slot " + std::to_string(slot) + " >= 4");
    }
    std::uint32_t word() const noexcept { return this->template bits<0, 32>(); }
    void wordIs(std::uint32_t w) noexcept { this->template bitsIs<0, 32>(w); }
  };
  static unsigned row(const EntryKey& k) noexcept { return k.row(); }
};

// Sixteen routing profiles per array, each a routing enable vector.
template <std::uint8_t DefaultArray>
struct RoutingProfileToVectorMap {
  using EntryKey = ArrayIndexKey<RoutingProfileToVectorMap, DefaultArray, 15, true>;
  // The row is the vector's nine words.
  static constexpr unsigned kWords = Brim::PerUnitBitmap::kDefaultWords;
  class Entry : public detail::PackedHwEntry<Entry, EntryKey, kWords> {
   public:
    using detail::PackedHwEntry<Entry, EntryKey, kWords>::PackedHwEntry;
    Brim::PerUnitBitmap routingEnableVector() const noexcept {
      Brim::PerUnitBitmap m;
      std::uint32_t w[kWords];
      this->encode(w);
      m.wordsIs(w);
      return m;
    }
    // Words past the row's nine are not kept; missing ones are zero.
    void routingEnableVectorIs(const Brim::PerUnitBitmap& v) noexcept {
      std::uint32_t w[kWords] = {};
      for (unsigned i = 0; i < kWords && i < v.size(); ++i) w[i] = v.data()[i];
      this->decode(w);
    }
    template <class Self, class V>
    static void describe(Self& e, V& v) {
      Brim::PerUnitBitmap m = e.routingEnableVector();
      v("routingEnableVector", m);
      if constexpr (!std::is_const_v<Self>) e.routingEnableVectorIs(m);
    }
  };
  static unsigned row(const EntryKey& k) noexcept { return k.row(); }
};

// Entries of plain fields: FIELDS(X) lists X(type, name) per field, in row-format order;
// each field gets `name()` and `nameIs(value)`, which read and change the row in place. The
// row takes as many words as the fields' widths need. (The TERN_ENTRY_ macros are the
// callbacks TERN_PLAIN_ENTRY hands the list; every table header expands it.)
#define TERN_ENTRY_INDEX(T, name) k_##name,
#define TERN_ENTRY_WIDTH(T, name) ::TernAsicUtils::detail::FieldCodec::Width<T>::bits,
#define TERN_ENTRY_ACCESSORS(T, name)                              \
  T name() const noexcept {                                        \
    constexpr unsigned kOffset = Fields::offset(Fields::k_##name); \
    constexpr unsigned kBits = Fields::kWidths[Fields::k_##name];  \
    return static_cast<T>(bits<kOffset, kBits>());                 \
  }                                                                \
  void name##Is(T v) noexcept {                                    \
    constexpr unsigned kOffset = Fields::offset(Fields::k_##name); \
    constexpr unsigned kBits = Fields::kWidths[Fields::k_##name];  \
    bitsIs<kOffset, kBits>(std::uint32_t(v));                      \
  }
#define TERN_ENTRY_DESCRIBE(T, name)                     \
  {                                                      \
    T f = e.name();                                      \
    v(#name, f);                                         \
    if constexpr (!std::is_const_v<Self>) e.name##Is(f); \
  }
#define TERN_PLAIN_ENTRY(FIELDS)                                                                 \
  struct Fields {                                                                                \
    enum : unsigned { FIELDS(TERN_ENTRY_INDEX) kFieldCount };                                    \
    static constexpr unsigned kWidths[] = {FIELDS(TERN_ENTRY_WIDTH)};                            \
    static constexpr unsigned offset(unsigned i) {                                               \
      unsigned o = 0;                                                                            \
      for (unsigned j = 0; j < i; ++j) o += kWidths[j];                                          \
      return o;                                                                                  \
    }                                                                                            \
    static constexpr unsigned kWords = ::TernAsicUtils::detail::FieldCodec::wordsFor(kWidths);   \
  };                                                                                             \
  class Entry : public ::TernAsicUtils::detail::PackedHwEntry<Entry, EntryKey, Fields::kWords> { \
   public:                                                                                       \
    using PackedHwEntry::PackedHwEntry;                                                          \
    FIELDS(TERN_ENTRY_ACCESSORS)                                                                 \
    template <class Self, class V>                                                               \
    static void describe(Self& e, V& v) {                                                        \
      FIELDS(TERN_ENTRY_DESCRIBE)                                                                \
    }                                                                                            \
  };                                                                                             \
  static unsigned row(const EntryKey& k) noexcept { return k.row(); }
}  // namespace Layouts
}  // namespace TernAsicUtils

// A table of the registry, written after its layout (in namespace TernAsicUtils::Layouts),
// at global scope: its row (the table class name, the block its commands address and their
// opcode) and its table class in each revision, whose tracker doubles as the class's
// exact-type tag. Block: the table's own, unique in its low byte among all tables (the index
// HwTableInfo::byBlock uses; host/HwTables.h checks it).
#define TERN_HW_TABLE(Name, Layout, Block, Opcode)                        \
  namespace bcm88890_a0 {                                                 \
  class Name;                                                             \
  }                                                                       \
  namespace bcm88890_b0 {                                                 \
  class Name;                                                             \
  }                                                                       \
  template <>                                                             \
  struct TernAsicUtils::HwTableRow<TernAsicUtils::Layouts::Layout> {      \
    static constexpr const char* kName = #Name;                           \
    static constexpr std::uint16_t kBlock = Block;                        \
    static constexpr auto kOpcode = SchanAccel::SchanOpcode::Opcode;      \
    using Revisions = TypeList<::bcm88890_a0::Name, ::bcm88890_b0::Name>; \
    static const HwTableInfo info;                                        \
  };                                                                      \
  TERN_HW_TABLE_REVISION(bcm88890_a0, Name, Layout)                       \
  TERN_HW_TABLE_REVISION(bcm88890_b0, Name, Layout)                       \
  TERN_HW_TABLE_OBJECTS(Name, Layout)
// The class of one revision (part of TERN_HW_TABLE).
#define TERN_HW_TABLE_REVISION(Rev, Name, Layout)                                         \
  class Rev::Name final                                                                   \
      : public ::TernAsicUtils::HwTableT<::Rev::Name, ::TernAsicUtils::Layouts::Layout> { \
   public:                                                                                \
    static constexpr const char* kClassName = #Rev "::" #Name;                            \
    static ::Qel::AllocTrackTypeInfo memAllocationTracker_;                               \
    using HwTableT::HwTableT;                                                             \
  };
namespace TernAsicUtils {
namespace detail {
template <class Revisions, Hardware::ChipType Chip>
struct RevisionOf;
template <class A0, class B0, Hardware::ChipType Chip>
struct RevisionOf<TypeList<A0, B0>, Chip> {
  static_assert(Chip == Hardware::kChipBcm88890A0 || Chip == Hardware::kChipBcm88890B0,
                "a table has a class for chip types 21 and 23 only");
  using type = std::conditional_t<Chip == Hardware::kChipBcm88890B0, B0, A0>;
};
}  // namespace detail
// The table class of a registered table's layout in the revision of a chip type.
template <class Layout, Hardware::ChipType Chip>
using HwTableClass =
    typename detail::RevisionOf<typename HwTableRow<Layout>::Revisions, Chip>::type;
}  // namespace TernAsicUtils

// The objects each row declares (the description, the two trackers) are defined by the one
// file that defines the registry's objects (host/HwTableInfo.cpp), which defines this macro
// before it includes the tables; everywhere else they are only declared.
#ifndef TERN_HW_TABLE_OBJECTS
#define TERN_HW_TABLE_OBJECTS(Name, Layout)
#endif
