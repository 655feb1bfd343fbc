#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace TestSupport {
const char* chipName(Hardware::ChipType chip) { return Hardware::chipTypeName(chip); }

const TernAsicUtils::UtilHolderContext& context() {
  static TernAsicUtils::UtilHolderContext* ctx = [] {
    auto* c = new TernAsicUtils::UtilHolderContext;
    ::Host::startUtilPlugins(*c);
    return c;
  }();
  return *ctx;
}

Rig::Rig(Hardware::ChipType chip, std::initializer_list<unsigned> fapIds)
    : chip_(chip), tm_(new TernAsicUtils::TableManager) {
  SchanAccel::Fapmask mask;
  for (unsigned id : fapIds) mask.fapIdIs(SchanAccel::FapId(id), true);
  utils_ = ::Host::buildUtils(context(), chip, tm_, mask);
}
Rig::~Rig() = default;

Pavo::Ptr<TernAsicUtils::UtilBase> Rig::util(const std::string& shortName) const {
  for (const auto& u : utils_)
    if (u.shortName == shortName) return u.util;
  return {};
}

TernAsicUtils::HwCommonTableBase* Rig::table(const std::string& name) const {
  for (auto* t : tm_->tables())
    if (t->name() == name) return t;
  return nullptr;
}

std::vector<std::string> Rig::shadowDump() const {
  std::vector<std::string> out;
  for (auto* t : tm_->tables())
    for (const auto key : t->shadowKeys())
      for (unsigned r = 0; r < t->info().rows; ++r)
        if (t->rowPresent(key, r))
          out.push_back(shadowRowText(*t, key.fapId().value(), key.instanceId(), r));
  return out;
}

std::vector<std::uint64_t> Rig::counters(const std::string& shortName) const {
  const auto& s = util(shortName)->stats();
  return {s->addCnt(), s->deleteCnt(), s->updateOnDelCnt(), s->fapmaskMismatch()};
}

std::uint64_t Rig::enqueueCount(Asic::SwTableId id, unsigned fapId, unsigned instanceId) const {
  const auto* s = tm_->stats().schanEnqueueStats(id);
  return s ? s->entryEnqueueCnt(
                 TernAsicUtils::HwShadowKey(SchanAccel::FapId(fapId), std::uint8_t(instanceId)))
           : 0;
}

std::map<std::string, std::uint32_t> row(const TernAsicUtils::HwCommonTableBase& table,
                                         unsigned fapId, unsigned instanceId, unsigned r) {
  std::map<std::string, std::uint32_t> out;
  const TernAsicUtils::HwShadowKey key{SchanAccel::FapId(fapId), std::uint8_t(instanceId)};
  if (!table.rowPresent(key, r)) return out;
  std::uint32_t w[SchanAccel::SchanCmd::kMaxWords];
  table.rowWords(key, r, w);
  table.info().entryFields(w, [&](const char* name, const std::uint32_t* v, unsigned n, bool list) {
    if (!list) {
      out[name] = v[0];
      return;
    }
    for (unsigned i = 0; i < n; ++i) out[std::string(name) + "[" + std::to_string(i) + "]"] = v[i];
  });
  return out;
}

std::string shadowRowText(const TernAsicUtils::HwCommonTableBase& table, unsigned fapId,
                          unsigned instanceId, unsigned r) {
  const TernAsicUtils::HwShadowKey key{SchanAccel::FapId(fapId), std::uint8_t(instanceId)};
  std::uint32_t w[SchanAccel::SchanCmd::kMaxWords];
  table.rowWords(key, r, w);
  return table.name() + " " + key.toString() + " " + table.info().rowKeyText(r) + " " +
         table.info().rowEntryText(w);
}

std::string orderedTableError(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const Asic::OrderedTableException& e) {
    return e.what();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "expected Asic::OrderedTableException, got: " << e.what();
    return {};
  }
  ADD_FAILURE() << "expected Asic::OrderedTableException, nothing was thrown";
  return {};
}

TraceCapture::TraceCapture(const std::string& levels) {
  Qel::TraceConfig::enable(levels);
  Qel::TraceConfig::captureBegin();
}
TraceCapture::~TraceCapture() {
  Qel::TraceConfig::captureEnd();
  Qel::TraceConfig::disableAll();
}
bool TraceCapture::contains(const std::string& text) const {
  const auto& l = lines();
  return std::any_of(l.begin(), l.end(),
                     [&](const std::string& s) { return s.find(text) != std::string::npos; });
}
}  // namespace TestSupport
