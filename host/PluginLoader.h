// The plug-in loading and Util registration that the plug-ins join at load: the loader and
// its callers, the plug-in base, the Util holder that receives the factories, and the list
// of supported FAP revisions.
#pragma once

#include <functional>
#include <vector>

#include "host/UtilBase.h"

namespace TernAsicUtils {
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
