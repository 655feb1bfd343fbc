#include "host/Host.h"

#include <dlfcn.h>

#include <algorithm>
#include <set>
#include <stdexcept>

namespace Host {
PluginLibrary::PluginLibrary(const std::string& path) {
  first_ = Plugin::Impl::LoaderImpl::plugins().size();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* err = dlerror();
    throw std::runtime_error(std::string("cannot load plug-in: ") + (err ? err : path));
  }
  end_ = Plugin::Impl::LoaderImpl::plugins().size();
}

PluginLibrary::~PluginLibrary() {
  auto& loader = TernAsicUtils::UtilPluginNamespace::DefaultUtilLoader();
  const auto& all = Plugin::Impl::LoaderImpl::plugins();
  for (std::size_t i = first_; i < end_ && i < all.size(); ++i) loader.unlink(all[i].caller);
  Plugin::Impl::LoaderImpl::forgetFrom(first_);
  dlclose(handle_);
}

std::vector<Plugin::Impl::PluginRecord> PluginLibrary::plugins() const {
  const auto& all = Plugin::Impl::LoaderImpl::plugins();
  return {all.begin() + std::ptrdiff_t(first_), all.begin() + std::ptrdiff_t(end_)};
}

void startUtilPlugins(TernAsicUtils::UtilHolderContext& context) {
  TernAsicUtils::UtilPluginNamespace::DefaultUtilLoader().start(&context);
}

std::vector<UtilInstance> buildUtils(const TernAsicUtils::UtilHolderContext& context,
                                     Hardware::ChipType chip,
                                     const Pavo::Ptr<TernAsicUtils::TableManager>& tableManager,
                                     const SchanAccel::Fapmask& fapmask) {
  std::vector<UtilInstance> out;
  for (const auto& r : context.registrations()) {
    if (r.key.fapRevision.chipType() != chip) continue;
    auto util = context.build(r, tableManager);
    for (unsigned id = 0; id <= SchanAccel::FapId::null; ++id)
      if (fapmask.has(SchanAccel::FapId(id)))
        util->fapIdIs(Pavo::Ptr<const TernAsicUtils::FapControlData>(
            new TernAsicUtils::FapControlData(SchanAccel::FapId(id))));
    const auto colon = r.key.utilName.rfind("::");
    out.push_back({r.key, util,
                   colon == std::string::npos ? r.key.utilName : r.key.utilName.substr(colon + 2)});
  }
  return out;
}

std::uint32_t* ChipModel::rowAt(std::uint16_t block, TernAsicUtils::HwShadowKey key, unsigned r,
                                const TernAsicUtils::HwTableInfo** info) {
  // Entries of one copy come in runs: the copy is looked up once per run and block.
  auto& last = last_[block % last_.size()];
  if (!last.info || last.block != block || last.key != key.value()) {
    const auto* i = TernAsicUtils::HwTableInfo::byBlock(block);
    if (!i || r >= i->rows) return nullptr;  // addresses nothing the model holds
    auto& mem = mem_[{block, key.value()}];
    if (mem.empty()) mem.assign(std::size_t(i->rows) * i->wordsPerRow, 0);
    last = Last{block, key.value(), i, mem.data()};
  }
  *info = last.info;
  if (r >= last.info->rows) return nullptr;
  return last.words + std::size_t(r) * last.info->wordsPerRow;
}

void ChipModel::execute(const SchanAccel::SchanCmd& cmd) {
  ++commands_;
  const TernAsicUtils::HwShadowKey key(SchanAccel::FapId(cmd.fapId), cmd.instanceId);
  const TernAsicUtils::HwTableInfo* info = nullptr;
  std::uint32_t* row = rowAt(cmd.block, key, cmd.address, &info);
  if (!row) return;
  bool same = true;
  for (unsigned i = 0; i < info->wordsPerRow; ++i) {
    const std::uint32_t v = i < cmd.words ? cmd.data[i] : 0;
    same = same && row[i] == v;
    row[i] = v;
  }
  if (same) ++redundant_;
}

void ChipModel::rowIs(std::uint16_t block, TernAsicUtils::HwShadowKey key, unsigned r,
                      const std::uint32_t* words) {
  const TernAsicUtils::HwTableInfo* info = nullptr;
  if (std::uint32_t* row = rowAt(block, key, r, &info))
    std::copy(words, words + info->wordsPerRow, row);
}

void ChipModel::row(std::uint16_t block, TernAsicUtils::HwShadowKey key, unsigned r,
                    std::uint32_t* out) const {
  const auto* info = TernAsicUtils::HwTableInfo::byBlock(block);
  if (!info) return;  // a block the model does not know holds nothing
  const auto it = mem_.find({block, key.value()});
  for (unsigned i = 0; i < info->wordsPerRow; ++i)
    out[i] = it == mem_.end() ? 0 : it->second[std::size_t(r) * info->wordsPerRow + i];
}

std::vector<ChipModel::Mismatch> ChipModel::compare(
    const TernAsicUtils::TableManager& tableManager) const {
  std::vector<Mismatch> out;
  for (const auto* table : tableManager.tables()) {
    const auto& info = table->info();
    std::set<TernAsicUtils::HwShadowKey> keys;
    for (const auto k : table->shadowKeys()) keys.insert(k);
    for (const auto& [ck, mem] : mem_)
      if (std::get<0>(ck) == info.block) {
        const std::uint16_t v = std::get<1>(ck);
        keys.insert(TernAsicUtils::HwShadowKey(SchanAccel::FapId(v & 0xff), std::uint8_t(v >> 8)));
      }
    std::vector<std::uint32_t> s(info.wordsPerRow), h(info.wordsPerRow);
    for (const auto key : keys)
      for (unsigned r = 0; r < info.rows; ++r) {
        table->rowWords(key, r, s.data());
        row(info.block, key, r, h.data());
        if (s != h) out.push_back({&info, key, r, s, h});
      }
  }
  return out;
}

TernAsicUtils::HwCommonTableBase& obtainTable(TernAsicUtils::TableManager& manager,
                                              const TernAsicUtils::HwTableInfo& info,
                                              Hardware::Tern::FapRevision revision) {
  const TernAsicUtils::HwTableKey key{info.name, revision};
  auto& coll = manager.hwTableColl();
  if (const auto it = coll.find(key); it != coll.end() && it->second) return *it->second;
  if (info.make) {
    info.make(manager, key);  // the object registers itself in the manager, which owns it
    return *coll.at(key);
  }
  throw std::invalid_argument(fmt::format("no table class named {}", info.name));
}

DecodedCmd decode(const SchanAccel::SchanCmd& cmd) {
  const auto* info = TernAsicUtils::HwTableInfo::byBlock(cmd.block);
  return {info && cmd.address < info->rows ? info : nullptr,
          TernAsicUtils::HwShadowKey(SchanAccel::FapId(cmd.fapId), cmd.instanceId), cmd.address};
}
}  // namespace Host
