#include "host/HwTableInfo.h"

// Every row of the registry declares its table's description and its classes' trackers; this
// file alone defines them, where each row is expanded (host/TableLayouts.h), so that each
// exists once in the process. The definition must precede the tables' headers.
#define TERN_HW_TABLE_OBJECTS(Name, Layout)                                      \
  constinit const ::TernAsicUtils::HwTableInfo                                   \
      TernAsicUtils::HwTableRow<::TernAsicUtils::Layouts::Layout>::info =        \
          ::TernAsicUtils::LayoutInfo<::TernAsicUtils::Layouts::Layout>::make(); \
  ::Qel::AllocTrackTypeInfo bcm88890_a0::Name::memAllocationTracker_{            \
      bcm88890_a0::Name::kClassName};                                            \
  ::Qel::AllocTrackTypeInfo bcm88890_b0::Name::memAllocationTracker_{bcm88890_b0::Name::kClassName};
#include "host/HwTables.h"
#undef TERN_HW_TABLE_OBJECTS

#include <array>

namespace TernAsicUtils {
const std::vector<const HwTableInfo*>& HwTableInfo::all() {
  static const std::vector<const HwTableInfo*> v = []<class... L>(TypeList<L...>) {
    return std::vector<const HwTableInfo*>{&HwTableRow<L>::info...};
  }(HwTables{});
  return v;
}

const HwTableInfo* HwTableInfo::byBlock(std::uint16_t block) noexcept {
  // Every command is decoded by its block: an index, not a search.
  static const auto index = [] {
    std::array<const HwTableInfo*, 256> byLowByte{};
    for (const auto* i : all()) byLowByte[i->block & 0xff] = i;
    return byLowByte;
  }();
  const auto* info = index[block & 0xff];
  return info && info->block == block ? info : nullptr;
}

std::size_t HwTableKey::hash(std::size_t seed) const noexcept {
  return seed ^
         (std::hash<Pavo::String>()(name) * 31 + std::hash<std::uint64_t>()(fapRevision.value()));
}
void HwTableKey::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b), "{{ name: {}, fapRevision: ", name);
  fapRevision.strep(b);
  Pavo::strepAppend(b, " }");
}
}  // namespace TernAsicUtils
