// Trace handles, level rules, capture, and the rule that a disabled trace renders nothing.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "host/Trace.h"
#include "host/Types.h"

namespace {
using Qel::TraceConfig;
using Qel::TraceHandle;
using Lines = std::vector<std::string>;

// A trace argument that counts how often it is rendered.
struct Probe {
  static inline int rendered = 0;
  void strep(Pavo::StrepBuf& b) const {
    ++rendered;
    Pavo::strepAppend(b, "probe");
  }
};

class TraceTest : public ::testing::Test {
 protected:
  void SetUp() override { Probe::rendered = 0; }
  void TearDown() override {
    (void)TraceConfig::captureEnd();
    TraceConfig::disableAll();
  }
  static std::vector<unsigned> levels(const TraceHandle& h) {
    std::vector<unsigned> out;
    for (unsigned l = 0; l < 32; ++l)
      if (h.enabled(l)) out.push_back(l);
    return out;
  }
  TraceHandle a_{"A", false};
  TraceHandle b_{"B", false};
};

TEST_F(TraceTest, NothingEnabledByDefault) {
  EXPECT_TRUE(levels(a_).empty());
  EXPECT_TRUE(levels(b_).empty());
}

TEST_F(TraceTest, LevelListAppliesToEveryHandle) {
  TraceConfig::enable("2,3");
  EXPECT_EQ(levels(a_), (std::vector<unsigned>{2, 3}));
  EXPECT_EQ(levels(b_), (std::vector<unsigned>{2, 3}));
  EXPECT_FALSE(a_.enabled(8));
  TraceConfig::enable("8");  // replaces, does not add
  EXPECT_EQ(levels(a_), std::vector<unsigned>{8});
  TraceConfig::enable("0,31");
  EXPECT_EQ(levels(b_), (std::vector<unsigned>{0, 31}));
  TraceConfig::disableAll();
  EXPECT_TRUE(levels(a_).empty());
}

TEST_F(TraceTest, PerNameRulesAndLaterHandles) {
  TraceConfig::enable("A=8;*=2");
  EXPECT_EQ(levels(a_), std::vector<unsigned>{8});
  EXPECT_EQ(levels(b_), std::vector<unsigned>{2});
  const TraceHandle lateA("A", false), lateC("C", false);
  EXPECT_EQ(levels(lateA), std::vector<unsigned>{8});
  EXPECT_EQ(levels(lateC), std::vector<unsigned>{2});

  TraceConfig::enable("B=3,8");  // no "*": other handles off
  EXPECT_TRUE(levels(a_).empty());
  EXPECT_EQ(levels(b_), (std::vector<unsigned>{3, 8}));
  EXPECT_TRUE(levels(lateC).empty());
}

TEST_F(TraceTest, BadConfigurationIsRefusedAndKeepsTheOldOne) {
  TraceConfig::enable("A=8");
  for (const char* bad : {"", "32", "x", "2,,3", "A=", "=2", "A=2;B", "-1", "100"}) {
    EXPECT_THROW(TraceConfig::enable(bad), std::invalid_argument) << '"' << bad << '"';
    EXPECT_EQ(levels(a_), std::vector<unsigned>{8}) << bad;
  }
}

TEST_F(TraceTest, CaptureCollectsFormattedAndStreamLines) {
  TraceConfig::enable("A=2,3");
  TraceConfig::captureBegin();
  Pavo::fmtrace(a_, 3, "TernAsicUtils/UtilAccessor", "getSchanCmds", 42, "",
                " Created schanEnqeueuStats for SwTableId {} ", Asic::SwTableId{0x11010402});
  Pavo::fmtrace(a_, 3, "Jericho3ai/XUtil", "clearHwTable", 7, "XUtil", " unitId: {} {}",
                Asic::UnitId::of(1, 2), std::string("s"));
  const unsigned char profile = 9;
  const int streamLine = __LINE__ + 1;
  QEL_TRACE_STREAM(a_, 2, "TernL3Util/Jericho3AndAbove/Impl", "doSetHwEntry")
      << "profile " << profile << " " << 12u << " set " << true << std::string("!") << Probe{};
  Pavo::fmtrace(b_, 3, "f", "g", 1, "", "not captured: B is off");
  const Lines lines = TraceConfig::captureEnd();
  EXPECT_EQ(lines, (Lines{"L3 A TernAsicUtils/UtilAccessor:42 getSchanCmds []  Created "
                          "schanEnqeueuStats for SwTableId 11:01:0402 ",
                          "L3 A Jericho3ai/XUtil:7 clearHwTable [XUtil]  unitId: { fapId: 1, "
                          "instanceId: 2 } s",
                          fmt::format("L2 A TernL3Util/Jericho3AndAbove/Impl:{} doSetHwEntry [] "
                                      "profile 9 12 set true!probe",
                                      streamLine)}));
  EXPECT_TRUE(TraceConfig::captured().empty());  // captureEnd hands the lines over
}

TEST_F(TraceTest, DisabledLevelRendersNoArgument) {
  TraceConfig::enable("2");
  TraceConfig::captureBegin();
  Pavo::fmtrace(a_, 3, "f", "fn", 1, "", "{} {}", Probe{}, Probe{});
  QEL_TRACE_STREAM(a_, 8, "f", "fn") << Probe{} << "x";
  EXPECT_EQ(Probe::rendered, 0);
  EXPECT_TRUE(TraceConfig::captured().empty());

  Pavo::fmtrace(a_, 2, "f", "fn", 1, "", "{} {}", Probe{}, Probe{});
  QEL_TRACE_STREAM(a_, 2, "f", "fn") << Probe{};
  EXPECT_EQ(Probe::rendered, 3);
  EXPECT_EQ(TraceConfig::captureEnd().size(), 2u);
}

TEST_F(TraceTest, StreamMacroBindsToItsOwnIf) {
  // The macro expands to an if/else; an enclosing if-else must keep its meaning.
  TraceConfig::enable("2");
  TraceConfig::captureBegin();
  bool elseTaken = false;
  for (bool cond : {true, false}) {
    if (cond)
      QEL_TRACE_STREAM(a_, 2, "f", "fn") << "then";
    else
      elseTaken = true;
  }
  EXPECT_TRUE(elseTaken);
  const Lines lines = TraceConfig::captureEnd();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with(" then")) << lines[0];
}

}  // namespace
