// Teardown and repeated loading of the plug-in in one process. This executable links the
// host but not the plug-in (see tests/CMakeLists.txt), so that dlopen and dlclose really map
// and unmap it: each round loads it, starts its plug-ins into a fresh context, builds the
// Utils of both revisions, processes entries of all three software tables, drops everything,
// checks that the allocation tracker reports no live object, and unloads it.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Diag.h"
#include "host/Host.h"
#include "host/LogEntryBuilders.h"
#include "tests/UtilCatalog.h"

namespace {
using Host::Log::LogPtr;

bool loaded() {
  void* h = dlopen(TERN_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (h) dlclose(h);
  return h != nullptr;
}

// Entries of all three software tables, each with its software table id: some written, some
// refused (VSI profile 16, fap id 129, MTU profile 17).
std::vector<std::pair<Asic::SwTableId, LogPtr>> entries() {
  namespace Log = Host::Log;
  const Log::RoutingState profile{.id = 3, .type = 1, .routingState = {1, 0, 1}, .ipv4Enabled = 1};
  const auto routing = [](const Log::RoutingState& r, const Log::Header& h) {
    return std::pair{Log::RoutingState::kSwTableId, Log::entry(r, h)};
  };
  const auto mtu = [](std::uint8_t key, std::uint8_t fap) {
    return std::pair{Log::MtuProfile::kSwTableId,
                     Log::entry(Log::MtuProfile{.key = key, .mtuBytes = 1500}, {.fapId = fap})};
  };
  return {routing({.id = 5, .routingProfileMap = 7}, {}),
          routing(profile, {.fapId = 128, .instanceId = 1}),
          routing({.id = 6, .routingProfileMap = 16}, {}),
          routing(profile, {.isDelete = true}),
          {Log::TrapForwardAction::kSwTableId,
           Log::entry(Log::TrapForwardAction{.key = 1, .outPort = 9, .stampValue = 200})},
          mtu(2, 0),
          mtu(2, 129),
          mtu(17, 0)};
}

// Uses the loaded plug-in: both revisions, every Util, entries that succeed and entries that
// are refused; the chip model must end equal to the shadows.
void useThePlugin(const TernAsicUtils::UtilHolderContext& ctx, unsigned& refused) {
  for (const auto chip : {Hardware::kChipBcm88890A0, Hardware::kChipBcm88890B0}) {
    Pavo::Ptr<TernAsicUtils::TableManager> tm(new TernAsicUtils::TableManager);
    SchanAccel::Fapmask mask;
    mask.fapIdIs(SchanAccel::FapId(0), true);
    auto utils = Host::buildUtils(ctx, chip, tm, mask);
    ASSERT_EQ(utils.size(), UtilCatalog::kUtilClasses);
    EXPECT_EQ(
        Qel::AllocTrackTypeInfo::liveCount(std::string(Hardware::chipTypeName(chip)) +
                                           "::TernL3NiUtil::IppfVsiToRoutingProfileMapArray0Util"),
        1);
    Host::ChipModel hw;
    for (const auto& [swTableId, log] : entries())
      for (const auto& u : utils) {
        if (u.key.swTableId != swTableId) continue;
        try {
          hw.execute(*u.util->processSwEntry(log));
        } catch (const std::exception&) {
          ++refused;
        }
      }
    EXPECT_GT(hw.commands(), 0u);
    EXPECT_TRUE(hw.compare(*tm).empty());
    std::size_t rows = 0;
    for (const auto* t : tm->tables()) rows += t->shadowKeys().size();
    EXPECT_GT(rows, 0u);
  }
}

TEST(PluginTeardown, LoadUseDropAndUnloadRepeatedlyLeavesNothingBehind) {
  ASSERT_FALSE(loaded()) << "the plug-in must not be linked into this test";
  const long handlesBefore = Qel::liveLogHandles();
  const std::size_t pluginsBefore = Plugin::Impl::LoaderImpl::plugins().size();
  const std::size_t modulesBefore = Pavo::ModuleInspectData::loadedModules().size();
  // The loader's chain of plug-in callers, which each plug-in joins at load.
  const Plugin::LoaderInitCaller* chainBefore =
      TernAsicUtils::UtilPluginNamespace::DefaultUtilLoader().head();
  const char* utilClass = "bcm88890_a0::TernL3NiUtil::IppfVsiToRoutingProfileMapArray0Util";

  for (int round = 0; round < 5; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    {
      Host::PluginLibrary lib(TERN_PLUGIN_PATH);
      ASSERT_TRUE(loaded());
      EXPECT_EQ(lib.plugins().size(), UtilCatalog::kUtilClasses * UtilCatalog::kRevisions);
      // Three log handles per Util source file.
      EXPECT_EQ(Qel::liveLogHandles() - handlesBefore, 3 * int(UtilCatalog::kUtilClasses));
      EXPECT_NE(Pavo::ModuleInspectData::findClass(utilClass), nullptr);
      unsigned refused = 0;
      {
        // The context holds the plug-ins' factories, whose code lives in the plug-in: it
        // goes before the library does.
        TernAsicUtils::UtilHolderContext ctx;
        Host::startUtilPlugins(ctx);
        EXPECT_EQ(ctx.registrations().size(), UtilCatalog::kUtilClasses * UtilCatalog::kRevisions);
        useThePlugin(ctx, refused);
      }
      // VSI profile 16, the fap id 129 and MTU profile 17 are refused by their Utils.
      EXPECT_GT(refused, 0u);
      const auto live = Qel::AllocTrackTypeInfo::liveObjects();
      for (const auto& l : live) ADD_FAILURE() << "still live: " << l.count << " " << l.typeName;
    }
    EXPECT_FALSE(loaded()) << "dlclose left the plug-in mapped";
    EXPECT_EQ(Qel::liveLogHandles(), handlesBefore);
    EXPECT_EQ(Plugin::Impl::LoaderImpl::plugins().size(), pluginsBefore);
    // No caller of the unloaded object stays in the chain (a later plug-in would link to it).
    EXPECT_EQ(TernAsicUtils::UtilPluginNamespace::DefaultUtilLoader().head(), chainBefore);
    EXPECT_EQ(Pavo::ModuleInspectData::loadedModules().size(), modulesBefore);
    EXPECT_EQ(Pavo::ModuleInspectData::findClass(utilClass), nullptr);
    // The tracker registry is walked here: a tracker of the unloaded object left behind would
    // be read from unmapped memory (a crash, or an ASan report), and none may count anything.
    EXPECT_TRUE(Qel::AllocTrackTypeInfo::liveObjects().empty());
    EXPECT_EQ(Qel::AllocTrackTypeInfo::liveCount(utilClass), 0);
  }
}
}  // namespace
