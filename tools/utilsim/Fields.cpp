#include "tools/utilsim/Fields.h"

#include <algorithm>

namespace Utilsim {

std::vector<KeyField> keyFields(const TernAsicUtils::HwTableInfo& info, unsigned row) {
  std::vector<KeyField> out;
  info.keyFields(row, [&out](const char* name, std::uint32_t value) {
    out.push_back({name, value});
  });
  return out;
}

std::vector<EntryField> entryFields(const TernAsicUtils::HwTableInfo& info,
                                    const std::uint32_t* words) {
  std::vector<EntryField> out;
  info.entryFields(
      words, [&out](const char* name, const std::uint32_t* values, unsigned count, bool list) {
        out.push_back({name, std::vector<std::uint32_t>(values, values + count), list});
      });
  return out;
}

const EntryField* findField(const std::vector<EntryField>& fields, std::string_view name) {
  for (const auto& f : fields)
    if (f.name == name) return &f;
  return nullptr;
}

RowFinder::RowFinder(const TernAsicUtils::HwTableInfo& info) {
  for (unsigned r = 0; r < info.rows; ++r) {
    std::vector<std::uint32_t> key;
    for (const auto& f : keyFields(info, r)) key.push_back(f.value);
    rows_.emplace(std::move(key), r);
  }
}

std::optional<unsigned> RowFinder::row(const std::vector<std::uint32_t>& keyValues) const {
  const auto it = rows_.find(keyValues);
  if (it == rows_.end()) return std::nullopt;
  return it->second;
}

TableShape::TableShape(const TernAsicUtils::HwTableInfo& table) : info(table), rows(table) {
  for (unsigned r = 0; r < table.rows; ++r) {
    std::size_t i = 0;
    table.keyFields(r, [&](const char* name, std::uint32_t v) {
      if (i == keys.size()) keys.push_back({name, 0});
      keys[i].second = std::max(keys[i].second, v);
      ++i;
    });
  }
  table.entryFieldLimits([&](const char* name, const std::uint32_t* max, unsigned n, bool list) {
    offsets.push_back(width);
    fields.push_back({name, std::vector<std::uint32_t>(max, max + n), list});
    width += n;
  });
}

const TernAsicUtils::HwTableInfo* findHwTable(std::string_view name) {
  for (const auto chip : {Hardware::kChipBcm88890A0, Hardware::kChipBcm88890B0}) {
    const std::string_view prefix = Hardware::chipTypeName(chip);
    if (name.size() > prefix.size() + 2 && name.substr(0, prefix.size()) == prefix &&
        name.substr(prefix.size(), 2) == "::")
      name.remove_prefix(prefix.size() + 2);
  }
  for (const auto* t : TernAsicUtils::HwTableInfo::all())
    if (name == t->name) return t;
  return nullptr;
}

const TernAsicUtils::HwCommonTableBase* findTable(const TernAsicUtils::TableManager& manager,
                                                  std::string_view name) {
  for (const auto* t : manager.tables())
    if (name == t->info().name) return t;
  return nullptr;
}

}  // namespace Utilsim
