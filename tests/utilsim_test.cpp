// Drives the built utilsim executable as a user would and checks what it prints and returns.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>

#include "tests/UtilCatalog.h"

#ifdef UTILSIM_PATH

namespace {
namespace fs = std::filesystem;
using Json = nlohmann::json;

struct Outcome {
  int status = -1;
  std::string out, err;
};

class UtilsimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("utilsim_test_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string file(const std::string& name, const std::string& text) {
    const auto path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  // Runs utilsim with the arguments (already shell-quoted where needed), standard input
  // redirected from a file, or piped from it (then it cannot be read twice).
  Outcome run(const std::string& args, const std::string& stdinFile = "/dev/null",
              bool pipe = false) {
    const auto errPath = (dir_ / "stderr.txt").string();
    const std::string sim = std::string("'") + UTILSIM_PATH + "' " + args;
    const std::string cmd =
        (pipe ? "cat '" + stdinFile + "' | " + sim : sim + " <'" + stdinFile + "'") + " 2>'" +
        errPath + "'";
    Outcome r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream in(errPath);
    std::stringstream ss;
    ss << in.rdbuf();
    r.err = ss.str();
    return r;
  }

  static std::string example() {
    std::string path = TERN_SOURCE_DIR;
    path += "/examples/basic.jsonl";
    return path;
  }
  static std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
  }
  static std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

  // The results of one Util for the entry at index i.
  static const Json& result(const Json& doc, std::size_t i, const std::string& util) {
    for (const auto& r : doc.at("entries").at(i).at("results"))
      if (r.at("util") == util) return r;
    throw std::runtime_error("no result of " + util);
  }

  fs::path dir_;
};

TEST_F(UtilsimTest, ListShowsEveryRegistration) {
  const auto r = run("list --json");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = Json::parse(r.out);
  ASSERT_EQ(doc.size(), UtilCatalog::kUtilClasses * UtilCatalog::kRevisions);
  int a0 = 0, mtu = 0;
  for (const auto& reg : doc) {
    const auto util = reg.at("util").get<std::string>();
    EXPECT_EQ(reg.at("plugin").get<std::string>(), util + "Plugin");
    const auto rev = reg.at("fapRevision").get<std::string>();
    EXPECT_EQ(util.substr(0, rev.size()), rev);
    EXPECT_EQ(reg.at("hwTableType").get<std::string>().substr(0, rev.size()), rev);
    a0 += rev == "bcm88890_a0";
    if (util.find("EtppcMtuMapTableUtil") != std::string::npos) {
      ++mtu;
      EXPECT_EQ(reg.at("swTableId"), "0f:08:0403");
    }
  }
  EXPECT_EQ(a0, int(UtilCatalog::kUtilClasses));
  EXPECT_EQ(mtu, 2);
  const auto text = run("list");
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("bcm88890_b0::TernL3NiUtil::IppdAllowDefaultRouteUtil"),
            std::string::npos);
}

TEST_F(UtilsimTest, BasicExampleReplaysConsistently) {
  const auto r = run("replay --json '" + example() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = Json::parse(r.out);
  EXPECT_EQ(doc.at("chip"), "bcm88890_a0");
  EXPECT_EQ(doc.at("errors"), 0);
  EXPECT_EQ(doc.at("hardware").at("consistent"), true);
  EXPECT_EQ(doc.at("tables").size(), TernAsicUtils::HwTableInfo::all().size());
  EXPECT_EQ(doc.at("counters").size(), UtilCatalog::kUtilClasses);
  // VSIs 4..7 share entry 1: 4 -> 1, 5 -> 2, 6 -> 3 then 2, 7 -> 4 then deleted (the slot stays).
  bool found = false;
  for (const auto& row : doc.at("tables").at("IppfVsiToRoutingProfileMapHwDirect"))
    if (row.at("key") == Json{{"array", 0}, {"entryIndex", 1}}) {
      found = true;
      EXPECT_EQ(row.at("entry").at("routingProfile"), Json::array({1, 2, 2, 4}));
    }
  EXPECT_TRUE(found);
  // MTU profile 2 owns rows 16..23.
  unsigned mtuRows = 0;
  for (const auto& row : doc.at("tables").at("EtppcMtuMapTableHwDirect"))
    if (row.at("key").at("value") >= 16 && row.at("key").at("value") <= 23) {
      ++mtuRows;
      EXPECT_EQ(row.at("entry").at("mtuByteSize"), 9000);
    }
  EXPECT_EQ(mtuRows, 8u);
  // Every command of every result was executed by the chip model.
  std::size_t commands = 0;
  for (const auto& e : doc.at("entries"))
    for (const auto& res : e.at("results")) commands += res.at("commands").size();
  EXPECT_EQ(doc.at("hardware").at("commands"), commands);

  // --jsonl: the same elements, each with the entry as read, then the rest of the document.
  const auto lines = run("replay --jsonl '" + example() + "'");
  ASSERT_EQ(lines.status, 0) << lines.err;
  std::istringstream in(lines.out);
  std::vector<Json> objects;
  for (std::string line; std::getline(in, line);) objects.push_back(Json::parse(line));
  ASSERT_EQ(objects.size(), doc.at("entries").size() + 1);
  std::string log;
  for (std::size_t i = 0; i + 1 < objects.size(); ++i) {
    auto e = objects[i];
    log += e.at("entry").dump() + "\n";
    e.erase("entry");
    EXPECT_EQ(e, doc.at("entries").at(i));
  }
  auto rest = doc;
  rest.erase("entries");
  EXPECT_EQ(objects.back(), rest);
  // The entries as read are a log again, which replays to the same end state.
  const auto again = run("replay --json '" + file("again.jsonl", log) + "'");
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(Json::parse(again.out).at("tables"), doc.at("tables"));
}

TEST_F(UtilsimTest, InputErrorsStopTheReplay) {
  const auto log =
      file("bad.jsonl",
           "# comment\n"
           "{\"table\": \"mtuProfile\", \"key\": 1, \"value\": {\"mtuBytes\": 70000}}\n"
           "\n"
           "{\"table\": \"routingState\", \"fapId\": 256, \"key\": {\"id\": -1}}\n"
           "not json\n"
           "{\"table\": \"bogus\", \"key\": 1}\n"
           "{\"table\": \"mtuProfile\", \"key\": \"1\"}\n"
           "{\"table\": \"mtuProfile\", \"key\": 1e0, \"value\": {\"mtuBytes\": 17.0}}\n"
           "{\"op\": \"readShadowEntry\", \"hwTable\": \"EtppcMtuMapTableHwDirect\", \"key\": "
           "{\"value\": 200}}\n");
  const auto r = run("replay '" + log + "'");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find(log + ":2: value.mtuBytes: 70000 is out of range"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(log + ":4: fapId: 256 is out of range"), std::string::npos);
  EXPECT_NE(r.err.find(log + ":4: key.id: -1 is out of range"), std::string::npos);
  EXPECT_NE(r.err.find(log + ":5:2: not valid JSON"), std::string::npos);
  EXPECT_NE(r.err.find(log + ":6: table: unknown table"), std::string::npos);
  EXPECT_NE(r.err.find(log + ":7: key: expected an integer"), std::string::npos);
  EXPECT_NE(r.err.find(log + ":9: key: names no row of EtppcMtuMapTableHwDirect"),
            std::string::npos);
  // Numbers that are not integers are quoted as written.
  EXPECT_NE(r.err.find(log + ":8: key: expected an integer from 0 to 255, got 1e0 (written with"),
            std::string::npos);
  EXPECT_NE(r.err.find(log + ":8: value.mtuBytes: expected an integer from 0 to 65535, got 17.0 ("),
            std::string::npos);
  EXPECT_EQ(r.err.find(":1:"), std::string::npos);
  EXPECT_EQ(r.err.find(":3:"), std::string::npos);
  // The same from standard input: redirected from a file, it is checked whole first; from a
  // pipe, which can be read only once, the entries before the first bad line are replayed
  // and shown, then the run stops with that line's errors.
  EXPECT_EQ(run("replay --json -", log).out, "");
  const auto piped = run("replay --json -", log, true);
  EXPECT_EQ(piped.status, 2);
  EXPECT_EQ(Json::parse(piped.out).at("entries").size(), 0u);
  EXPECT_NE(piped.err.find("<stdin>:2: value.mtuBytes: 70000 is out of range"), std::string::npos)
      << piped.err;
  EXPECT_EQ(piped.err.find("<stdin>:4:"), std::string::npos);
  const auto later = file("later.jsonl", slurp(example()) + "{\"table\": \"bogus\"}\n");
  const auto partial = run("replay --json -", later, true);
  EXPECT_EQ(partial.status, 2);
  EXPECT_EQ(Json::parse(partial.out),
            Json::parse(slurp(std::string(TERN_SOURCE_DIR) + "/examples/basic.expected.json")));
  EXPECT_NE(partial.err.find("<stdin>:42: table: unknown table"), std::string::npos) << partial.err;
  EXPECT_NE(partial.err.find("the 20 entries before it were replayed"), std::string::npos);
}

TEST_F(UtilsimTest, LibraryFailuresAreReported) {
  const auto log = file("fail.jsonl",
                        "{\"table\": \"routingState\", \"key\": {\"id\": 5}, \"value\": "
                        "{\"routingProfileMap\": 16}}\n"
                        "{\"table\": \"routingState\", \"fapId\": 129, \"key\": {\"id\": 5}}\n");
  const auto r = run("replay --json '" + log + "'");
  ASSERT_EQ(r.status, 1) << r.err;
  const auto doc = Json::parse(r.out);
  const auto& first = result(doc, 0, "IppfVsiToRoutingProfileMapArray0Util");
  EXPECT_EQ(first.at("applicable"), true);
  EXPECT_NE(first.at("error").get<std::string>().find("U4::value < 0 or > 0x0f not allowed"),
            std::string::npos);
  const auto& second = result(doc, 1, "IppaVsiToRoutingProfileMapArray3Util");
  EXPECT_NE(second.at("error").get<std::string>().find("SchanAccel::FapId::value"),
            std::string::npos);
  // A routing-profile Util does not take VSI entries.
  const auto& other = result(doc, 0, "IppdInlifProfileTableUtil");
  EXPECT_EQ(other.at("applicable"), false);
  EXPECT_EQ(other.at("commands").size(), 0u);
  EXPECT_TRUE(other.at("error").is_null());
  EXPECT_GE(doc.at("errors"), 3);
  const auto text = run("replay '" + log + "'");
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.out.find("line 1 "), std::string::npos);
  EXPECT_NE(text.out.find("U4::value < 0 or > 0x0f not allowed"), std::string::npos);

  // The per-line view shows the failing line with each Util's answer and the whole chain.
  const auto view = run("replay --lines 2 '" + log + "'");
  EXPECT_NE(view.out.find("  line 2: routingState fap 129"), std::string::npos) << view.out;
  EXPECT_NE(view.out.find("IppaVsiToRoutingProfileMapArray3Util: error\n      "),
            std::string::npos);
  EXPECT_NE(view.out.find("SchanAccel::FapId::value"), std::string::npos);
  EXPECT_EQ(view.out.find("  line 1:"), std::string::npos);

  // The report lists the first 100 failures (or as many as asked) and counts the rest.
  std::string many;
  for (int i = 0; i < 60; ++i)
    many += "{\"table\": \"routingState\", \"key\": {\"id\": " + std::to_string(i) +
            "}, \"value\": {\"routingProfileMap\": 16}}\n";
  const auto path = file("many.jsonl", many);
  for (const auto& [option, listed] :
       {std::pair{"", 100}, std::pair{"--failures all", 120}, std::pair{"--failures 7", 7}}) {
    const auto r = run(std::string("replay ") + option + " '" + path + "'");
    EXPECT_EQ(r.status, 1) << option;
    EXPECT_NE(r.out.find("Failures: 120\n"), std::string::npos) << option;
    EXPECT_EQ(count(r.out, "U4::value < 0"), std::size_t(listed)) << option;
    EXPECT_EQ(r.out.find(" more (--failures all lists them all)") != std::string::npos,
              listed < 120)
        << option;
  }
}

TEST_F(UtilsimTest, AlwaysDispatchAsksNothing) {
  // Without the applicability test the vector-map Utils map VSI 1000 as if it were a routing
  // profile, and its low eight bits (232) lie outside their sixteen entries.
  const auto r = run("replay --json --dispatch always '" + example() + "'");
  ASSERT_EQ(r.status, 1) << r.err;
  const auto doc = Json::parse(r.out);
  int errors = 0;
  for (const auto& e : doc.at("entries"))
    for (const auto& res : e.at("results")) {
      EXPECT_TRUE(res.at("applicable").is_null());
      if (res.at("error").is_null()) continue;
      ++errors;
      EXPECT_NE(res.at("util").get<std::string>().find("RoutingProfileToVectorMap"),
                std::string::npos);
      EXPECT_NE(res.at("error").get<std::string>().find("entryIndexMax not allowed"),
                std::string::npos);
    }
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(doc.at("errors"), 2);
  // Utils that do not take the entry still return their commands.
  EXPECT_FALSE(result(doc, 0, "IppfVsiToRoutingProfileMapArray0Util").at("commands").empty());
}

TEST_F(UtilsimTest, FapMaskAndStdin) {
  // Every key writes the one row of the trap's egress forward action profile (6).
  const auto log = file("trap.jsonl",
                        "{\"table\": \"trapForwardAction\", \"fapId\": 3, \"key\": 6, \"value\": "
                        "{\"outPort\": 1}}\n"
                        "{\"table\": \"trapForwardAction\", \"fapId\": 3, \"key\": 17, \"value\": "
                        "{\"outPort\": 2}}\n");
  const auto r = run("replay --json --fap-mask 0-2 -", log);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = Json::parse(r.out);
  EXPECT_EQ(doc.at("counters").at("EtppbTrapForwardActionTableUtil").at("fapmaskMismatch"), 2);
  EXPECT_EQ(result(doc, 0, "EtppbTrapForwardActionTableUtil").at("applicable"), false);
  EXPECT_TRUE(doc.at("tables").at("EtppbTrapForwardActionTableHwDirect").empty());
  const auto inMask = run("replay --json --fap-mask 3 -", log);
  ASSERT_EQ(inMask.status, 0) << inMask.err;
  const auto rows = Json::parse(inMask.out).at("tables").at("EtppbTrapForwardActionTableHwDirect");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("key").at("value"), 6);
  EXPECT_EQ(rows[0].at("entry").at("outTmPort"), 2);
  const auto text = run("replay --fap-mask 3 '" +
                        file("one.jsonl", slurp(log).substr(0, slurp(log).find('\n') + 1)) + "'");
  EXPECT_NE(text.out.find(
                fmt::format("chip bcm88890_a0, 1 log entry, {} Utils,", UtilCatalog::kUtilClasses)),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("EtppbTrapForwardActionTableHwDirect: 1 row\n"), std::string::npos);
}

TEST_F(UtilsimTest, DroppedCommandFailsTheHardwareCheckAndExpect) {
  const auto good = run("replay --json '" + example() + "'");
  ASSERT_EQ(good.status, 0);
  const auto stored = file("expected.json", good.out);
  const auto same = run("replay --expect '" + stored + "' '" + example() + "'");
  EXPECT_EQ(same.status, 0) << same.out;
  EXPECT_NE(same.out.find("matches"), std::string::npos);

  auto oneOff = Json::parse(good.out);
  oneOff["errors"] = 1;
  const auto off =
      run("replay --expect '" + file("off.json", oneOff.dump()) + "' '" + example() + "'");
  EXPECT_EQ(off.status, 1);
  EXPECT_NE(off.out.find("(1 difference line):\n  /errors: expected 1, got 0\n"), std::string::npos)
      << off.out;

  const auto dropped = run("replay --json --drop-command 1 '" + example() + "'");
  EXPECT_EQ(dropped.status, 1);
  const auto doc = Json::parse(dropped.out);
  EXPECT_EQ(doc.at("hardware").at("consistent"), false);
  EXPECT_FALSE(doc.at("hardware").at("mismatches").empty());
  EXPECT_EQ(doc.at("hardware").at("commands").get<int>() + 1,
            Json::parse(good.out).at("hardware").at("commands").get<int>());
  // The mismatch names who wrote the shadow row (the first entry, line 7) and that no
  // command reached the chip row.
  const auto& mismatch = doc.at("hardware").at("mismatches").at(0);
  EXPECT_EQ(mismatch.at("shadowWrittenBy"),
            (Json{{"line", 7}, {"util", "IppaCsInlif0ProfileMapUtil"}}));
  EXPECT_TRUE(mismatch.at("hardwareWrittenBy").is_null());

  const auto differs = run("replay --drop-command 1 --expect '" + stored + "' '" + example() + "'");
  EXPECT_EQ(differs.status, 1);
  EXPECT_NE(differs.out.find("/hardware/consistent: expected true, got false"), std::string::npos)
      << differs.out;

  // A document recorded with --timing serves as well, and entries are compared by content
  // and order: comment lines added to the log shift nothing. A changed entry is named by
  // its line on both sides.
  const auto timed = file("timed.json", run("replay --json --timing '" + example() + "'").out);
  auto log = "# one more comment\n\n" + slurp(example());
  const auto shifted = run("replay --expect '" + timed + "' '" + file("shifted.jsonl", log) + "'");
  EXPECT_EQ(shifted.status, 0) << shifted.out;
  log.replace(log.find("\"routingProfileMap\": 1}"), 23, "\"routingProfileMap\": 3}");
  const auto changed = run("replay --expect '" + timed + "' '" + file("changed.jsonl", log) + "'");
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.out.find("/entries/7/results/"), std::string::npos) << changed.out;
  EXPECT_NE(changed.out.find("(stored line 22, this run's line 24)"), std::string::npos);
  const auto shorter = run("replay --expect '" + timed + "' '" +
                           file("short.jsonl", log.substr(0, log.find("# VSI 1000"))) + "'");
  EXPECT_NE(shorter.out.find("/entries: expected 20 elements, got 11"), std::string::npos)
      << shorter.out;
}

TEST_F(UtilsimTest, ChainsFollowTheShadows) {
  const auto r = run("replay --show chains --timing '" + example() + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("VSI 5 (entry 1, slot 1)"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("routing profile 2: CS in-LIF profile 0x02 (IPv4 uRPF)"), std::string::npos);
  EXPECT_NE(r.out.find("RPF mode IPv4 strict, IPv6 off"), std::string::npos);
  EXPECT_NE(r.out.find("default route allowed: strict uRPF yes, loose uRPF no"), std::string::npos);
  // VSI 7 was deleted.
  EXPECT_EQ(r.out.find("VSI 7 "), std::string::npos);
  // Latencies in whole nanoseconds.
  const auto timing = r.out.find("processSwEntry latency (nanoseconds)\n");
  ASSERT_NE(timing, std::string::npos) << r.out;
  const auto row = r.out.find("EtppcMtuMapTableUtil", timing);
  EXPECT_EQ(r.out.substr(row, r.out.find('\n', row) - row).find('.'), std::string::npos);
  // The Utils take a table delete as an entry of its key (VSI 0 here): it removes no VSI.
  const auto cleared = file(
      "cleared.jsonl", slurp(example()) + "{\"table\": \"routingState\", \"tableDelete\": true}\n");
  const auto after = run("replay --show chains '" + cleared + "'");
  EXPECT_NE(after.out.find("VSI 5 (entry 1, slot 1)"), std::string::npos) << after.out;
  EXPECT_NE(after.out.find("VSI 0 (entry 0, slot 0)"), std::string::npos);
  EXPECT_EQ(after.out.find("(no VSI set)"), std::string::npos);
}

TEST_F(UtilsimTest, FiltersSelectTablesCopiesAndChangedRows) {
  const auto all = Json::parse(run("replay --json '" + example() + "'").out);
  const auto one = Json::parse(
      run("replay --json --table IppaCsInlif0ProfileMapHwDirect --changed '" + example() + "'")
          .out);
  ASSERT_EQ(one.at("tables").size(), 1u);
  const auto& rows = one.at("tables").at("IppaCsInlif0ProfileMapHwDirect");
  // Profile 1 has no uRPF: its row is present with the reset value, and --changed drops it.
  EXPECT_EQ(rows.size() + 1, all.at("tables").at("IppaCsInlif0ProfileMapHwDirect").size());
  for (const auto& row : rows) EXPECT_NE(row.at("entry").at("csInlif0Profile"), 0) << row;
  const auto other =
      Json::parse(run("replay --json --fap 1-3 --instance 0 '" + example() + "'").out);
  for (const auto& [name, table] : other.at("tables").items()) EXPECT_TRUE(table.empty()) << name;
  EXPECT_TRUE(other.at("enqueue").at("11:01:0402").empty());
  // Of the three copies of the second example, --instance 1 keeps fap 1 instance 1 alone.
  const auto copies = Json::parse(
      run("replay --json --instance 1 '" + std::string(TERN_SOURCE_DIR) + "/examples/copies.jsonl'")
          .out);
  EXPECT_FALSE(copies.at("tables").at("IppaVsiToRoutingProfileMapHwDirect").empty());
  for (const auto& [name, table] : copies.at("tables").items())
    for (const auto& row : table) EXPECT_EQ(row.at("instanceId"), 1) << name;
  const auto text = run("replay --fap 0 --table EtppcMtuMapTableHwDirect '" + example() + "'");
  EXPECT_NE(text.out.find("EtppcMtuMapTableHwDirect: " +
                          std::to_string(all.at("tables").at("EtppcMtuMapTableHwDirect").size()) +
                          " rows"),
            std::string::npos)
      << text.out;
  EXPECT_EQ(text.out.find("IppaCsInlif0ProfileMapHwDirect"), std::string::npos);
  const auto enqueued = all.at("enqueue").at("11:01:0402").at(0).at("count").get<int>();
  EXPECT_NE(text.out.find(fmt::format("  11:01:0402:\n    fap 0 instance 0: {}\n", enqueued)),
            std::string::npos);
}

// The agent's other calls, in the log between entries: reading a shadow row and clearing a
// copy in hardware (whose commands the chip executes).
TEST_F(UtilsimTest, HostOperationsReadAndClear) {
  const auto log = file("ops.jsonl",
                        "{\"table\": \"mtuProfile\", \"key\": 1, \"value\": {\"mtuBytes\": 1500}}\n"
                        "{\"op\": \"readShadowEntry\", \"hwTable\": \"EtppcMtuMapTableHwDirect\", "
                        "\"key\": {\"value\": 9}}\n"
                        "{\"op\": \"clearHwTable\", \"hwTable\": \"EtppcMtuMapTableHwDirect\"}\n"
                        "{\"op\": \"readShadowEntry\", \"hwTable\": \"EtppcMtuMapTableHwDirect\", "
                        "\"key\": {\"value\": 9}}\n");
  const auto r = run("replay --json '" + log + "'");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto doc = Json::parse(r.out);
  const auto& entries = doc.at("entries");
  EXPECT_EQ(entries.at(1).at("read").at("mtuByteSize"), 1500);
  EXPECT_EQ(entries.at(2).at("results").at(0).at("commands").size(), 129u);
  EXPECT_EQ(entries.at(3).at("read").at("mtuByteSize"), 0);
  EXPECT_TRUE(doc.at("tables").at("EtppcMtuMapTableHwDirect").empty());
  EXPECT_EQ(doc.at("hardware").at("consistent"), true);
  const auto view = run("replay --lines 3 '" + log + "'");
  EXPECT_NE(view.out.find("shadow copy cleared: EtppcMtuMapTableHwDirect fap 0 instance 0 (by "
                          "EtppcMtuMapTableUtil)"),
            std::string::npos)
      << view.out;
}

// Nothing of an entry outlives it: ten times the log takes the same memory.
TEST_F(UtilsimTest, MemoryStaysBoundedAsTheLogGrows) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's allocator holds on to freed memory";
#else
  // Peak resident size in KiB of utilsim replaying a generated log of n entries.
  const auto peak = [this](int n, const char* format) {
    const auto log = (dir_ / "gen.jsonl").string();
    const auto gen = std::string("python3 '") + TERN_SOURCE_DIR + "/scripts/gen-replay-log' " +
                     std::to_string(n) + " > '" + log + "'";
    EXPECT_EQ(std::system(gen.c_str()), 0);
    const pid_t pid = fork();
    if (pid == 0) {
      freopen("/dev/null", "w", stdout);
      execl(UTILSIM_PATH, "utilsim", "replay", format, log.c_str(), nullptr);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    EXPECT_EQ(wait4(pid, &status, 0, &usage), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return usage.ru_maxrss;
  };
  for (const char* format : {"--json", "--no-progress"}) {
    const long small = peak(20000, format), large = peak(200000, format);
    EXPECT_LT(large, small + small / 10) << format << ": " << small << " KiB, then " << large;
  }
#endif
}

// A saved state continues a run: the example in two halves, the second started from the
// state the first saved, ends where one run of the whole does, and the diff of runs lists
// the rows that differ.
TEST_F(UtilsimTest, SavedStatesAndDiffs) {
  const auto log = slurp(example());
  const auto cut = log.find("# VSI 1000");  // VSI 6 changes after it, in an entry set before
  const auto state = (dir_ / "half.json").string();
  const auto first = run("replay --json --save-state '" + state + "' '" +
                         file("a.jsonl", log.substr(0, cut)) + "'");
  ASSERT_EQ(first.status, 0) << first.err;
  const auto half = nlohmann::ordered_json::parse(first.out);
  EXPECT_EQ(
      slurp(state),
      nlohmann::ordered_json({{"chip", half["chip"]}, {"tables", half["tables"]}}).dump(2) + "\n");
  const auto second =
      run("replay --json --load-state '" + state + "' '" + file("b.jsonl", log.substr(cut)) + "'");
  ASSERT_EQ(second.status, 0) << second.err;
  const auto whole = run("replay --json '" + example() + "'");
  EXPECT_EQ(Json::parse(second.out).at("tables"), Json::parse(whole.out).at("tables"));
  EXPECT_EQ(Json::parse(second.out).at("hardware").at("consistent"), true);

  // The last line of --jsonl serves as a state too; VSI 4 mapped to profile 3 changes one
  // row in each VSI map.
  const auto lines = run("replay --jsonl '" + example() + "'").out;
  const auto a = file("a.json", whole.out);
  const auto same = file("same.json", lines.substr(lines.rfind('\n', lines.size() - 2) + 1));
  auto changedLog = log;
  changedLog.replace(changedLog.find("\"routingProfileMap\": 1}"), 23, "\"routingProfileMap\": 3}");
  const auto b = file("b.json", run("replay --json '" + file("c.jsonl", changedLog) + "'").out);
  const auto change = [](const std::string& table, const char* array) {
    return "changed " + table + " fap 0 instance 0 array=" + array +
           " entryIndex=1:\n  routingProfile: [1, 2, 2, 4] -> [3, 2, 2, 4]\n";
  };
  for (const auto& [args, status, out] : std::vector<std::tuple<std::string, int, std::string>>{
           {a + "' '" + same, 0, "utilsim: no differences\n"},
           {a + "' '" + b, 1,
            "utilsim: from " + a + " to " + b + ": 0 rows added, 0 removed, 2 changed\n" +
                change("IppfVsiToRoutingProfileMapHwDirect", "0") +
                change("IppaVsiToRoutingProfileMapHwDirect", "3")}}) {
    const auto r = run("diff '" + args + "'");
    EXPECT_EQ(r.status, status) << r.err;
    EXPECT_EQ(r.out, out);
  }
  const auto diff = Json::parse(run("diff --json '" + a + "' '" + b + "'").out);
  EXPECT_EQ(diff.at("added").size() + diff.at("removed").size(), 0u);
  ASSERT_EQ(diff.at("changed").size(), 2u);
  EXPECT_EQ(diff.at("changed").at(0).at("fields"),
            Json::parse(R"({"routingProfile": {"a": [1, 2, 2, 4], "b": [3, 2, 2, 4]}})"));

  // A bad state is an input error naming its place; nothing is replayed or compared.
  const auto text = slurp(state);
  for (const auto& [from, to, message] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"\"entryIndex\": 1", "\"entryIndex\": 300",
            "/tables/IppfVsiToRoutingProfileMapHwDirect/0/key/entryIndex: 300 is out of range (0 "
            "to 255)"},
           {"\"routingProfile\": [\n            1", "\"routingProfile\": [\n            16",
            "/tables/IppfVsiToRoutingProfileMapHwDirect/0/entry/routingProfile/0: 16 is out of "
            "range (0 to 15)"},
           {"\"EtppcMtuMapTableHwDirect\"", "\"Bogus\"", "/tables/Bogus: unknown table"},
           {"\"tables\"", "\"table\"", "/tables: missing"},
           {"\n}", "", "not valid JSON: parse error"}}) {
    auto bad = text;
    bad.replace(bad.find(from), from.size(), to);
    const auto path = file("bad.json", bad);
    for (const auto& args : {"replay --json --load-state '" + path + "' '" + example() + "'",
                             "diff '" + path + "' '" + a + "'"}) {
      const auto r = run(args);
      EXPECT_EQ(r.status, 2) << args;
      EXPECT_EQ(r.out, "");
      EXPECT_NE(r.err.find(path + ": " + message), std::string::npos) << r.err;
    }
  }
  EXPECT_EQ(run("replay --save-state /nonexistent/s.json '" + example() + "'").status, 3);
}

TEST_F(UtilsimTest, UsageAndFileErrors) {
  // A usage error is one message and a pointer to the help of the command, not the help.
  for (const auto& [args, hint] :
       {std::pair{"", "utilsim --help"},
        {"bogus", "utilsim --help"},
        {"replay --bogus", "utilsim replay --help"},
        {"replay --chip foo", "utilsim replay --help"},
        {"replay --fap-mask 5-3", "utilsim replay --help"},
        {"list --chip x", "utilsim list --help"},
        {"replay --dispatch sometimes", "utilsim replay --help"},
        {"replay --trace x", "utilsim replay --help"},
        {"replay a b", "utilsim replay --help"},
        {"replay --expect e.json --json", "utilsim replay --help"},
        {"replay --expect e.json --jsonl", "utilsim replay --help"},
        {"replay --show chains --expect e.json", "utilsim replay --help"},
        {"replay --expect=e.json --timing", "utilsim replay --help"},
        {"replay --json --jsonl", "utilsim replay --help"},
        {"diff a", "utilsim diff --help"}}) {
    const auto r = run(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.err.rfind("utilsim: ", 0), 0u) << args << ": " << r.err;
    EXPECT_EQ(count(r.err, "\n"), 2u) << args << ": " << r.err;
    EXPECT_NE(r.err.find(std::string("run '") + hint + "' for the"), std::string::npos) << r.err;
  }
  // Help wherever it is asked for, instead of a replay of standard input: the command's own
  // options.
  for (const auto& [args, first, has, hasNot] :
       {std::tuple{"-h", "usage: utilsim list", "run 'utilsim <command> --help'", "--chip"},
        {"--help", "usage: utilsim list", "replay", "--fap-mask"},
        {"replay --help", "usage: utilsim replay", "--fap-mask", "JSON array"},
        {"replay --bogus -h", "usage: utilsim replay", "--expect", "utilsim list"},
        {"list --help", "usage: utilsim list", "--json", "--chip"}}) {
    const auto r = run(args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.out.rfind(first, 0), 0u) << args << ": " << r.out;
    EXPECT_NE(r.out.find(has), std::string::npos) << args;
    EXPECT_EQ(r.out.find(hasNot), std::string::npos) << args;
  }
  // The version, and the plug-in a run would load.
  for (const char* args : {"--version", "-V", "replay --version"}) {
    const auto r = run(args);
    EXPECT_EQ(r.status, 0) << args;
    EXPECT_EQ(r.out.rfind("utilsim ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("plug-in: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" bytes, modified "), std::string::npos) << r.out;
  }
  EXPECT_NE(run("--version --plugin /nonexistent.so").out.find("/nonexistent.so (cannot be read"),
            std::string::npos);
  const auto missing = run("replay '" + (dir_ / "none.jsonl").string() + "'");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot open"), std::string::npos);
  const auto plugin = run("replay --plugin /nonexistent.so '" + example() + "'");
  EXPECT_EQ(plugin.status, 3);

  // Runs in which an option or entries change nothing say so once, without changing the status.
  const auto types = file("types.jsonl",
                          "{\"table\": \"routingState\", \"key\": {\"id\": 5, \"type\": 2}}\n"
                          "{\"table\": \"routingState\", \"key\": {\"id\": 5}}\n"
                          "{\"table\": \"routingState\", \"key\": {\"id\": 6, \"type\": 9}}\n");
  const auto noUtils =
      "--plugin '" + (fs::path(UTILSIM_PATH).parent_path() / "libTernHost.so").string() + "' ";
  const std::string log = " '" + example() + "'";
  const auto commands =
      Json::parse(slurp(std::string(TERN_SOURCE_DIR) + "/examples/basic.expected.json"))
          .at("hardware")
          .at("commands")
          .get<int>();
  for (const auto& [args, warning] :
       {std::pair<std::string, std::string>{
            "replay '" + types + "'",
            "2 routing-state entries with a key type other than 0 (VSI) and 1 (routing "
            "profile), the first on line 1: no Util takes them"},
        {"replay --drop-command 100000" + log,
         fmt::format("--drop-command 100000: the run had {} commands; none was withheld",
                     commands)},
        {"replay --trace 'Bogus=31;EtppcMtuMapTableUtil=31'" + log,
         "--trace: no trace handle named 'Bogus' was used in this run (used: "},
        {"replay " + noUtils + log, "registers no Util for bcm88890_a0"},
        {"list " + noUtils, "registers no Util"}}) {
    const auto r = run(args);
    EXPECT_EQ(r.status, 0) << args << r.err;
    EXPECT_NE(r.err.find(warning), std::string::npos) << args << r.err;
    EXPECT_EQ(count(r.err, "utilsim: warning: "), 1u) << args << r.err;
  }
}
}  // namespace

#else
TEST(UtilsimTest, NotBuilt) { GTEST_SKIP() << "utilsim is not part of this build"; }
#endif
