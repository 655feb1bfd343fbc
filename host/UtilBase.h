// What a Util is to the host: its key, its base class with the virtual interface the agent
// drives, and the plug-in loading and Util registration the plug-ins join at load.
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

using UtilFactory = std::function<Pavo::Ptr<UtilBase>(
    const UtilKey&, const Pavo::Ptr<TableManager>&, const Pavo::Ptr<TernMdb::TableManager>&,
    const Pavo::Ptr<HwWriterStatus>&, const Pavo::Ptr<HwBulkDownloadErrConfig>&)>;

class UtilHolderContext {
 public:
  struct Registration {
    UtilKey key;
    UtilFactory factory;
  };
  void registerUtil(const UtilKey& key, const UtilFactory& factory);
  // In registration order.
  const std::vector<Registration>& registrations() const noexcept { return regs_; }
  // Builds a Util through its registered factory with fresh writer status and configs.
  Pavo::Ptr<UtilBase> build(const Registration& r, const Pavo::Ptr<TableManager>& tm) const;

 private:
  std::vector<Registration> regs_;
};

struct SupportedFapRevList {
  // Ascending. Default: one revision of chip type 21 and one of chip type 23.
  static std::vector<Hardware::Tern::FapRevision>& fapRevisionList();
};
}  // namespace TernAsicUtils

namespace Plugin {
class LoaderInitCaller {
 public:
  virtual ~LoaderInitCaller() = default;
  virtual void call() = 0;
  LoaderInitCaller* next = nullptr;
};

namespace Impl {
struct PluginRecord {
  Pavo::String loaderId;
  Pavo::String name;
  Pavo::String loaderId2;
  Pavo::String extra1;
  Pavo::String extra2;
  LoaderInitCaller* caller;
};
class LoaderImpl {
 public:
  static void registerPlugin(const Pavo::String& loaderId, const Pavo::String& name,
                             const Pavo::String& loaderId2, const Pavo::String& extra1,
                             const Pavo::String& extra2, LoaderInitCaller* caller);
  // Announced plug-ins, in announcement order.
  static const std::vector<PluginRecord>& plugins();
  // Forgets the plug-ins announced since `count` were known (their library is unloading).
  static void forgetFrom(std::size_t count);
};
}  // namespace Impl

template <class Context>
class Loader {
 public:
  class LoaderInitCallerWithContext;
  Loader(Pavo::String id1, Pavo::String id2) : id1_(std::move(id1)), id2_(std::move(id2)) {}
  const Pavo::String& id1() const noexcept { return id1_; }
  const Pavo::String& id2() const noexcept { return id2_; }
  Context* context() const noexcept { return context_; }
  LoaderInitCaller*& head() noexcept { return head_; }

  // Runs the init of every plug-in of this loader, in the order they were announced.
  void start(Context* context) {
    context_ = context;
    for (const auto& p : Impl::LoaderImpl::plugins())
      if (p.loaderId == id1_) p.caller->call();
  }
  // Drops callers of plug-ins that are going away.
  void unlink(LoaderInitCaller* caller) noexcept {
    for (auto** c = &head_; *c; c = &(*c)->next)
      if (*c == caller) {
        *c = caller->next;
        return;
      }
  }

 private:
  Pavo::String id1_, id2_;
  Context* context_ = nullptr;
  LoaderInitCaller* head_ = nullptr;
};
}  // namespace Plugin

template <class Context>
class PluginBase {
 public:
  struct PluginBaseInitCaller {
    PluginBase* plugin;
    void operator()(Context* c) const { plugin->init(c); }
  };
  virtual ~PluginBase() = default;
  virtual void init(Context* context) = 0;
};

template <class Context>
class Plugin::Loader<Context>::LoaderInitCallerWithContext final : public LoaderInitCaller {
 public:
  LoaderInitCallerWithContext(Loader* loader,
                              const typename PluginBase<Context>::PluginBaseInitCaller* init)
      : loader_(loader), init_(init) {}
  void call() override { (*init_)(loader_->context()); }

 private:
  Loader* loader_;
  const typename PluginBase<Context>::PluginBaseInitCaller* init_;
};

namespace TernAsicUtils::UtilPluginNamespace {
Plugin::Loader<UtilHolderContext>& DefaultUtilLoader();
}
