// Registration: one plug-in object per Util class and chip type, announced at load, which
// registers the Util's factory for every supported revision of its chip type at start-up.
#pragma once

#include "host/PluginLoader.h"

namespace TernAsicUtils {
template <class Constants, class Util, Hardware::ChipType Chip>
class UtilPlugin final : public PluginBase<UtilHolderContext> {
  using Loader = Plugin::Loader<UtilHolderContext>;

 public:
  UtilPlugin()
      : initCaller_{this}, loaderCaller_(&UtilPluginNamespace::DefaultUtilLoader(), &initCaller_) {
    Loader& loader = UtilPluginNamespace::DefaultUtilLoader();
    const Pavo::String name = Util::tableName() + "Plugin";
    loaderCaller_.next = loader.head();
    loader.head() = &loaderCaller_;
    Plugin::Impl::LoaderImpl::registerPlugin(loader.id1(), name, loader.id2(), "", "",
                                             &loaderCaller_);
  }
  ~UtilPlugin() override = default;

  void init(UtilHolderContext* context) override {
    for (const auto& revision : SupportedFapRevList::fapRevisionList()) {
      if (revision.chipType() != Chip) continue;
      context->registerUtil(UtilKey{Constants::swTableId, revision, Util::tableName()},
                            UtilFactory(&Util::factory));
    }
  }

 private:
  PluginBaseInitCaller initCaller_;
  Loader::LoaderInitCallerWithContext loaderCaller_;
};
}  // namespace TernAsicUtils
