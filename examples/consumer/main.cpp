// A host program built against an installed Tern: loads the plug-in through the host
// library, builds the bcm88890_a0 Utils, hands them one routing-state entry (VSI 5, routing
// profile 7, fap 0) and checks that the commands they return bring a model of the chip in
// line with the shadows they wrote. Prints the plug-in's version and what the entry did.
#include <dlfcn.h>
#include <fmt/format.h>

#include <string>

#include "host/Host.h"
#include "host/LogEntryBuilders.h"

namespace {
// The version the loaded plug-in reports (its exported C function ternPluginVersion).
std::string pluginVersion(const char* path) {
  void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);  // the object already loaded
  if (!handle) return "?";
  const auto query = reinterpret_cast<const char* (*)()>(dlsym(handle, "ternPluginVersion"));
  std::string version = query ? query() : "?";
  dlclose(handle);
  return version;
}
}  // namespace

int main() {
  Host::PluginLibrary plugin(TERN_PLUGIN_PATH);  // outlives every Util it makes
  TernAsicUtils::UtilHolderContext context;
  Host::startUtilPlugins(context);
  Pavo::Ptr<TernAsicUtils::TableManager> tables(new TernAsicUtils::TableManager);
  SchanAccel::Fapmask mask;
  mask.fapIdIs(SchanAccel::FapId(0), true);
  const auto utils = Host::buildUtils(context, Hardware::kChipBcm88890A0, tables, mask);

  // The agent hands an entry to the Utils registered for its software table.
  using Entry = Host::Log::RoutingState;
  const auto entry = Host::Log::entry(Entry{.id = 5, .routingProfileMap = 7});
  Host::ChipModel chip;
  for (const auto& u : utils)
    if (u.key.swTableId == Entry::kSwTableId)
      if (const auto cmds = u.util->processSwEntry(entry)) chip.execute(*cmds);
  const auto mismatches = chip.compare(*tables);
  fmt::print("plug-in {}: {} Utils, {} commands, {} rows differ from the shadows\n",
             pluginVersion(TERN_PLUGIN_PATH), utils.size(), chip.commands(), mismatches.size());
  return utils.empty() || chip.commands() == 0 || !mismatches.empty();
}
