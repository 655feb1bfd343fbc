// What a Util is to the host: its key and its base class with the virtual interface the
// agent drives. Plug-in loading and Util registration: host/PluginLoader.h.
#pragma once

#include <functional>
#include <vector>

#include "host/HwTable.h"
#include "host/LogEntries.h"

namespace TernMdb {
class TableManager : public Pavo::Node {};
}  // namespace TernMdb

namespace TernAsicUtils {
struct UtilKey {
  Asic::SwTableId swTableId;
  Hardware::Tern::FapRevision fapRevision;
  Pavo::String utilName;
  bool operator==(const UtilKey&) const = default;
  void strep(Pavo::StrepBuf& b) const;
};

class HwWriterStatus : public Pavo::Node {};
class HwBulkDownloadErrConfig : public Pavo::Node {};

class FapControlData : public Pavo::Node {
 public:
  explicit FapControlData(SchanAccel::FapId id) noexcept : fapId_(id) {}
  SchanAccel::FapId fapId() const noexcept { return fapId_; }

 private:
  SchanAccel::FapId fapId_;
};

class UtilBase : public Pavo::Node {
 public:
  virtual Pavo::TypeData typeData() const = 0;
  virtual bool requiresEntryByEntryDeletion() const;
  virtual Pavo::Ptr<SchanAccel::SchanCmds> processSwEntry(
      const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) = 0;
  virtual bool utilApplicable(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) = 0;
  virtual Pavo::String hwTableType() const = 0;
  virtual void fapIdIs(const Pavo::Ptr<FapControlData const>& fap);
  virtual void fapIdDel(SchanAccel::FapId fapId);
  virtual U32 writeSwEntryToShadow(const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr) = 0;
  virtual Pavo::Ptr<SchanAccel::SchanCmds> getSchanCmds(
      const Pavo::Ptr<Asic::LogEntryWrapperBase>& logPtr, U32 status) = 0;
  virtual Pavo::Ptr<SchanAccel::SchanCmds> clearHwTable(Asic::UnitId unitId) = 0;

  // Creates the Util's counters (once; later calls return the same object).
  Pavo::Ptr<UtilStats> statsIs();

  const UtilKey& utilKey() const noexcept { return utilKey_; }
  const Pavo::Ptr<TableManager>& hwTableManager() const noexcept { return hwTableManager_; }
  const Pavo::Ptr<UtilStats>& stats() const noexcept { return stats_; }
  const Pavo::Ptr<HwCommonTableBase>& hwTableBase() const noexcept { return hwTable_; }
  void hwTableBaseIs(const Pavo::Ptr<HwCommonTableBase>& t) noexcept { hwTable_ = t; }
  const SchanAccel::Fapmask& fapmask() const noexcept { return fapmask_; }

 protected:
  UtilBase(const UtilKey& key, const Pavo::Ptr<TableManager>& hwTableManager,
           const Pavo::Ptr<HwWriterStatus>& hwWriterStatus);
  ~UtilBase() override;

  UtilKey utilKey_;
  Pavo::Ptr<TableManager> hwTableManager_;
  Pavo::Ptr<UtilStats> stats_;
  Pavo::Ptr<HwCommonTableBase> hwTable_;
  SchanAccel::Fapmask fapmask_;
  Pavo::Ptr<HwWriterStatus> hwWriterStatus_;
};

class NonMdbUtilBase : public UtilBase {
 protected:
  NonMdbUtilBase(const UtilKey& key, const Pavo::Ptr<TableManager>& hwTableManager,
                 const Pavo::Ptr<HwWriterStatus>& hwWriterStatus);
  ~NonMdbUtilBase() override;
};
}  // namespace TernAsicUtils
