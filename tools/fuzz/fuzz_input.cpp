// libFuzzer target: arbitrary bytes go to the simulator's log reader (tools/utilsim/Files,
// Input), and whatever it accepts is replayed through every Util of one chip
// (tools/utilsim/Replay), with the plug-in as the simulator loads it. Built and run by
// tests/fuzz_input.sh.
//
// Besides the sanitizers' own findings, the target stops on a broken guarantee:
// - every line gets the same answer from checkLine as from the general checker alone
//   (checkLineSlow): the fast path that reads plain lines accepts no line the general checker
//   refuses and reads every line it accepts into the same entry;
// - a line holding a NUL byte is refused, whatever both checkers say (the JSON parser takes
//   a NUL for the end of its input, so a line could lose what follows it);
// - the two SHA-256 engines (the processor's instructions, plain code) agree on the input;
// - every input error names a line within the text and a non-empty message made of
//   printable ASCII only (messages quote hostile bytes as \xNN);
// - after a replay the chip model equals every shadow copy, except row 128 of the MTU
//   table, which MTU profile 16 writes before its second row is refused (the documented
//   exception: that entry returns no commands).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <tuple>
#include <vector>

#include "host/Host.h"
#include "tools/utilsim/EntryStream.h"
#include "tools/utilsim/Input.h"
#include "tools/utilsim/Replay.h"
#include "tools/utilsim/Sha256.h"

namespace {
const TernAsicUtils::UtilHolderContext& context() {
  static TernAsicUtils::UtilHolderContext* ctx = [] {
    auto* c = new TernAsicUtils::UtilHolderContext;
    Host::startUtilPlugins(*c);
    return c;
  }();
  return *ctx;
}

[[noreturn]] void broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz_input: %s: %s\n", what, detail.c_str());
  std::abort();
}

bool sameErrors(const std::vector<Utilsim::InputError>& a,
                const std::vector<Utilsim::InputError>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
    return std::tie(x.line, x.column, x.message) == std::tie(y.line, y.column, y.message);
  });
}

bool sameEntry(const Utilsim::InputEntry& a, const Utilsim::InputEntry& b) {
  const auto fields = [](const Utilsim::InputEntry& e) {
    return std::tie(e.line, e.op, e.hwTable, e.row, e.table, e.fapId, e.instanceId, e.isDelete,
                    e.tableDelete, e.routingState, e.trapForwardAction, e.mtuProfile);
  };
  return fields(a) == fields(b);
}

// Every line (as the reader would cut it, comments and blank lines too) through checkLine and
// through the general checker alone: the same verdict, entry and errors.
void checkFastPath(std::string_view text) {
  unsigned number = 0;
  for (std::size_t pos = 0; pos <= text.size();) {
    const auto nl = std::min(text.find('\n', pos), text.size());
    const std::string_view line = text.substr(pos, nl - pos);
    pos = nl + 1;
    Utilsim::InputEntry fast, slow;
    std::vector<Utilsim::InputError> fastErrors, slowErrors;
    const bool fastOk = Utilsim::checkLine(line, ++number, fast, fastErrors);
    const bool slowOk = Utilsim::checkLineSlow(line, number, slow, slowErrors);
    if (line.find('\0') != std::string_view::npos && (fastOk || slowOk))
      broken("a line holding a NUL byte was accepted", Utilsim::printable(line, 200));
    if (fastOk != slowOk || (fastOk && !sameEntry(fast, slow)) ||
        !sameErrors(fastErrors, slowErrors))
      broken("checkLine differs from the general checker", Utilsim::printable(line, 200));
  }
}

unsigned lineCount(std::string_view text) {
  unsigned n = 1;
  for (char c : text) n += c == '\n';
  return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  checkFastPath(text);
  Utilsim::Sha256 best, plain(Utilsim::Sha256::Engine::Portable);
  best.add(text);
  plain.add(text);
  if (best.hex() != plain.hex()) broken("the SHA-256 engines differ", std::to_string(size));
  if (size == 0) return 0;
  // The input read as utilsim reads a log: line by line through its reader, up to the cap.
  std::vector<Utilsim::InputEntry> entries;
  std::vector<Utilsim::InputError> errors;
  {
    Utilsim::LineReader in(fmemopen(const_cast<std::uint8_t*>(data), size, "rb"), "fuzz");
    Utilsim::checkInput(in, errors, [&](const auto& e) { entries.push_back(e); });
  }
  if (!errors.empty()) {
    if (errors.size() > Utilsim::InputLimits::kMaxErrors + 100)
      broken("too many errors", std::to_string(errors.size()));
    const unsigned lines = lineCount(text);
    for (const auto& e : errors) {
      if (e.line > lines) broken("error beyond the last line", e.message);
      if (e.message.empty()) broken("empty error message", "line " + std::to_string(e.line));
      for (unsigned char c : e.message)
        if (c < 0x20 || c > 0x7e) broken("unprintable byte in an error message", e.message);
    }
    return 0;
  }
  if (entries.empty()) return 0;

  // The first byte picks the chip, the dispatch and the fap mask, so that both revisions
  // and masks that do not cover the entries are reached.
  Utilsim::ReplayConfig config;
  config.chip = data[0] & 1 ? Hardware::kChipBcm88890B0 : Hardware::kChipBcm88890A0;
  config.always = data[0] & 2;
  for (unsigned id = 0; id <= 128; ++id)
    if ((data[0] & 4) == 0 || id % 2 == 0) config.fapmask.fapIdIs(SchanAccel::FapId(id), true);
  Utilsim::Replay replay(context(), config);
  for (const auto& e : entries) replay.process(e);
  replay.finish();
  for (const auto& m : replay.mismatches())
    if (std::string_view(m.table->name) != "EtppcMtuMapTableHwDirect" || m.row != 128)
      broken("chip model differs from the shadow",
             std::string(m.table->name) + " row " + std::to_string(m.row));
  return 0;
}
