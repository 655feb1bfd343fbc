// What a host program knows of a hardware table without its C++ type: its key in the table
// manager, how commands address it, its rows, and the names of its key and entry fields.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "host/Reflection.h"
#include "host/Schan.h"
#include "host/Types.h"

namespace TernAsicUtils {
class HwCommonTableBase;
class TableManager;

struct HwTableKey {
  Pavo::String name;  // table class name without namespace
  Hardware::Tern::FapRevision fapRevision;
  std::size_t hash(std::size_t seed) const noexcept;
  bool operator==(const HwTableKey&) const = default;
  void strep(Pavo::StrepBuf& b) const;
};
struct HwTableKeyHash {
  std::size_t operator()(const HwTableKey& k) const noexcept { return k.hash(0); }
};

using KeyFieldSink = std::function<void(const char* name, std::uint32_t value)>;
using EntryFieldSink =
    std::function<void(const char* name, const std::uint32_t* values, unsigned count, bool list)>;

// What a host program needs to know of a table without its C++ type: how commands address
// it, its rows, and the names of its key and entry fields.
struct HwTableInfo {
  const char* name;
  std::uint16_t block;
  SchanAccel::SchanOpcode opcode;
  unsigned rows;
  unsigned wordsPerRow;
  void (*keyFields)(unsigned row, const KeyFieldSink& sink);
  void (*entryFields)(const std::uint32_t* words, const EntryFieldSink& sink);
  Pavo::String (*rowKeyText)(unsigned row);
  Pavo::String (*rowEntryText)(const std::uint32_t* words);
  // Calls a Util's readShadowEntry through its reflection class (whose operation is given)
  // with the key of the row, and encodes the entry it returns into words. Answers what the
  // operation answered (0: done).
  int (*readShadowEntry)(int (*inspect)(void*, const Pavo::FieldDescriptor&, int, void* const*,
                                        void*),
                         void* util, HwShadowKey key, unsigned row, std::uint32_t* words);
  // The largest value of each entry field, listed like entryFields lists a row, so that a
  // host program can check fields given by name before it builds a row of them.
  void (*entryFieldLimits)(const EntryFieldSink& sink);
  // A row from the values of every entry field, concatenated in the order and counts that
  // entryFields lists; a value that does not fit its field is the field type's range error.
  void (*encodeFields)(const std::uint32_t* values, std::uint32_t* words);
  // Makes the table object of the key (its name is this table's) in the revision class of
  // the key's chip type, which registers itself in the manager. Null for a table that is not
  // in the registry.
  HwCommonTableBase* (*make)(TableManager& manager, const HwTableKey& key);

  // Every table of the registry (host/HwTables.h), in block order.
  static const std::vector<const HwTableInfo*>& all();
  // The table whose commands carry that block; null when none does.
  static const HwTableInfo* byBlock(std::uint16_t block) noexcept;
};

// What the table registry says of the table a layout is the row format of: kName, kBlock,
// kOpcode, its description `info` and its class in each revision (host/TableLayouts.h,
// TERN_HW_TABLE).
template <class Layout>
struct HwTableRow;
}  // namespace TernAsicUtils
