// Generic views of hardware rows: key and entry fields by name, through the table
// descriptions of the host, so that reports need no C++ table types.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "host/HwTable.h"

namespace Utilsim {

struct KeyField {
  std::string name;
  std::uint32_t value;
};

struct EntryField {
  std::string name;
  std::vector<std::uint32_t> values;
  bool list;  // an array-like field (shown as a list even with one value)
};

std::vector<KeyField> keyFields(const TernAsicUtils::HwTableInfo& info, unsigned row);
std::vector<EntryField> entryFields(const TernAsicUtils::HwTableInfo& info,
                                    const std::uint32_t* words);
// The field of that name, or null.
const EntryField* findField(const std::vector<EntryField>& fields, std::string_view name);

// Finds rows by their key field values (in the order the table lists its key fields).
class RowFinder {
 public:
  explicit RowFinder(const TernAsicUtils::HwTableInfo& info);
  std::optional<unsigned> row(const std::vector<std::uint32_t>& keyValues) const;

 private:
  std::map<std::vector<std::uint32_t>, unsigned> rows_;
};

// What the rows of one table may hold: its key fields with their largest values, and its
// entry fields with the largest value of each of their values (so that a value given by
// name can be checked, and a refusal name the range).
struct TableShape {
  explicit TableShape(const TernAsicUtils::HwTableInfo& info);
  const TernAsicUtils::HwTableInfo& info;
  std::vector<std::pair<std::string, std::uint32_t>> keys;
  std::vector<EntryField> fields;  // values: the largest of each
  std::vector<unsigned> offsets;   // of each field in the values of a row
  unsigned width = 0;              // values of a row in all
  RowFinder rows;
};

// The table of that name, short ("EtppcMtuMapTableHwDirect") or as `utilsim list` prints it,
// qualified by a chip revision ("bcm88890_b0::EtppcMtuMapTableHwDirect"); null when none. Both
// revisions share each table's layout: the name says which table, the run which revision.
const TernAsicUtils::HwTableInfo* findHwTable(std::string_view name);

// The table object of the manager whose table has that name (any revision), or null.
const TernAsicUtils::HwCommonTableBase* findTable(const TernAsicUtils::TableManager& manager,
                                                  std::string_view name);

}  // namespace Utilsim
