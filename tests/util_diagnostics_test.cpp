// Exception containment, the graceful-assert flag, trace discipline and texts, and the log
// message declarations the plug-in carries for the host's log registry.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>

#include "TernAsicUtils/UtilFile.h"
#include "TernAsicUtils/detail/ExceptionWrapper.h"
#include "host/tables/IppdAllowDefaultRouteHwReg.h"
#include "tests/UtilCatalog.h"

namespace {
using namespace UtilCatalog;
using TestSupport::TraceCapture;
namespace Log = TestSupport::Log;

// VSI 1 with routing profile 2.
TestSupport::LogPtr vsi1(Log::Header h = {}) {
  return Log::entry(Log::RoutingState{.id = 1, .routingProfileMap = 2}, h);
}

// ---- the wrapper ----------------------------------------------------------------------------

struct CountingBuilder {
  int* builds;
  Pavo::String operator()() const {
    ++*builds;
    return "step: [arg: 7]";
  }
};

TEST(ThrowIfException, SuccessPassesResultThroughWithoutBuildingTheMessage) {
  int builds = 0;
  const CountingBuilder builder{&builds};
  EXPECT_EQ(Asic::throwIfException([](int a, int b) { return a - b; }, builder, 9, 4), 5);
  int target = 1;
  int& ref = Asic::throwIfException([&]() -> int& { return target; }, builder);
  EXPECT_EQ(&ref, &target);
  const auto moved = Asic::throwIfException([](std::unique_ptr<int> p) { return p; }, builder,
                                            std::make_unique<int>(11));
  ASSERT_TRUE(moved);
  EXPECT_EQ(*moved, 11);
  int ran = 0;
  Asic::throwIfException([&] { ++ran; }, builder);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(builds, 0);
}

struct Thrown {
  std::function<void()> body;
  const char* what;  // the text the host exception must carry
};

TEST(ThrowIfException, FailuresBecomeTheOrderedTableException) {
  const Thrown cases[] = {
      {[] { throw std::runtime_error("boom"); }, "step: [arg: 7]: boom"},
      {[] { Pavo::RangeException::throwException("U4::value < 0 or > 0x0f not allowed"); },
       "step: [arg: 7]: U4::value < 0 or > 0x0f not allowed"},
      {[] { throw 42; }, "step: [arg: 7]: unknown exception"},
      {[] { throw "text"; }, "step: [arg: 7]: unknown exception"},
      // A report from an inner wrapper is a known failure: both texts, outer first.
      {[] { Asic::throwOrderedTableException("inner: [x]", "cause"); },
       "step: [arg: 7]: inner: [x]: cause"},
  };
  for (const auto& c : cases) {
    int builds = 0;
    try {
      Asic::throwIfException(c.body, CountingBuilder{&builds});
      ADD_FAILURE() << "nothing thrown for " << c.what;
    } catch (const Asic::OrderedTableException& e) {
      EXPECT_EQ(e.message(), "step: [arg: 7]");
      EXPECT_STREQ(e.what(), c.what);
    }
    EXPECT_EQ(builds, 1) << c.what;
  }
}

// ---- graceful-assert flag: decided at load, so every case needs a fresh process ----------

TEST(GracefulAssertChild, ExitWithMode) {
  if (!std::getenv("TERN_DIAG_REPORT_MODE")) GTEST_SKIP() << "helper of GracefulAssertMode";
  std::_Exit(40 + Asic::mode);
}

int modeInChild(const char* value) {
  const std::string self = std::filesystem::read_symlink("/proc/self/exe");
  const pid_t pid = fork();
  if (pid == 0) {
    if (value)
      setenv("GRACEFUL_ASSERT_MODE", value, 1);
    else
      unsetenv("GRACEFUL_ASSERT_MODE");
    setenv("TERN_DIAG_REPORT_MODE", "1", 1);
    const int devNull = open("/dev/null", O_WRONLY);
    if (devNull >= 0) dup2(devNull, STDOUT_FILENO);
#ifdef TERN_TEST_EMULATOR
    execlp(TERN_TEST_EMULATOR, TERN_TEST_EMULATOR, self.c_str(),
           "--gtest_filter=GracefulAssertChild.ExitWithMode", static_cast<char*>(nullptr));
#else
    execl(self.c_str(), self.c_str(), "--gtest_filter=GracefulAssertChild.ExitWithMode",
          static_cast<char*>(nullptr));
#endif
    _exit(127);
  }
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) - 40;
}

TEST(GracefulAssertMode, OnlyTheExactWordTurnsItOn) {
  const std::pair<const char*, int> cases[] = {{"assert", 1},  {"Assert", 0},  {"assert ", 0},
                                               {"asser", 0},   {"", 0},        {nullptr, 0},
                                               {"assertx", 0}, {" assert", 0}, {"ASSERT", 0}};
  for (const auto& [value, mode] : cases)
    EXPECT_EQ(modeInChild(value), mode) << "GRACEFUL_ASSERT_MODE=" << (value ? value : "(unset)");
}

// ---- traces -----------------------------------------------------------------------------

TEST(Trace, SwTableIdRendersAgentGroupTable) {
  EXPECT_EQ(fmt::format("{}", Asic::SwTableId{0x012a001f}), "01:2a:001f");
  EXPECT_EQ(QelPavo::Impl::valueToStrep(Asic::SwTableId{0x0F080403}), "0f:08:0403");
}

struct Probe {
  int* renders;
  void strep(Pavo::StrepBuf& b) const {
    ++*renders;
    Pavo::strepAppend(b, "probe");
  }
};

TEST(Trace, DisabledLevelRendersNoArgument) {
  const Qel::TraceHandle handle("UtilDiagProbe", false);
  TraceCapture capture("UtilDiagProbe=3");
  int renders = 0;
  const Probe probe{&renders};
  for (const unsigned level : {2u, 8u})
    Pavo::fmtrace(handle, level, "file", "fn", 1, "", "value {} {}", probe, probe);
  EXPECT_EQ(renders, 0);
  EXPECT_TRUE(capture.lines().empty());
  Pavo::fmtrace(handle, 3, "file", "fn", 1, "", "value {} {}", probe, probe);
  EXPECT_EQ(renders, 2);
  EXPECT_TRUE(capture.contains("value probe probe"));
}

TEST(Trace, FrameTracesNothingBelowTheEnabledLevels) {
  TestSupport::Rig host(Hardware::kChipBcm88890A0);
  const auto log = sample(UtilCatalog::util("IppdInlifProfileTableUtil"), {.fapId = 5});
  TraceCapture capture("8");
  host.util("IppdAllowDefaultRouteUtil")->processSwEntry(vsi1({.fapId = 5}));
  host.util("IppdInlifProfileTableUtil")->processSwEntry(log);
  EXPECT_TRUE(capture.lines().empty());
  host.util("IppdInlifProfileTableUtil")->clearHwTable(Asic::UnitId::of(0, 1));
  ASSERT_EQ(capture.lines().size(), 1u);
  EXPECT_EQ(capture.lines()[0].rfind("L8 ", 0), 0u) << capture.lines()[0];
}

// One captured trace line: "L<level> <handle> <file>:<line> <function> [<context>] <text>".
struct TraceLine {
  unsigned level = 0;
  std::string handle, file, function, context, text;
};
std::optional<TraceLine> parse(const std::string& line) {
  std::istringstream in(line);
  char l = 0;
  TraceLine t;
  std::string fileLine;
  if (!(in >> l >> t.level >> t.handle >> fileLine >> t.function) || l != 'L') return {};
  t.file = fileLine.substr(0, fileLine.rfind(':'));
  const auto open = line.find(" [", 0), close = line.find("] ", open);
  if (open == std::string::npos || close == std::string::npos) return {};
  t.context = line.substr(open + 2, close - open - 2);
  t.text = line.substr(close + 2);
  return t;
}

struct ExpectedTrace {
  unsigned level;
  std::string util;  // handle name; the context too unless generic
  bool generic;      // the accessor's handle: generic file and empty context
  std::string text;
};

TEST(Trace, FrameTextsLevelsHandlesAndContexts) {
  const auto chip = Hardware::kChipBcm88890A0;
  const TernAsicUtils::UtilKey key{
      {0x11010402},
      Hardware::Tern::FapRevision(chip, 0),
      qualifiedName(UtilCatalog::util("IppdAllowDefaultRouteUtil"), chip)};
  const auto tableDelete = vsi1({.instanceId = 2, .isDelete = true, .isTableDelete = true});
  std::vector<std::string> lines;
  {
    TraceCapture capture("3,8");
    {
      TestSupport::Rig host(chip, {0});
      host.util("IppdAllowDefaultRouteUtil")->processSwEntry(vsi1());
      host.util("IppdAllowDefaultRouteUtil")
          ->processSwEntry(sample(UtilCatalog::util("IppdAllowDefaultRouteUtil"), {.fapId = 5}));
      host.util("IppaCsInlif0ProfileMapUtil")->utilApplicable(vsi1({.isTableDelete = true}));
      // A table delete of the other kind: the register's revert hook sees it too.
      host.util("IppdAllowDefaultRouteUtil")->processSwEntry(tableDelete);
      host.util("IppdInlifProfileTableUtil")->clearHwTable(Asic::UnitId::of(3, 1));
      using Register = bcm88890_a0::IppdAllowDefaultRouteHwReg;
      const SchanAccel::FapId fap(0);
      const TernAsicUtils::InstanceId instance = 4;
      const Register::EntryKey key{};
      Register::Entry read{key};
      inspect(host.util("IppdAllowDefaultRouteUtil"), "readShadowEntry", kCall,
              {&fap, &instance, &key}, &read);
    }
    lines = capture.lines();
  }
  const std::string allow = "IppdAllowDefaultRouteUtil";
  const auto vsiEntry = QelPavo::Impl::valueToStrep(TernL3Ni::RoutingStateLogEntry::vsi(1, 2));
  const ExpectedTrace expected[] = {
      {8, allow, false, "fapRevision: { chipType: 21, revision: 0 }"},
      {3, allow, true, " calling getSchanCmds "},
      {3, allow, false, " IppdAllowDefaultRouteUtil util is not Applicable"},
      {3, allow, true, " fapId: 0 instanceId 0 swEntry: " + vsiEntry},
      {3, allow, true,
       " fapId: 0 instanceId 2 logEntry: " +
           QelPavo::Impl::valueToStrep(
               static_cast<const TernL3Ni::RoutingStateLogEntryWrapper&>(*tableDelete)
                   .logRecord())},
      {3, allow, true, " Created schanEnqeueuStats for SwTableId 11:01:0402 "},
      {3, allow, true, " Incrementing EnqueueStats for shadowKey { fapId: 0, instanceId: 0 }"},
      {3, allow, false, " swKey: { id: 1, type: 0 } hwKey: { }"},
      {3, allow, false, " fapId: 0 instanceId: 2 hwKey: { } logEntry: " + vsiEntry + " "},
      {3, allow, true, "Ignoring due to fapmask  mismatch"},
      {3, allow, true, " Incrementing EnqueueStats for shadowKey { fapId: 5, instanceId: 0 }"},
      {3, "IppaCsInlif0ProfileMapUtil", false,
       " IppaCsInlif0ProfileMapUtil util is applicable for table delete"},
      {8, "IppdInlifProfileTableUtil", false, " unitId: { fapId: 3, instanceId: 1 }"},
      // "insanceId" as the agent's log readers expect it: a tidy-up must not correct it.
      {8, allow, false, " fapId: 0 insanceId: 4 hwShadowKey: { fapId: 0, instanceId: 4 } key: { }"},
      {8, allow, false, " utilKey: " + QelPavo::Impl::valueToStrep(key)},
  };
  std::vector<TraceLine> parsed;
  for (const auto& l : lines) {
    const auto t = parse(l);
    ASSERT_TRUE(t) << l;
    parsed.push_back(*t);
  }
  for (const auto& e : expected) {
    const std::string file = e.generic ? "TernAsicUtils/UtilAccessor" : "Jericho3ai/" + e.util;
    const std::string context = e.generic ? "" : e.util;
    const bool found = std::any_of(parsed.begin(), parsed.end(), [&](const TraceLine& t) {
      return t.level == e.level && t.handle == e.util && t.file == file && t.context == context &&
             t.text == e.text;
    });
    EXPECT_TRUE(found) << "L" << e.level << " " << e.util << " " << file << " [" << context << "] '"
                       << e.text << "'";
  }
  // The enqueue record is announced on every call, not only when it is created.
  const auto created = std::count_if(parsed.begin(), parsed.end(), [](const TraceLine& t) {
    return t.text == " Created schanEnqeueuStats for SwTableId 11:01:0402 ";
  });
  EXPECT_EQ(created, 3);
  EXPECT_TRUE(std::any_of(parsed.begin(), parsed.end(), [](const TraceLine& t) {
    return t.function == "userDefinedDoRevertHwEntry" &&
           t.text == " calling user specified util function";
  }));
}

// The logics' own traces are at level 2, below the frame's: every Util's entries of key 0 (a
// routing profile 0 takes a branch of its own) and 5, traced at every level.
TEST(Trace, LogicsTraceAtLevelTwo) {
  TestSupport::Rig host(Hardware::kChipBcm88890A0);
  TraceCapture capture("2,3,8");
  for (const auto& u : utils())
    for (const std::uint8_t key : {0, 5}) host.util(u.name)->processSwEntry(sample(u, {}, key));
  std::size_t logicLines = 0;
  for (const auto& l : capture.lines()) {
    const auto t = parse(l);
    ASSERT_TRUE(t) << l;
    if (t->file.rfind("TernL3Util/", 0) != 0) continue;
    ++logicLines;
    EXPECT_EQ(t->level, 2u) << l;
  }
  EXPECT_GT(logicLines, utils().size());
}

// ---- log message declarations -----------------------------------------------------------

// The plug-in's record section as the toolchain's readelf lists it (binutils comes with the
// compiler): read from the file, not from what this process made of it.
TEST(LogDescriptors, SectionHoldsExactlyTheThreeRecords) {
  FILE* out = popen(("readelf -SW '" + std::string(TERN_PLUGIN_PATH) + "'").c_str(), "r");
  ASSERT_NE(out, nullptr);
  std::uint64_t addr = 0, size = 0;
  std::string name, type, offset, entrySize, flags;
  for (char line[512]; std::fgets(line, sizeof line, out);)
    if (const char* at = std::strstr(line, ".veltro_logmsg ")) {
      std::istringstream in(at);
      in >> name >> type >> std::hex >> addr >> offset >> size >> entrySize >> flags;
    }
  pclose(out);
  ASSERT_EQ(name, ".veltro_logmsg");
  EXPECT_NE(flags.find('A'), std::string::npos) << flags;  // loaded with the object
  EXPECT_EQ(size, 3 * sizeof(Qel::LogDescriptor));
  // Four pointers and two words: 24 bytes in the agent's 32-bit build.
  EXPECT_EQ(sizeof(Qel::LogDescriptor), sizeof(void*) == 4 ? 24u : 40u);
  // Read the records where the loader mapped the section in this process.
  void* handle = dlopen(TERN_PLUGIN_PATH, RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr) << dlerror();
  link_map* map = nullptr;
  ASSERT_EQ(dlinfo(handle, RTLD_DI_LINKMAP, &map), 0);
  const auto* records =
      reinterpret_cast<const Qel::LogDescriptor*>(std::uintptr_t(map->l_addr + addr));
  dlclose(handle);
  const char* const names[] = {"HW_ABSTRACTION_EXCEPTION", "HW_ABSTRACTION_RELAUNCH_ERROR",
                               "HW_ABSTRACTION_ERROR"};
  const char* const formats[] = {"%s", "%s", "Hardware abstraction error: unable to load item: %s"};
  const char* const explanations[] = {
      "Exception", "Duplicate Writer Detected, flume path not cleaned up",
      "Hardware abstraction error: unable to load some persistent items. Some agents will be "
      "restarted"};
  for (unsigned i = 0; i < 3; ++i) {
    const auto& r = records[i];
    EXPECT_STREQ(r.name, names[i]);
    EXPECT_STREQ(r.format, formats[i]);
    EXPECT_STREQ(r.explanation, explanations[i]);
    EXPECT_STREQ(r.flags, "\x01");
    EXPECT_EQ(r.count, 3u);
    EXPECT_EQ(r.reserved, 0u);
    EXPECT_STREQ(TernAsicUtils::kLogDescriptors[i].name, names[i]);
  }
}
}  // namespace
