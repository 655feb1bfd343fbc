#include "host/UtilBase.h"

namespace TernAsicUtils {
void UtilKey::strep(Pavo::StrepBuf& b) const {
  Pavo::strepAppend(b, "{ swTableId: ");
  swTableId.strep(b);
  Pavo::strepAppend(b, ", fapRevision: ");
  fapRevision.strep(b);
  fmt::format_to(std::back_inserter(b), ", utilName: {} }}", utilName);
}

UtilBase::UtilBase(const UtilKey& key, const Pavo::Ptr<TableManager>& hwTableManager,
                   const Pavo::Ptr<HwWriterStatus>& hwWriterStatus)
    : utilKey_(key), hwTableManager_(hwTableManager), hwWriterStatus_(hwWriterStatus) {}
UtilBase::~UtilBase() = default;

bool UtilBase::requiresEntryByEntryDeletion() const { return false; }

void UtilBase::fapIdIs(const Pavo::Ptr<FapControlData const>& fap) {
  if (fap) fapmask_.fapIdIs(fap->fapId(), true);
}
void UtilBase::fapIdDel(SchanAccel::FapId fapId) { fapmask_.fapIdIs(fapId, false); }

Pavo::Ptr<UtilStats> UtilBase::statsIs() {
  if (!stats_) stats_ = Pavo::Ptr<UtilStats>(new UtilStats);
  return stats_;
}

NonMdbUtilBase::NonMdbUtilBase(const UtilKey& key, const Pavo::Ptr<TableManager>& hwTableManager,
                               const Pavo::Ptr<HwWriterStatus>& hwWriterStatus)
    : UtilBase(key, hwTableManager, hwWriterStatus) {}
NonMdbUtilBase::~NonMdbUtilBase() = default;
}  // namespace TernAsicUtils
