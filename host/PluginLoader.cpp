#include "host/PluginLoader.h"

namespace TernAsicUtils {
void UtilHolderContext::registerUtil(const UtilKey& key, const UtilFactory& factory) {
  regs_.push_back({key, factory});
}

Pavo::Ptr<UtilBase> UtilHolderContext::build(const Registration& r,
                                             const Pavo::Ptr<TableManager>& tm) const {
  return r.factory(r.key, tm, Pavo::Ptr<TernMdb::TableManager>(new TernMdb::TableManager),
                   Pavo::Ptr<HwWriterStatus>(new HwWriterStatus),
                   Pavo::Ptr<HwBulkDownloadErrConfig>(new HwBulkDownloadErrConfig));
}

std::vector<Hardware::Tern::FapRevision>& SupportedFapRevList::fapRevisionList() {
  static std::vector<Hardware::Tern::FapRevision> list{
      Hardware::Tern::FapRevision(Hardware::kChipBcm88890A0, 0),
      Hardware::Tern::FapRevision(Hardware::kChipBcm88890B0, 0)};
  return list;
}

Plugin::Loader<UtilHolderContext>& UtilPluginNamespace::DefaultUtilLoader() {
  static auto* loader = new Plugin::Loader<UtilHolderContext>("TernAsicUtils::UtilLoader",
                                                              "TernAsicUtils::UtilHolderContext");
  return *loader;
}
}  // namespace TernAsicUtils

namespace Plugin::Impl {
namespace {
std::vector<PluginRecord>& records() {
  static auto* v = new std::vector<PluginRecord>;
  return *v;
}
}  // namespace

void LoaderImpl::registerPlugin(const Pavo::String& loaderId, const Pavo::String& name,
                                const Pavo::String& loaderId2, const Pavo::String& extra1,
                                const Pavo::String& extra2, LoaderInitCaller* caller) {
  records().push_back({loaderId, name, loaderId2, extra1, extra2, caller});
}
const std::vector<PluginRecord>& LoaderImpl::plugins() { return records(); }
void LoaderImpl::forgetFrom(std::size_t count) {
  auto& v = records();
  if (count < v.size()) v.resize(count);
}
}  // namespace Plugin::Impl
