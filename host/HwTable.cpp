#include "host/HwTables.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace TernAsicUtils {
void throwKeyRange(const char* table, const char* field, const char* low, const char* high) {
  const std::string key = fmt::format("bcm88890_a0::{}::EntryKey::", table);
  Pavo::RangeException::throwException(
      fmt::format("{}{} < {}{} or > {}{} not allowed", key, field, key, low, key, high).c_str());
}
void FieldCodec::Filler::throwFieldRange(unsigned bits) { HostDetail::throwUIntRange(bits); }

#define TERN_TABLE_INFO(Name, Layout, Block, Opcode)              \
  constinit const HwTableInfo HwTableRow<Layouts::Layout>::info = \
      LayoutInfo<Layouts::Layout>::make();
TERN_FOR_EACH_HW_TABLE(TERN_TABLE_INFO)
#undef TERN_TABLE_INFO

const std::vector<const HwTableInfo*>& HwTableInfo::all() {
#define TERN_INFO_PTR(Name, Layout, Block, Opcode) &HwTableRow<Layouts::Layout>::info,
  static const std::vector<const HwTableInfo*> v{TERN_FOR_EACH_HW_TABLE(TERN_INFO_PTR)};
#undef TERN_INFO_PTR
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

// ---- shadow store -------------------------------------------------------------------

namespace {
std::size_t presenceWords(unsigned rows) {
  return (rows + ShadowStore::kPresenceBits - 1) / ShadowStore::kPresenceBits;
}
// Rows are one to a few words: a store beats a call of memset for the one-word rows.
inline void zeroWords(std::uint32_t* to, unsigned n) noexcept {
  if (n == 1) {
    *to = 0;
    return;
  }
  std::memset(to, 0, n * sizeof(std::uint32_t));
}
}  // namespace

ShadowStore::~ShadowStore() {
  for (auto& c : copies_) Kelp::slabFree(c.present, copyBytes());
}

std::size_t ShadowStore::copyBytes() const noexcept {
  return std::size_t(rows_) * wordsPerRow_ * sizeof(std::uint32_t) +
         presenceWords(rows_) * sizeof(PresenceWord);
}

const ShadowStore::Copy* ShadowStore::findOther(HwShadowKey key) const noexcept {
  for (const auto& c : copies_)
    if (c.key == key) {
      last_ = &c;
      return last_;
    }
  return nullptr;
}

ShadowStore::Copy& ShadowStore::obtain(HwShadowKey key) {
  if (const Copy* c = find(key)) return const_cast<Copy&>(*c);
  // presence words first, so both parts stay naturally aligned
  void* mem = Kelp::slabAlloc(copyBytes());
  std::memset(mem, 0, copyBytes());
  auto* present = static_cast<PresenceWord*>(mem);
  copies_.push_back(
      Copy{key, reinterpret_cast<std::uint32_t*>(present + presenceWords(rows_)), present});
  last_ = &copies_.back();
  return copies_.back();
}

ShadowWatch* ShadowStore::watch_ = nullptr;
void ShadowStore::watchIs(ShadowWatch* watch) noexcept { watch_ = watch; }

void ShadowStore::erase(HwShadowKey key, unsigned row) noexcept {
  const Copy* c = find(key);
  if (!c) return;
  zeroWords(c->words + std::size_t(row) * wordsPerRow_, wordsPerRow_);
  c->present[row / kPresenceBits] &= ~(PresenceWord(1) << (row % kPresenceBits));
  if (watch_) watch_->rowChanged(info_, key, row);
}

bool ShadowStore::present(HwShadowKey key, unsigned row) const noexcept {
  const Copy* c = find(key);
  return c && row < rows_ && ((c->present[row / kPresenceBits] >> (row % kPresenceBits)) & 1);
}

void ShadowStore::clear(HwShadowKey key) noexcept {
  for (std::size_t i = 0; i < copies_.size(); ++i)
    if (copies_[i].key == key) {
      Kelp::slabFree(copies_[i].present, copyBytes());
      copies_.erase(copies_.begin() + std::ptrdiff_t(i));
      last_ = nullptr;
      if (watch_) watch_->copyCleared(info_, key);
      return;
    }
}

std::vector<HwShadowKey> ShadowStore::keys() const {
  std::vector<HwShadowKey> out;
  for (const auto& c : copies_)
    for (std::size_t w = 0; w < presenceWords(rows_); ++w)
      if (c.present[w]) {
        out.push_back(c.key);
        break;
      }
  std::sort(out.begin(), out.end());
  return out;
}

// ---- tables ---------------------------------------------------------------------------

HwCommonTableBase::HwCommonTableBase(const Pavo::String& name, const HwTableKey& key,
                                     TableManager* manager, const HwTableInfo& info,
                                     const void* classTag)
    : shadow_(info), name_(name), key_(key), info_(info), classTag_(classTag) {
  if (manager) {
    // The slot first: if making it throws, no reference to this half-built object exists
    // whose release would destroy it a second time.
    auto& slot = manager->hwTableColl()[key];
    slot = Pavo::Ptr<HwCommonTableBase>(this);
  }
}

HwCommonTableBase::~HwCommonTableBase() = default;

void HwCommonTableBase::throwKeyOutside() const {
  const auto text = fmt::format("{}: key outside the table", name_);
  Pavo::RangeException::throwException(text.c_str());
}

void HwCommonTableBase::rowIs(HwShadowKey key, unsigned row, const std::uint32_t* words) {
  if (row >= info_.rows) throwKeyOutside();
  shadow_.write(key, row, words);
}

Pavo::Ptr<SchanAccel::SchanCmds> HwDirectTableBase::clearTableInHw(HwShadowKey key) {
  auto cmds = SchanAccel::schanCmdsFactory();
  shadow_.clear(key);
  cmds->reserve(info().rows);
  for (unsigned r = 0; r < info().rows; ++r) rowCmd(cmds->cmdEmplace(), key, r);
  return cmds;
}

#define TERN_TRACKER_DEF(Name, Layout, Block, Opcode)                                      \
  Qel::AllocTrackTypeInfo bcm88890_a0::Name::memAllocationTracker_{"bcm88890_a0::" #Name}; \
  Qel::AllocTrackTypeInfo bcm88890_b0::Name::memAllocationTracker_{"bcm88890_b0::" #Name};
}  // namespace TernAsicUtils
TERN_FOR_EACH_HW_TABLE(TERN_TRACKER_DEF)
#undef TERN_TRACKER_DEF

namespace TernAsicUtils {
// ---- statistics and manager -------------------------------------------------------------

void TableSchanEnqueueStats::entryEnqueueCntIncOther(HwShadowKey key, U32 n) {
  for (auto& c : counts_)
    if (c.first == key) {
      last_ = &c;
      c.second += n;
      return;
    }
  counts_.emplace_back(key, n);
  last_ = &counts_.back();
}

std::uint64_t TableSchanEnqueueStats::entryEnqueueCnt(HwShadowKey key) const noexcept {
  for (const auto& [k, n] : counts_)
    if (k == key) return n;
  return 0;
}

std::vector<std::pair<HwShadowKey, std::uint64_t>> TableSchanEnqueueStats::counts() const {
  auto out = counts_;
  std::sort(out.begin(), out.end());
  return out;
}

TableSchanEnqueueStats& TableManagerStats::schanEnqueueStatsMake(Asic::SwTableId id) {
  if (auto* s = schanEnqueueStatsFind(id)) return *s;
  stats_.emplace_back(id, Pavo::Ptr<TableSchanEnqueueStats>(new TableSchanEnqueueStats));
  last_ = stats_.back().second.get();
  lastId_ = id;
  return *last_;
}

TableSchanEnqueueStats* TableManagerStats::schanEnqueueStatsFind(
    Asic::SwTableId id) const noexcept {
  for (const auto& [k, s] : stats_)
    if (k == id) {
      last_ = s.get();
      lastId_ = id;
      return last_;
    }
  return nullptr;
}

TableManager::TableManager() : stats_(new TableManagerStats) {}
TableManager::~TableManager() = default;

std::vector<HwCommonTableBase*> TableManager::tables() const {
  std::vector<HwCommonTableBase*> out;
  for (const auto& [k, t] : tables_)
    if (t) out.push_back(t.get());
  std::sort(out.begin(), out.end(), [](auto* a, auto* b) {
    return std::pair(a->tableKey().name, a->tableKey().fapRevision) <
           std::pair(b->tableKey().name, b->tableKey().fapRevision);
  });
  return out;
}
}  // namespace TernAsicUtils

namespace SchanAccel {

void SchanCmd::strep(Pavo::StrepBuf& b) const {
  fmt::format_to(std::back_inserter(b),
                 "{{ op: {}, fapId: {}, instanceId: {}, block: 0x{:x}, address: {}, data: [",
                 opcode == SchanOpcode::WriteRegister ? "WRITE_REGISTER" : "WRITE_MEMORY", fapId,
                 instanceId, block, address);
  for (unsigned i = 0; i < words; ++i)
    fmt::format_to(std::back_inserter(b), "{}0x{:x}", i ? ", " : "", data[i]);
  Pavo::strepAppend(b, "] }");
}
}  // namespace SchanAccel
