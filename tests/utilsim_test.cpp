// utilsim run as a user runs it: outputs, exit statuses, messages, hostile input. What the
// bundled examples write is compared byte for byte by example_expect.sh, not here.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/UtilCatalog.h"

#ifdef UTILSIM_PATH
namespace {
namespace fs = std::filesystem;
using namespace std::string_literals;
using Json = nlohmann::json;
using Files = std::map<std::string, std::string>;
using Case = std::tuple<std::string, int, std::string>;  // arguments, exit status, expect()
constexpr auto npos = std::string::npos;

std::string slurp(const fs::path& path) {
  std::ostringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

struct Outcome {
  int status;
  std::string out, err;
  long maxKiB;  // peak resident size
};

// `want` holds texts separated by '|', each found in standard output (in standard error after
// "2>"); one starting with '!' is not found, with '^' starts the output, with '=' is all of it.
void expect(const Outcome& r, const std::string& want) {
  std::istringstream in(want);
  for (std::string w; std::getline(in, w, '|');) {
    const auto& got = w.rfind("2>", 0) == 0 ? (w.erase(0, 2), r.err) : r.out;
    const char kind = w.find_first_of("!^=") == 0 ? w[0] : ' ';
    const auto text = w.substr(kind != ' ');
    const bool ok = kind == '!'   ? got.find(text) == npos
                    : kind == '^' ? got.rfind(text, 0) == 0
                    : kind == '=' ? got == text
                                  : got.find(text) != npos;
    EXPECT_TRUE(ok) << w << "\nin: " << got.substr(0, 3000);
  }
}

class UtilsimTest : public ::testing::Test {
 protected:
  void SetUp() override {  // a scratch directory holding the bundled examples
    char tmpl[] = "/tmp/utilsim-test-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    for (const auto& e : fs::directory_iterator(TERN_SOURCE_DIR "/examples"))
      fs::create_symlink(e.path(), dir_ / e.path().filename());
    // Many cases compare with the stored example document. When this build replays the
    // example otherwise, say so once per test, with what to do, instead of a cascade.
    static const bool current = run("replay --expect basic.expected.json basic.jsonl").status == 0;
    if (!current)
      GTEST_FAIL() << "examples/basic.expected.json is not what this build replays "
                      "examples/basic.jsonl to (script.example_expect shows the difference): "
                      "if the change is intended, as with a new table or Util, regenerate the "
                      "stored documents with the command script.example_expect prints";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Writes `files` and runs `utilsim ARGS` in the shell, standard input piped from `pipe`.
  Outcome run(const std::string& args, const Files& files = {}, const std::string& pipe = "") {
    for (const auto& [name, text] : files) std::ofstream(dir_ / name, std::ios::binary) << text;
    const auto cmd = "cd " + dir_.string() + " && " + (pipe.empty() ? "" : "cat " + pipe + " | ") +
                     "exec '" UTILSIM_PATH "' " + (pipe.empty() ? "</dev/null " : "") +
                     ">.out 2>.err " + args;
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), nullptr);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    EXPECT_EQ(wait4(pid, &status, 0, &usage), pid);
    Outcome r{WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
              slurp(dir_ / ".out"), slurp(dir_ / ".err"), usage.ru_maxrss};
    expect(r, "2>!Sanitizer|2>!runtime error");
    EXPECT_TRUE(std::all_of(r.err.begin(), r.err.end(),
                            [](unsigned char c) { return c == '\n' || (c >= 0x20 && c <= 0x7e); }))
        << "unprintable in: " << r.err.substr(0, 3000);
    return r;
  }
  // What a shell command prints (for tools that are not under test).
  std::string shell(const std::string& cmd) {
    std::string out;
    if (std::FILE* p = popen(("cd " + dir_.string() + " && " + cmd).c_str(), "r")) {
      char buf[4096];
      for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
      pclose(p);
    }
    return out;
  }
  void check(const std::vector<Case>& cases, const Files& files = {}) {
    for (const auto& [args, status, want] : cases) {
      SCOPED_TRACE(args);
      const auto r = run(args, files);
      EXPECT_EQ(r.status, status) << r.err.substr(0, 3000);
      expect(r, want);
    }
  }
  Json json(const std::string& args, int status = 0, const Files& files = {}) {
    const auto r = run("replay --json " + args, files);
    EXPECT_EQ(r.status, status) << args << ": " << r.err.substr(0, 3000);
    return results(r.out);
  }
  // A document as a run's results: what wrote it (the plug-in's build id differs from build
  // to build) is no result.
  static Json results(const std::string& text) {
    auto doc = Json::parse(text);
    if (doc.contains("header")) doc["header"].erase("writtenBy");
    return doc;
  }

  fs::path dir_;
  const std::string basic_ = slurp(TERN_SOURCE_DIR "/examples/basic.jsonl");
  Json stored_ = results(slurp(TERN_SOURCE_DIR "/examples/basic.expected.json"));
  const std::string changed_ = [s = basic_]() mutable {  // VSI 4 on routing profile 3, not 1
    return s.replace(s.find("\"routingProfileMap\": 1}"), 23, "\"routingProfileMap\": 3}");
  }();
};

TEST_F(UtilsimTest, CommandLine) {
  // A usage error is one message (naming what cannot be) and a pointer to the help of the
  // command, not the help; nothing runs, nothing is written.
  for (const auto& [args, message] : std::vector<std::pair<std::string, std::string>>{
           {"", "missing command"},
           {"bogus", "unknown command 'bogus'"},
           {"replay --bogus", "unknown option '--bogus'"},
           {"replay --chip foo", "--chip: unknown chip 'foo'"},
           {"replay --fap-mask 5-3", "range 5-3 runs backwards"},
           {"list --chip x", "unknown option '--chip' for list"},
           {"replay --dispatch sometimes", "--dispatch: expected applicable or always"},
           {"replay --trace x", "--trace: "},
           {"replay a b", "more than one input file ('b')"},
           {"replay --expect e.json --json", "--json cannot go with it"},
           {"replay --expect e.json --jsonl", "--jsonl cannot go with it"},
           {"replay --show chains --expect e.json",
            "--show chains belongs to the text report; it "
            "cannot go with --expect"},
           {"replay --expect e.json --lines 3", "--lines belongs to the text report"},
           {"replay --json --show chains",
            "--show chains belongs to the text report; it cannot "
            "go with --json"},
           {"replay --jsonl --show entries", "(--jsonl has every line)"},
           {"replay --failures 3 --json", "--failures belongs to the text report"},
           {"replay --expect=e.json --failures all", "--failures belongs"},
           {"replay --expect=e.json --timing", "--timing cannot go with --expect"},
           {"replay --expect e.json --fap 1", "--expect compares whole runs: --fap cannot"},
           {"replay --json --jsonl", "two formats"},
           {"replay --update log.jsonl", "--update belongs to --expect, which is not given"},
           {"replay --max-differences 3", "--max-differences belongs to --expect"},
           {"replay --expect - --update log.jsonl", "standard input cannot be rewritten"},
           {"replay --expect -", "--expect - and the log both read standard input"},
           {"replay --lines 22-3", "--lines: range 22-3 runs backwards"},
           {"diff a", "diff compares two files (A and B), got 1"},
           {"diff - -", "both read standard input"},
           // A file over what the run reads or writes, however it is named, would destroy it.
           {"replay --save-state log.jsonl log.jsonl", "is the log being replayed"},
           {"replay --save-state log.jsonl <log.jsonl", "is standard input"},
           {"replay --expect e.json --save-state ./e.json log.jsonl", "is the --expect file"},
           {"replay --save-state .out log.jsonl", "is standard output"},
           {"replay --expect e.json --diff-json log.jsonl log.jsonl",
            "--diff-json log.jsonl is the log being replayed"}}) {
    SCOPED_TRACE(args);
    const auto r = run(args, {{"log.jsonl", basic_}, {"e.json", "{}"}});
    const auto command = args.find(' ') == npos ? "" : args.substr(0, args.find(' ') + 1);
    EXPECT_EQ(r.status * 1000 + std::count(r.err.begin(), r.err.end(), '\n'), 2002) << r.err;
    expect(r, "2>^utilsim: |2>" + message + "|2>\nrun 'utilsim " + command + "--help' for the ");
    EXPECT_EQ(slurp(dir_ / "log.jsonl") + slurp(dir_ / "e.json"), basic_ + "{}");
  }
  // Help (the command's own), version, unusable files; a run in which an option or entries
  // change nothing says so once and keeps its status.
  const auto noUtils = (fs::path(UTILSIM_PATH).parent_path() / "libTernHost.so").string();
  const auto warning = "2>=utilsim: warning: "s;
  check({{"list", 0,
          "bcm88890_b0::TernL3NiUtil::IppdAllowDefaultRouteUtilPlugin |  11:01:0402  "
          "bcm88890_b0  bcm88890_b0::IppdAllowDefaultRouteHwReg\n"},
         {"-h", 0, "^usage: utilsim list|run 'utilsim <command> --help'|!--fap-mask"},
         {"--help", 0, "^usage: utilsim list|replay|!--fap-mask"},
         {"replay --help", 0, "^usage: utilsim replay|--fap-mask|!JSON array"},
         {"replay --bogus -h", 0, "^usage: utilsim replay|--expect|!utilsim list"},
         {"list --help", 0, "^usage: utilsim list|--json|!--chip"},
         {"--version", 0, "^utilsim |plug-in: | bytes, modified "},
         {"replay -V", 0, "^utilsim |plug-in: | bytes, modified "},
         {"--version --plugin /nonexistent.so", 0, "/nonexistent.so (cannot be read"},
         {"diff --version", 0, "^utilsim |plug-in: "},
         {"replay none.jsonl", 2, "2>cannot open none.jsonl"},
         {"replay .", 2, "2>.: is a directory"},
         {"replay --plugin /nonexistent.so basic.jsonl", 3, ""},
         {"replay --save-state /nonexistent/s.json basic.jsonl", 3, ""},
         {"replay types.jsonl", 0,
          warning + "2 routing-state entries with a key type other than 0 (VSI) and 1 (routing "
                    "profile), the first on line 1: no Util takes them\n"},
         {"replay --drop-command 100000 basic.jsonl", 0,
          warning + "--drop-command 100000: the run had " +
              stored_.at("hardware").at("commands").dump() + " commands; none was withheld\n"},
         {"replay --trace 'Bogus=31;EtppcMtuMapTableUtil=31' basic.jsonl", 0,
          "2>^utilsim: warning: --trace: no trace handle named 'Bogus' was used in this run "
          "(used: |2>!\nutilsim: warning: "},
         {"replay --plugin '" + noUtils + "' basic.jsonl", 0,
          warning + noUtils + " registers no Util for bcm88890_a0: the entries reach no Util\n"},
         {"list --plugin '" + noUtils + "'", 0, warning + noUtils + " registers no Util\n"}},
        {{"types.jsonl", R"({"table": "routingState", "key": {"id": 5, "type": 2}}
{"table": "routingState", "key": {"id": 5}}
{"table": "routingState", "key": {"id": 6, "type": 9}})"}});
  // list --json: an object per Util class and revision, like this one.
  const auto list = Json::parse(run("list --json").out);
  EXPECT_EQ(list.size(), UtilCatalog::kUtilClasses * UtilCatalog::kRevisions);
  EXPECT_NE(std::find(list.begin(), list.end(), Json::parse(R"({"util":
      "bcm88890_a0::TernL3IntfUtil::EtppcMtuMapTableUtil", "plugin":
      "bcm88890_a0::TernL3IntfUtil::EtppcMtuMapTableUtilPlugin", "swTableId": "0f:08:0403",
      "fapRevision": "bcm88890_a0", "hwTableType": "bcm88890_a0::EtppcMtuMapTableHwDirect"})")),
            list.end());
}

// Every bad line is reported as FILE:LINE: (syntax errors FILE:LINE:COLUMN:) in short lines,
// and nothing is replayed, from a file as from standard input redirected from one.
TEST_F(UtilsimTest, InputErrorsNameTheirLine) {
  std::string objects, errors;
  for (int i = 0; i < 100000; ++i) objects += "{\"a\":";
  for (int i = 0; i < 5000; ++i) errors += "{}\n";
  const std::vector<std::pair<std::string, std::string>> lines = {
      {"# comment", ""},
      {R"({"table": "mtuProfile", "key": 1, "value": {"mtuBytes": 65536}})",
       " value.mtuBytes: 65536 is out of range"},
      {"", ""},
      {R"({"table": "routingState", "fapId": 256, "key": {"id": -1}})",
       " fapId: 256 is out of range (0 to 255)| key.id: -1 is out of range"},
      {"not json", "2: not valid JSON"},
      {R"({"table": "bogus", "key": 1})", " table: unknown table"},
      {R"({"table": "mtuProfile", "key": "1"})", " key: expected an integer"},
      {R"({"table": "mtuProfile", "key": 1e0, "value": {"mtuBytes": 17.0}})",
       " key: expected an integer from 0 to 255, got 1e0 (written with| value.mtuBytes: expected "
       "an integer from 0 to 65535, got 17.0 ("},
      // Messages name the valid range and quote values as written.
      {R"({"op": "readShadowEntry", "hwTable": "EtppcMtuMapTableHwDirect", "key": {"value": 200}})",
       " key.value: 200 is out of range (0 to 128)"},
      {R"({"op": "readShadowEntry", "hwTable": "bcm88890_a0::IppfVsiToRoutingProfileMapHwDirect", )"
       R"("key": {"array": 4, "entryIndex": 1}})",
       " key.array: 4 is out of range (0 to 3)"},
      {R"({"table": "mtuProfile", "key": -0})", " key: -0 is out of range (0 to 255)"},
      {R"({"table": "routingState", "key": {"id": 1, "type": 2}, "value": {"routingProfileMap": 3}})",
       " value.routingProfileMap: belongs to a VSI entry (key type 0); key type 2 is a "
       "routing-profile entry (types 1 to 255), which takes routingState and urpfState"},
      {R"({"table": "routingState", "key": {"id": 4294967296}})",
       " key.id: 4294967296 is out of range (0 to 4294967295)"},
      {R"({"table": "mtuProfile", "key": )" + std::string(5000, '9') + "}",
       " not valid JSON: number overflow"},
      {R"({"table": "mtuProfile", "fapId": 1e999, "key": 1})", " not valid JSON: number overflow"},
      {R"({"table": "mtuProfile", "key": -)" + std::string(400, '9') + "}", " "},
      {"{\"table\": \"mtu\xff\xfeProfile\", \"key\": 1}",
       "15: not valid JSON: syntax error while parsing value - invalid string: ill-formed UTF-8 "
       "byte; last read: '\"mtu\\xff'"},
      {"{\"table\": \"mtuProfile\", \"key\": 1, \"value\": {\"\xc3\x28\": 1}}",
       "47: not valid JSON"},
      {"\xed\xa0\x80", "1: not valid JSON"},
      {"{\"table\": \"mtuProfile\",\0 \"key\": 1}"s, "24: not valid JSON: a NUL byte (\\x00)"},
      // The parser would end the line at the NUL; in a comment it is no text either.
      {"{\"table\": \"mtuProfile\", \"key\": 1}\0{\"table\": \"mtuProfile\", \"key\": 2}"s,
       "34: not valid JSON: a NUL byte"},
      {"# a comment\0"s, "12: not valid JSON: a NUL byte"},
      {"\xef\xbb\xbf{\"table\": \"mtuProfile\", \"key\": 1}",
       "1: not valid JSON: a byte order mark"},
      // Eight levels are read (and the unknown field found); nine are not.
      {R"({"table": "mtuProfile", "key": 1, "value": {"a": [[[[[[1]]]]]]}})",
       " value.a: unknown field"},
      {R"({"table": "mtuProfile", "key": 1, "value": {"a": [[[[[[[1]]]]]]]}})",
       " nesting deeper than 8 levels"},
      {R"({"table": ")" + std::string(3 << 20, 'x') + "\"}", " line is longer than 1048576 bytes"},
      {std::string((1 << 20) - 1, ' ') + "x", "1048576: not valid JSON"},
      {std::string(200000, '[') + std::string(200000, ']'), " nesting deeper than 8 levels"},
      {objects + "1" + std::string(100000, '}'), " nesting deeper than 8 levels"},
      {std::string(100000, '{'), " nesting deeper than 8 levels"},
      {std::string(2 << 20, '['), " line is longer than 1048576 bytes"}};  // no line end
  std::string log;
  for (const auto& [line, messages] : lines) log.append(log.empty() ? "" : "\n").append(line);
  for (const std::string name : {"bad.jsonl", "<stdin>"}) {
    const auto r = run(name == "<stdin>" ? "replay --json - <bad.jsonl" : "replay bad.jsonl",
                       {{"bad.jsonl", log}});
    EXPECT_EQ(std::pair(r.status, r.out), std::pair(2, ""s)) << name;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const auto at = name + ":" + std::to_string(i + 1) + ":";
      std::string want = lines[i].second.empty() ? "2>!" + at : "";
      std::istringstream messages(lines[i].second);
      for (std::string m; std::getline(messages, m, '|');) want += "|2>" + at + m;
      expect(r, want);
    }
    std::istringstream in(r.err);
    for (std::string line; std::getline(in, line);) EXPECT_LE(line.size(), 400u) << line;
  }
  // Checking stops after 1000 errors; an empty log is a valid run. A pipe is replayed up to
  // its first bad line.
  check({{"replay errors.jsonl", 2,
          "2>errors.jsonl:1: missing field 'table'|2>errors.jsonl:1000: too many errors; the rest "
          "of the input was not checked|2>!:1001:|2>utilsim: 1000 input errors (checking stopped "
          "at line 1000); nothing was replayed"},
         {"replay empty.jsonl", 0, "Hardware check: consistent"},
         {"replay comments.jsonl", 0, "Hardware check: consistent"}},
        {{"errors.jsonl", errors},
         {"empty.jsonl", ""},
         {"comments.jsonl", "\xef\xbb\xbf# a comment after a byte order mark\r\n \r\n\r\n"}});
  // What came before the bad line is a valid document that says it is partial.
  const auto later = basic_ + "{\"table\": \"bogus\"}\n{}\n";
  const auto piped = run("replay --json -", {{"later.jsonl", later}}, "later.jsonl");
  EXPECT_EQ(piped.status, 2);
  auto partial = stored_;
  partial["complete"] = false;
  partial["stoppedAt"] = 42;
  EXPECT_EQ(results(piped.out), partial);
  expect(piped,
         "2><stdin>:42: table: unknown table|2>!<stdin>:43:|2>utilsim: stopped at the "
         "input error on line 42; the 20 entries before it were replayed\n");
}

TEST_F(UtilsimTest, ReportsAndComparisons) {
  std::string many;
  for (int i = 0; i < 60; ++i)  // 60 VSIs on routing profile 16: two failures each
    many += R"({"table": "routingState", "key": {"id": )" + std::to_string(i) +
            R"(}, "value": {"routingProfileMap": 16}})" + "\n";
  const Files files = {
      {"many.jsonl", many},
      {"trap.jsonl", R"({"table":"trapForwardAction","fapId":3,"key":17,"value":{"outPort":2}})"},
      {"cleared.jsonl", basic_ + R"({"table": "routingState", "tableDelete": true})"}};
  const auto& mtuRows = stored_.at("tables").at("EtppcMtuMapTableHwDirect");
  check(
      {{"replay failures.jsonl", 1,
        "line 6 (|U4::value < 0 or > 0x0f not allowed|U14::value < 0 or > 0x3fff not allowed|"
        "SchanAccel::FapId::value < SchanAccel::FapId::min|Hardware check: consistent"},
       {"replay --lines 8 failures.jsonl", 1,
        "  line 8: routingState fap 129|IppaVsiToRoutingProfileMapArray3Util: error\n      |"
        "SchanAccel::FapId::value|!  line 6:"},
       {"replay --lines 24 copies.jsonl", 0,
        "shadow copy cleared: EtppcMtuMapTableHwDirect fap 1 instance 0 (by EtppcMtuMapTableUtil)"},
       // Without utilApplicable the vector maps take VSI 1000 as a profile, out of range.
       {"replay --dispatch always --lines 7 basic.jsonl", 1,
        "!not applicable|IppfVsiToRoutingProfileMapArray0Util: 1 command|Failures: 2\n|"
        "): IppaRoutingProfileToVectorMapArray3Util:\n|): IppfRoutingProfileToVectorMapArray0Util:"
        "\n|entryIndexMax not allowed"},
       // Any trap key writes the one row of the trap's profile (6), on a fap of the mask.
       {"replay --fap-mask 0-2 - <trap.jsonl", 0,
        "EtppbTrapForwardActionTableHwDirect: 0 rows|     0      0           0               1\n"},
       {"replay --fap-mask 3 trap.jsonl", 0,
        "chip bcm88890_a0, 1 log entry, " + std::to_string(UtilCatalog::kUtilClasses) +
            " Utils,|TrapForwardActionTableHwDirect: 1 row\n    fap 3 instance 0\n      value=6: "
            "outTmPort=2 "},
       {"replay --show chains --timing basic.jsonl", 0,
        "VSI 5 (entry 1, slot 1)|routing profile 2: CS in-LIF profile 0x02 (IPv4 uRPF)|"
        "RPF mode IPv4 strict, IPv6 off|default route allowed: strict uRPF yes, loose uRPF no|"
        "!VSI 7 |processSwEntry latency (nanoseconds)\n|!."},  // latencies in whole ns
       // A VSI the maps refused has no row there: its chain starts at profile 0.
       {"replay --show chains many.jsonl", 1,
        "array 0: routing profile 0 (entry absent) -> enable vector absent"},
       // A table delete is an entry of its key (VSI 0 here): it removes no VSI.
       {"replay --show chains cleared.jsonl", 0,
        "VSI 5 (entry 1, slot 1)|VSI 0 (entry 0, slot 0)|!(no VSI set)"},
       {"replay --fap 0 --table EtppcMtuMapTableHwDirect basic.jsonl", 0,
        "EtppcMtuMapTableHwDirect: " + std::to_string(mtuRows.size()) +
            " rows|!IppaCsInlif0ProfileMapHwDirect|  11:01:0402:\n    fap 0 instance 0: " +
            stored_.at("enqueue").at("11:01:0402").at(0).at("count").dump() + "\n"},
       // Lines and ranges of the per-line view, their union; a range past the log is said.
       {"replay --lines 22 --lines 38- basic.jsonl", 0,
        "  line 22: |  line 38: |  line 41: |!  line 23: |!  line 37: "},
       {"replay --lines 1000 basic.jsonl", 0,
        "2>=utilsim: warning: --lines 1000: the log has 41 lines\n"},
       // A table named as utilsim list names it; a forced progress says the rate of any run.
       {"replay --table bcm88890_b0::EtppcMtuMapTableHwDirect --progress basic.jsonl", 0,
        "EtppcMtuMapTableHwDirect: " + std::to_string(mtuRows.size()) +
            " rows|!IppaCsInlif0ProfileMapHwDirect|2>^utilsim: replayed 20 entries in "}},
      files);
  // The report lists the first 100 failures (or as many as asked) and counts the rest.
  const std::string failure = "U4::value < 0";
  for (const auto& [option, listed] : {std::pair{"", 100}, {"all ", 120}, {"7 ", 7}}) {
    const auto r = run("replay "s + (*option ? "--failures " : "") + option + "many.jsonl", files);
    int n = 0;
    for (auto at = r.out.find(failure); at != npos; at = r.out.find(failure, at + 1)) ++n;
    EXPECT_EQ(n * 10 + r.status, listed * 10 + 1) << option;
    expect(r, "Failures: 120\n|"s + (listed < 120 ? "" : "!") +
                  " more (--failures all lists them all)");
  }
}

TEST_F(UtilsimTest, JsonDocumentsAndStates) {
  // --jsonl: the header, the entries (each with the entry as read: a log again), then the
  // rest of the document with the header again (a state).
  const auto lines = run("replay --jsonl basic.jsonl").out;
  std::istringstream in(lines);
  std::string relog, line;
  std::getline(in, line);
  EXPECT_EQ(results(line), Json({{"header", stored_.at("header")}}));
  for (const auto& entry : stored_.at("entries")) {
    std::getline(in, line);
    const auto object = Json::parse(line);
    relog += object.at("entry").dump() + "\n";
    EXPECT_EQ(object, entry);
  }
  auto end = stored_;
  end.erase("entries");
  EXPECT_TRUE(std::getline(in, line) && results(line) == end && !std::getline(in, line)) << line;
  EXPECT_EQ(json("again.jsonl", 0, {{"again.jsonl", relog}}).at("tables"), stored_.at("tables"));
  // A withheld command: the check names who wrote the shadow row, and that none wrote the chip's.
  auto hardware = stored_.at("hardware");
  hardware["commands"] = hardware["commands"].get<int>() - 1;
  hardware.merge_patch(Json::parse(R"({"consistent": false, "mismatches": [{
      "table": "IppaCsInlif0ProfileMapHwDirect", "fapId": 0, "instanceId": 0,
      "key": {"array": 3, "entryIndex": 0}, "shadow": {"csInlif0Profile": 1},
      "hardware": {"csInlif0Profile": 0}, "hardwareWrittenBy": null,
      "shadowWrittenBy": {"line": 7, "util": "IppaCsInlif0ProfileMapUtil"}}]})"));
  EXPECT_EQ(json("--drop-command 1 basic.jsonl", 1).at("hardware"), hardware);
  // Filters: profile 1's row holds the reset value, which --changed drops.
  const auto one = json("--table IppaCsInlif0ProfileMapHwDirect --changed basic.jsonl");
  ASSERT_EQ(one.at("tables").size(), 1u);
  const auto& rows = one.at("tables").at("IppaCsInlif0ProfileMapHwDirect");
  EXPECT_EQ(rows.size() + 1, stored_.at("tables").at("IppaCsInlif0ProfileMapHwDirect").size());
  for (const auto& row : rows) EXPECT_NE(row.at("entry").at("csInlif0Profile"), 0) << row;
  // Of the three copies of the copies example, --fap 1 --instance 1 keeps one alone.
  const auto copies = json("--fap 1 --instance 1 copies.jsonl");
  EXPECT_FALSE(copies.at("tables").at("IppaVsiToRoutingProfileMapHwDirect").empty());
  EXPECT_EQ(copies.at("enqueue").at("11:01:0402").size(), 1u);
  for (const auto& part : {copies.at("tables"), copies.at("enqueue")})
    for (const auto& [name, table] : part.items())
      for (const auto& row : table)
        EXPECT_EQ(row.at("fapId").dump() + row.at("instanceId").dump(), "11") << name;

  // A saved state continues a run: two halves end where the whole does, mismatch included
  // (MTU profile 16 writes a row it has no command for). The state is the document without
  // its entries; what the first half left is "loaded from" it.
  const auto cut = basic_.find("# VSI 1000");  // VSI 6 changes after it, in an entry set before
  const auto first = basic_.substr(0, cut) +
                     R"({"table": "mtuProfile", "key": 16, "value": {"mtuBytes": 1000}})" + "\n";
  const Files halves = {{"first", first}, {"second", basic_.substr(cut)}};
  auto half =
      nlohmann::ordered_json::parse(run("replay --json --save-state half.json first", halves).out);
  const auto state = slurp(dir_ / "half.json");
  half.erase("entries");
  EXPECT_EQ(nlohmann::ordered_json::parse(state), half);
  const auto second = json("--load-state half.json second", 1, halves);
  const auto whole = json("whole", 1, {{"whole", first + basic_.substr(cut)}});
  EXPECT_EQ(second.at("tables"), whole.at("tables"));
  auto mismatch = whole.at("hardware").at("mismatches");
  ASSERT_EQ(mismatch.size(), 1u);
  mismatch[0]["shadowWrittenBy"] = {{"loadedFrom", "half.json"}};
  EXPECT_EQ(second.at("hardware").at("mismatches"), mismatch);
  // The header: what wrote the run, as --version says it, and what changes its results (the
  // state loaded by name and digest); filters only when given.
  const auto version = run("--version").out, sha = shell("sha256sum half.json");
  const auto id = version.find("build id ");
  auto header = Json::parse(R"({"format": "utilsim-run", "version": 2, "run": {
      "chip": "bcm88890_a0", "fapMask": "0-3,7,128", "dispatch": "always", "dropCommand": 2,
      "loadedState": {"file": "half.json"}}, "filters": {"tables":
      ["EtppcMtuMapTableHwDirect"], "faps": "0-1", "instances": "3", "changed": true}})");
  header["writtenBy"] = {
      {"utilsim", version.substr(8, version.find('\n') - 8)},
      {"pluginBuildId", id == npos ? "" : version.substr(id + 9, version.find('\n', id) - id - 9)}};
  header["run"]["loadedState"]["sha256"] = sha.substr(0, 64);
  const auto given =
      Json::parse(run("replay --json --fap-mask 0-3,7,128 --dispatch always --drop-command 2 "
                      "--load-state half.json --table EtppcMtuMapTableHwDirect --fap 0,1 "
                      "--instance 3 --changed second",
                      halves)
                      .out);
  EXPECT_EQ(given.at("header"), header);

  // A --jsonl last line serves as a state, and so does a state with Windows line ends; the
  // changed VSI 4 changes a row per VSI map.
  auto text = "=utilsim: from basic.expected.json to b.json: 0 rows added, 0 removed, 2 changed\n"s;
  for (const auto& [table, array] : {std::pair{"IppfVsiToRoutingProfileMapHwDirect", "0"},
                                     {"IppaVsiToRoutingProfileMapHwDirect", "3"}})
    text += "changed "s + table + " fap 0 instance 0 array=" + array +
            " entryIndex=1:\n  routingProfile: [1, 2, 2, 4] -> [3, 2, 2, 4]\n";
  auto crlf = state;
  for (auto at = crlf.find('\n'); at != npos; at = crlf.find('\n', at + 2)) crlf.insert(at, "\r");
  const auto partial =
      run("replay --json -", {{"later.jsonl", basic_ + "{}\n"}}, "later.jsonl").out;
  auto newer = state;
  newer.replace(newer.find("\"version\": 2"), 12, "\"version\": 3");
  auto legacy = stored_;  // as documents were before they had a header
  legacy.erase("header");
  legacy.erase("complete");
  legacy["chip"] = "bcm88890_a0";
  for (auto& entry : legacy["entries"]) entry.erase("entry");
  auto nul = slurp(dir_ / "basic.expected.json"), spaced = nul;
  nul.insert(nul.find("\n    {"), 1, '\0');
  spaced.replace(spaced.find("\"applicable\": true"), 18, "\"applicable\": tr ue");
  const Files files = {
      {"same.json", lines.substr(lines.rfind('\n', lines.size() - 2) + 1)},
      {"b.json", run("replay --json c.jsonl", {{"c.jsonl", changed_}}).out},
      {"half.json", state},
      {"crlf.json", crlf},
      {"partial.json", partial},
      {"filtered.json", run("replay --json --table EtppcMtuMapTableHwDirect basic.jsonl").out},
      {"newer.json", newer},
      {"legacy.json", legacy.dump()},
      {"nul.json", nul},
      {"spaced.json", spaced},
      {"second", basic_.substr(cut)}};
  const auto refused = "; a state must hold the whole end of a run"s;
  const auto newerText = "/header/version: format version 3 is newer than this utilsim"s;
  check({{"diff basic.expected.json same.json", 0, "=utilsim: no differences\n"},
         {"diff basic.expected.json b.json", 1, text},
         {"diff half.json crlf.json", 0, "=utilsim: no differences\n"},
         {"diff - basic.expected.json <b.json", 1,
          "^utilsim: from <stdin> to basic.expected.json: 0 rows added, 0 removed, 2 changed\n"},
         {"diff basic.expected.json partial.json", 0,
          "=utilsim: no differences (partial.json is a partial run: its replay stopped at the "
          "input error on line 42)\n"},
         {"replay --load-state partial.json second", 2,
          "=|2>^utilsim: --load-state partial.json is a partial run: its replay stopped at the "
          "input error on line 42" +
              refused},
         {"replay --load-state filtered.json second", 2,
          "=|2>^utilsim: --load-state filtered.json was written with filters (--table "
          "EtppcMtuMapTableHwDirect): it shows part of a run" +
              refused},
         {"replay --chip bcm88890_b0 --load-state half.json second", 2,
          "=|2>^utilsim: --load-state half.json is a state of bcm88890_a0 and this run is of "
          "bcm88890_b0"},
         {"replay --expect partial.json basic.jsonl", 2,
          "=|2>^utilsim: partial.json is a partial run (its replay stopped at the input error on "
          "line 42): it cannot serve as a golden"},
         {"replay --expect filtered.json basic.jsonl", 2,
          "=|2>^utilsim: filtered.json was written with filters (--table "
          "EtppcMtuMapTableHwDirect)"},
         {"replay --load-state newer.json second", 2, "=|2>^newer.json: " + newerText},
         {"diff newer.json half.json", 2, "=|2>^newer.json: " + newerText},
         {"replay --expect newer.json basic.jsonl", 2, "=|2>^utilsim: newer.json: " + newerText},
         // Written before documents had a header: still read, with one warning.
         {"replay --expect legacy.json basic.jsonl", 0,
          "=utilsim: the run matches legacy.json\n|2>=utilsim: warning: legacy.json has no "
          "header (written by an older utilsim): it is compared as it is; record it again to "
          "compare the input of each entry too\n"},
         {"diff legacy.json basic.expected.json", 0,
          "=utilsim: no differences\n|2>=utilsim: warning: legacy.json has no header (written by "
          "an older utilsim): whether it holds the whole end of a run is not known\n"},
         {"replay --expect nul.json basic.jsonl", 2,
          "=|2>^utilsim: nul.json: not valid JSON: a NUL byte (\\x00) (at byte "},
         {"replay --load-state nul.json second", 2, "=|2>^nul.json: not valid JSON: a NUL byte"},
         // Equal bytes are not parsed: white space that splits a word must not vanish.
         {"replay --expect spaced.json basic.jsonl", 2,
          "=|2>^utilsim: spaced.json: not valid JSON: the entry of stored line 7: syntax error"}},
        files);
  const auto diff = Json::parse(run("diff --json basic.expected.json b.json", files).out);
  EXPECT_EQ(diff.at("added").size() + diff.at("removed").size(), 0u);
  ASSERT_EQ(diff.at("changed").size(), 2u);
  EXPECT_EQ(diff.at("changed").at(0).at("fields"),
            Json::parse(R"({"routingProfile": {"a": [1, 2, 2, 4], "b": [3, 2, 2, 4]}})"));
  // A state whose name is not ASCII (U+22BF) keeps its name in the header of the run that
  // loads it.
  std::ofstream(dir_ / "\xe2\x8a\xbf.json") << state;
  EXPECT_EQ(Json::parse(run("replay --json --load-state \xe2\x8a\xbf.json second", halves).out)
                .at("header")
                .at("run")
                .at("loadedState")
                .at("file"),
            "\xe2\x8a\xbf.json");
  auto noRun = state;
  noRun.erase(noRun.find(",\n    \"run\""),
              noRun.find('\n', noRun.find(",\n    \"run\"") + 2) - noRun.find(",\n    \"run\""));
  check(
      {{"replay --load-state norun.json basic.jsonl", 2, "=|2>^norun.json: /header/run: missing"}},
      {{"norun.json", noRun}});
  // A bad state is an input error naming its place; nothing is replayed or compared.
  const auto vsiMap = "/tables/IppfVsiToRoutingProfileMapHwDirect/0/"s;
  for (const auto& [from, to, message] :
       std::vector<std::tuple<std::string, std::string, std::string>>{
           {"\"entryIndex\":1}", "\"entryIndex\":300}",
            vsiMap + "key/entryIndex: 300 is out of range (0 to 255)"},
           {"\"routingProfile\":[1", "\"routingProfile\":[16",
            vsiMap + "entry/routingProfile/0: 16 is out of range (0 to 15)"},
           {"\"EtppcMtuMapTableHwDirect\"", "\"Bogus\"", "/tables/Bogus: unknown table"},
           {"\"tables\"", "\"table\"", "/tables: missing"},
           {"\"mtuByteSize\":1000", "\"mtuByteSize\":1001",
            "/hardware/mismatches/0/shadow: is not the row the tables hold"},
           {"\n}\n", "", "not valid JSON: unexpected end of the document (at byte "},
           {"\n}\n", "\n}\n\0garbage"s, "not valid JSON: a NUL byte (\\x00) (at byte "}}) {
    check({{"replay --json --load-state bad.json basic.jsonl", 2, "=|2>bad.json: " + message},
           {"diff bad.json basic.expected.json", 2, "=|2>bad.json: " + message}},
          {{"bad.json", std::string(state).replace(state.find(from), from.size(), to)}});
  }
}

// --expect as a gate: one change is named once, first, with what follows from it.
TEST_F(UtilsimTest, RegressionGate) {
  // The log with `line` put before its line n, or with its line n taken out (line empty).
  const auto edited = [&](unsigned n, const std::string& line) {
    std::size_t pos = 0;
    for (unsigned i = 1; i < n; ++i) pos = basic_.find('\n', pos) + 1;
    const auto end = basic_.find('\n', pos) + 1;
    return basic_.substr(0, pos) + line + basic_.substr(line.empty() ? end : pos);
  };
  // A field of one stored command changed, as a change of the library would change it.
  auto field = nlohmann::ordered_json::parse(slurp(dir_ / "basic.expected.json"));
  for (auto& entry : field["entries"])
    if (entry["line"] == 37) entry["results"][0]["commands"][0]["data"][0] = 1600;
  auto failed = nlohmann::ordered_json::parse(slurp(dir_ / "failures.expected.json"));
  for (auto& entry : failed["entries"])
    for (auto& r : entry["results"])
      if (entry["line"] == 6 && r["error"].is_string()) r["error"] = "another text";
  const auto jsonl = run("replay --jsonl basic.jsonl").out;
  const Files files = {
      {"inserted.jsonl",
       edited(21,
              R"({"table": "routingState", "key": {"id": 9}, "value": {"routingProfileMap": 2}})"
              "\n")},
      {"removed.jsonl", edited(23, "")},
      {"appended.jsonl", basic_ +
                             R"({"table": "mtuProfile", "key": 5, "value": {"mtuBytes": 1400}})"
                             "\n"},
      {"field.json", field.dump(2)},
      {"failed.json", failed.dump(2)},
      {"decoded.json", run("replay --json --decode basic.jsonl").out},
      {"run.jsonl", jsonl},
      {"cut.jsonl", jsonl.substr(0, jsonl.size() / 2)}};
  const auto first = "^utilsim: the run differs from basic.expected.json: first, "s;
  check(
      {
          {"replay --expect basic.expected.json inserted.jsonl", 1,
           first + "this run's line 21 is not in the stored run: routingState fap 0 instance 0 "
                   "VSI 9 -> routing profile 2\n|entries 1 inserted, 0 removed, 0 changed; rows 2 "
                   "added, 0 removed, 0 changed; 2 counters, 1 enqueue count, 1 of the hardware "
                   "check\n|!line 22"},
          {"replay --expect basic.expected.json removed.jsonl", 1,
           first + "stored line 23 is not in this run: routingState fap 0 instance 0 VSI 5 -> "
                   "routing profile 2\n|entries 0 inserted, 1 removed, 4 changed"},
          {"replay --expect basic.expected.json appended.jsonl", 1,
           first + "this run's line 42 is not in the stored run: mtuProfile fap 0 instance 0 "
                   "profile 5 -> 1400 bytes\n|    and so, at the end:\n      added "
                   "EtppcMtuMapTableHwDirect fap 0 instance 0 value=40: mtuByteSize=1400|"
                   "rows 8 added, 0 removed, 0 changed; 0 counters, 0 enqueue counts, 1 of the "
                   "hardware check\n"},
          {"replay --expect field.json basic.jsonl", 1,
           "^utilsim: the run differs from field.json: first, line 37 gives other results: "
           "mtuProfile fap 0 instance 0 profile 1 -> 1500 bytes\n|\n    EtppcMtuMapTableUtil: "
           "WRITE_MEMORY EtppcMtuMapTableHwDirect fap 0 instance 0 value=8: mtuByteSize: 1600 -> "
           "1500\n|1 difference: entries 0 inserted, 0 removed, 1 changed"},
          // Decoded members are derived: a decoded golden matches the run all the same.
          {"replay --expect decoded.json basic.jsonl", 0,
           "=utilsim: the run matches decoded.json\n"},
          {"replay --expect failed.json failures.jsonl", 1,
           "first, line 6 gives other results: |Util: error: another text -> "
           "translateToHwFormat: "},
          // The list is capped; the summary counts every difference.
          {"replay --expect basic.expected.json --max-differences 2 appended.jsonl", 1,
           "  ... and 8 more differences (--max-differences all lists them)\n|10 differences"},
          {"replay --expect basic.expected.json --max-differences all appended.jsonl", 1,
           "!more differences|value=47"},
          // Two builds in one command: a stream from standard input, cut or whole.
          {"replay --expect - basic.jsonl <run.jsonl", 0, "=utilsim: the run matches <stdin>\n"},
          {"replay --drop-command 3 --expect - basic.jsonl <run.jsonl", 1,
           "^utilsim: the run differs from <stdin> (recorded with other options: --drop-command "
           "none (this run: 3)): first, hardware mismatch added IppbFlpInlifProfile0MapHwDirect"},
          {"replay --expect - basic.jsonl <cut.jsonl", 2,
           "=|2>^utilsim: <stdin>: the stored run ended early"},
      },
      files);
  // Without --update the stored run is never written; with it, it holds this run.
  std::ofstream(dir_ / "golden.json") << slurp(dir_ / "basic.expected.json");
  check({{"replay --expect golden.json appended.jsonl", 1, ""},
         {"replay --expect golden.json --update appended.jsonl", 0,
          "2>=utilsim: golden.json now holds this run\n"},
         {"replay --expect golden.json appended.jsonl", 0,
          "=utilsim: the run matches golden.json\n"}});
  // Runs with no entry in common within the window: the region is said, not compared.
  std::string a, b;
  for (int i = 0; i < 2100; ++i) {
    a += R"({"table": "routingState", "key": {"id": )" + std::to_string(i) + "}}\n";
    b += R"({"table": "routingState", "key": {"id": )" + std::to_string(i + 100000) + "}}\n";
  }
  const auto far = run("replay --json a.jsonl", {{"a.jsonl", a}}).out;
  check({{"replay --expect far.json b.jsonl", 1,
          "^utilsim: the run differs from far.json: first, stored lines 1-2000 and this run's "
          "lines 1-2000 have no entry in common within 2000 entries|1 region not aligned"}},
        {{"far.json", far}, {"b.jsonl", b}});
  // The differences for scripts.
  check({{"replay --expect basic.expected.json --diff-json d.json inserted.jsonl", 1, ""}}, files);
  const auto d = Json::parse(slurp(dir_ / "d.json"));
  EXPECT_EQ(d.at("summary").at("entriesInserted"), 1);
  EXPECT_EQ(d.at("differences").at(0).at("kind"), "entryInserted");
  EXPECT_EQ(d.at("differences").at(0).at("line"), 21);
  EXPECT_EQ(d.at("differences").at(0).at("follows").at(0).at("kind"), "rowAdded");
  // An end-state golden compares the end only, and says so.
  const auto state = run("replay --save-state end.json basic.jsonl", files).status;
  EXPECT_EQ(state, 0);
  check({{"replay --expect end.json basic.jsonl", 0,
          "=utilsim: the run's end matches end.json (a state: the end of the run is compared, "
          "not its entries)\n"},
         {"replay --expect end.json appended.jsonl", 1,
          "^utilsim: the run's end differs from end.json (a state: the end of the run is "
          "compared, not its entries): first, added EtppcMtuMapTableHwDirect fap 0 instance 0 "
          "value=40: mtuByteSize=1400 mtuActionProfileIdx=0\n"}},
        files);
}

// The questions engineers ask: why a row holds its value, what a table looks like, what an
// entry changed (for scripts), which entry a trace line belongs to.
TEST_F(UtilsimTest, QuestionsAnswered) {
  // A row written, cleared, written again, removed by a delete and read back.
  const auto log =
      slurp(dir_ / "copies.jsonl") +
      R"({"op": "clearHwTable", "hwTable": "IppaCsInlif0ProfileMapHwDirect", "fapId": 1})"
      "\n"
      R"({"table": "routingState", "fapId": 1, "key": {"id": 2, "type": 1}, )"
      R"("value": {"routingState": [1, 1, 1, 0, 0], "urpfState": {"ipv6Enabled": 1}}})"
      "\n"
      R"({"table": "routingState", "fapId": 1, "key": {"id": 2, "type": 1}, "delete": true})"
      "\n"
      R"({"op": "readShadowEntry", "hwTable": "IppaCsInlif0ProfileMapHwDirect", )"
      R"("fapId": 1, "key": {"array": 3, "entryIndex": 2}})"
      "\n";
  const Files files = {{"log.jsonl", log}};
  const auto row = "IppaCsInlif0ProfileMapHwDirect fap 1 instance 0 array=3 entryIndex=2"s;
  // The run's numbers of the commands that wrote its chip row (as --drop-command counts
  // them), from the --jsonl stream: they count every Util's commands before them.
  std::vector<std::string> number;
  std::istringstream stream(run("replay --jsonl log.jsonl", files).out);
  for (std::string line; std::getline(stream, line);) {
    const auto record = Json::parse(line);
    for (const auto& result : record.value("results", Json::array()))
      for (const auto& c : result.at("commands")) {
        number.push_back("");
        if (c.at("table") == "IppaCsInlif0ProfileMapHwDirect" && c.at("fapId") == 1 &&
            c.at("instanceId") == 0 && c.at("key") == Json{{"array", 3}, {"entryIndex", 2}})
          number.back() = std::to_string(number.size());
      }
  }
  std::erase(number, "");
  ASSERT_EQ(number.size(), 4u) << ::testing::PrintToString(number);
  check({{"history log.jsonl " + row, 0,
          "=" + row +
              "\n"
              "  line 7: routingState fap 1 instance 0 profile 2 (type 1)\n"
              "    shadow written by IppaCsInlif0ProfileMapUtil: absent (reset value) -> "
              "csInlif0Profile=2\n"
              "    command " +
              number[0] +
              " by IppaCsInlif0ProfileMapUtil: csInlif0Profile=2\n"
              "  line 27: clearHwTable IppaCsInlif0ProfileMapHwDirect fap 1 instance 0\n"
              "    shadow cleared by IppaCsInlif0ProfileMapUtil: csInlif0Profile=2 -> absent "
              "(reset value)\n"
              "    command " +
              number[1] +
              " by IppaCsInlif0ProfileMapUtil: csInlif0Profile=0\n"
              "  line 28: routingState fap 1 instance 0 profile 2 (type 1)\n"
              "    shadow written by IppaCsInlif0ProfileMapUtil: absent (reset value) -> "
              "csInlif0Profile=4\n"
              "    command " +
              number[2] +
              " by IppaCsInlif0ProfileMapUtil: csInlif0Profile=4\n"
              "  line 29: routingState fap 1 instance 0 profile 2 (type 1) delete\n"
              "    shadow removed by IppaCsInlif0ProfileMapUtil: csInlif0Profile=4 -> absent "
              "(reset value)\n"
              "    command " +
              number[3] +
              " by IppaCsInlif0ProfileMapUtil: csInlif0Profile=0\n"
              "  line 30: readShadowEntry IppaCsInlif0ProfileMapHwDirect fap 1 instance 0 array=3 "
              "entryIndex=2\n"
              "    read by IppaCsInlif0ProfileMapUtil: csInlif0Profile=0\n"
              "  end: the shadow holds absent (reset value); the chip agrees\n"},
         // A row nothing touched; the rows of a VSI; a row a state gave, and a withheld command.
         {"history log.jsonl EtppcMtuMapTableHwDirect value=8", 0,
          "=EtppcMtuMapTableHwDirect fap 0 instance 0 value=8\n  no entry touched it\n  end: the "
          "shadow holds absent (reset value); the chip agrees\n"},
         {"history log.jsonl 'fap 1 VSI 8'", 0,
          "^IppfVsiToRoutingProfileMapHwDirect fap 1 instance 0 array=0 entryIndex=2\n|"
          "\nIppaVsiToRoutingProfileMapHwDirect fap 1 instance 0 array=3 entryIndex=2\n"},
         {"history log.jsonl Bogus value=1", 2, "2>^utilsim: history: 'Bogus' is neither a table"}},
        files);
  ASSERT_EQ(run("replay --save-state s.json basic.jsonl").status, 0);
  check(
      {{"history --load-state s.json --drop-command 1 basic.jsonl EtppcMtuMapTableHwDirect value=8",
        0,
        "^EtppcMtuMapTableHwDirect fap 0 instance 0 value=8\n  shadow loaded from s.json: "
        "mtuByteSize=1500 mtuActionProfileIdx=0\n|end: the shadow holds mtuByteSize=1500"}});
  const auto h = Json::parse(run("history --json log.jsonl " + row, files).out);
  const auto& events = h.at("rows").at(0).at("events");
  ASSERT_EQ(events.size(), 9u);
  EXPECT_EQ(events.at(6).at("kind"), "removed");
  EXPECT_EQ(events.at(6).at("before"), Json({{"csInlif0Profile", 4}}));
  EXPECT_TRUE(events.at(6).at("after").is_null());
  EXPECT_TRUE(h.at("rows").at(0).at("end").at("agree").get<bool>());

  // The tables as the registry describes them, and the Utils that write each.
  const auto tables = Json::parse(run("tables --json --chip bcm88890_b0").out);
  const auto& all = TernAsicUtils::HwTableInfo::all();
  ASSERT_EQ(tables.at("tables").size(), all.size());
  const auto list = Json::parse(run("list --json").out);
  for (std::size_t i = 0; i < all.size(); ++i) {
    const auto& t = tables.at("tables").at(i);
    SCOPED_TRACE(all[i]->name);
    EXPECT_EQ(t.at("name"), all[i]->name);
    EXPECT_EQ(t.at("block"), all[i]->block);
    EXPECT_EQ(t.at("rows"), all[i]->rows);
    unsigned bits = 0;
    for (const auto& f : t.at("entry"))
      bits += f.at("bits").get<unsigned>() * f.at("count").get<unsigned>();
    EXPECT_EQ(bits, t.at("rowBits"));
    EXPECT_EQ((bits + 31) / 32, all[i]->wordsPerRow);  // the row format holds its fields exactly
    for (const auto& u : t.at("utils")) {
      const auto util = "bcm88890_b0::" + t.at("qualifiedName").get<std::string>().substr(13);
      EXPECT_NE(std::find_if(list.begin(), list.end(),
                             [&](const Json& r) {
                               return r.at("hwTableType") == util &&
                                      r.at("util").get<std::string>().find(
                                          u.at("util").get<std::string>()) != npos;
                             }),
                list.end())
          << u;
    }
  }

  // Decoded commands say what their words say, for every table; shadow rows before and after.
  std::set<std::string> decodedTables;
  std::istringstream lines(run("replay --jsonl --decode basic.jsonl").out);
  for (std::string line; std::getline(lines, line);) {
    const auto e = Json::parse(line);
    if (!e.contains("results")) continue;
    for (const auto& r : e.at("results"))
      for (const auto& c : r.at("commands")) {
        const auto* info = TernAsicUtils::HwTableInfo::byBlock(c.at("block"));
        ASSERT_NE(info, nullptr);
        std::vector<std::uint32_t> words(info->wordsPerRow);
        for (std::size_t k = 0; k < words.size(); ++k) words[k] = c.at("data").at(k);
        Json fields = Json::object();
        info->entryFields(
            words.data(), [&](const char* name, const std::uint32_t* v, unsigned n, bool isList) {
              fields[name] = isList ? Json(std::vector<std::uint32_t>(v, v + n)) : Json(v[0]);
            });
        EXPECT_EQ(c.at("fields"), fields) << line;
        decodedTables.insert(info->name);
      }
    if (e.at("line") == 22) {
      EXPECT_EQ(e.at("shadow").at(0).at("after"),
                Json::parse(R"({"routingProfile": [1, 0, 0, 0]})"));
    }
  }
  EXPECT_EQ(decodedTables.size(), all.size());

  // Trace lines, each behind the line that caused it: in its block of the per-line view, or
  // on standard error as the host writes them.
  const auto traced = run("replay --trace 3,8 --lines 22 basic.jsonl");
  expect(traced,
         "\n  line 22: |\n    basic.jsonl:22: |!basic.jsonl:23: |2>basic.jsonl:23: "
         "|2>!basic.jsonl:22: ");
  std::istringstream err(traced.err);
  std::size_t startup = 0, teardown = 0, entries = 0;
  for (std::string l; std::getline(err, l);) {
    const auto at = l.find(": ");
    ASSERT_NE(at, npos) << l;
    const auto text = l.substr(at + 2);
    // time of day, level, handle, file:line, function, [context], text
    EXPECT_TRUE(text.size() > 20 && text[2] == ':' && text[5] == ':' && text[8] == '.' &&
                text.substr(15, 2) == " L" && text.find(" [") != npos)
        << l;
    const auto prefix = l.substr(0, at);
    startup += prefix == "startup", teardown += prefix == "teardown";
    entries += prefix.rfind("basic.jsonl:", 0) == 0;
  }
  EXPECT_GT(startup * teardown * entries, 0u) << traced.err.substr(0, 2000);
}

// Files utilsim writes are replaced whole or not at all.
TEST_F(UtilsimTest, StatesAreWrittenSafely) {
  // A symbolic link stays a link and its file is replaced; a new file gets the mode the
  // umask gives; a FIFO (or a pipe as /dev/fd/N) is written as it is.
  std::ofstream(dir_ / "real.json") << "previous";
  fs::create_symlink("real.json", dir_ / "link.json");
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0600), 0);
  std::string fromFifo;
  std::thread reader([&] { fromFifo = slurp(dir_ / "fifo"); });
  check({{"replay --save-state fifo basic.jsonl", 0, ""},
         {"replay --save-state link.json basic.jsonl", 0, ""},
         {"replay --save-state new.json basic.jsonl", 0, ""}});
  reader.join();
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.json"));
  EXPECT_EQ(slurp(dir_ / "real.json"), slurp(dir_ / "new.json"));
  EXPECT_EQ(fromFifo, slurp(dir_ / "new.json"));
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(fs::status(dir_ / "new.json").permissions(), fs::perms(0666 & ~mask));
  // A run stopped by a signal while it reads its log leaves the previous state and no
  // temporary file. The log is a FIFO held open here: once utilsim has opened it, the
  // temporary file exists, and the run cannot end before the signal.
  ASSERT_EQ(mkfifo((dir_ / "log").c_str(), 0600), 0);
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    SCOPED_TRACE(sig);
    const auto cmd = "cd " + dir_.string() +
                     " && exec '" UTILSIM_PATH
                     "' replay --save-state real.json log >/dev/null 2>.err";
    const pid_t pid = fork();
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), nullptr);
      _exit(127);
    }
    std::ofstream log(dir_ / "log");
    log << basic_ << std::flush;
    kill(pid, sig);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_))
      if (e.path().filename().string().find("real.json") != npos)
        names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{"real.json"});
    EXPECT_EQ(slurp(dir_ / "real.json"), slurp(dir_ / "new.json"));
  }
}

// Nothing of an entry outlives it: ten times the log (or the stored document) takes the same
// memory.
TEST_F(UtilsimTest, MemoryStaysBoundedAsTheLogGrows) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizer's allocator holds on to freed memory";
#endif
  const auto gen = " && python3 '" TERN_SOURCE_DIR "/scripts/gen-replay-log' "s;
  ASSERT_EQ(std::system(("cd " + dir_.string() + gen + "20000 >s" + gen + "200000 >l" + gen +
                         "5000 >d" + gen + "50000 >D")
                            .c_str()),
            0);
  // Stored documents are read past their entries, not into memory: diff and --load-state.
  ASSERT_EQ(run("replay --json --save-state d.state d >d.json").status +
                run("replay --json D >D.json").status,
            0);
  for (const std::string command :
       {"replay --json X >/dev/null", "replay --no-progress X >/dev/null", "diff X.json X.json",
        "replay --load-state X.json /dev/null", "diff d.state X.json"}) {
    const auto size = [&](const std::string& x) {
      auto c = command;
      for (auto at = c.find('X'); at != npos; at = c.find('X', at)) c.replace(at, 1, x);
      return c;
    };
    const bool docs = command.find(".json") != npos;
    const auto small = run(size(docs ? "d" : "s"));
    const auto large = run(size(docs ? "D" : "l"));
    EXPECT_EQ(small.status * 10 + large.status, command.find("d.state") != npos) << command;
    EXPECT_LT(large.maxKiB, small.maxKiB * 11 / 10)
        << command << ": " << small.maxKiB << " KiB, then " << large.maxKiB;
  }
}
}  // namespace

#else
TEST(UtilsimTest, NotBuilt) { GTEST_SKIP() << "utilsim is not part of this build"; }
#endif
