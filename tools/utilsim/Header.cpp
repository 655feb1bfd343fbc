#include "tools/utilsim/Header.h"

#include <elf.h>
#include <fmt/format.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "tools/utilsim/Input.h"
#include "tools/utilsim/JsonCheck.h"
#include "tools/utilsim/JsonWriter.h"
#include "tools/utilsim/Report.h"

#ifndef UTILSIM_VERSION
#define UTILSIM_VERSION "unknown"
#endif

namespace Utilsim {
namespace {
// The GNU build id the linker put into an ELF file (of this machine's byte order), in
// hexadecimal; empty when the file has none or is not ELF. It names the exact build of a
// plug-in where size and time do not.
template <class Ehdr, class Phdr, class Nhdr>
std::string buildIdOf(std::string_view f) {
  Ehdr eh;
  if (f.size() < sizeof eh) return {};
  std::memcpy(&eh, f.data(), sizeof eh);
  for (std::uint64_t i = 0; i < eh.e_phnum; ++i) {
    Phdr ph;
    const std::uint64_t at = eh.e_phoff + i * eh.e_phentsize;
    if (at + sizeof ph > f.size()) return {};
    std::memcpy(&ph, f.data() + at, sizeof ph);
    if (ph.p_type != PT_NOTE || ph.p_offset + ph.p_filesz > f.size()) continue;
    const std::uint64_t end = ph.p_offset + ph.p_filesz;
    for (std::uint64_t pos = ph.p_offset; pos + sizeof(Nhdr) <= end;) {
      Nhdr nh;
      std::memcpy(&nh, f.data() + pos, sizeof nh);
      const std::uint64_t name = pos + sizeof nh, desc = name + ((nh.n_namesz + 3u) & ~3u),
                          next = desc + ((nh.n_descsz + 3u) & ~3u);
      if (next > end) break;
      if (nh.n_type == NT_GNU_BUILD_ID &&
          f.substr(name, nh.n_namesz) == std::string_view("GNU", 4)) {
        std::string id;
        for (const char c : f.substr(desc, nh.n_descsz))
          id += fmt::format("{:02x}", unsigned(std::uint8_t(c)));
        return id;
      }
      pos = next;
    }
  }
  return {};
}

}  // namespace

std::string buildId(const std::string& path) {
  std::string f;
  if (std::FILE* in = std::fopen(path.c_str(), "rb")) {
    char buf[1 << 16];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;) f.append(buf, n);
    std::fclose(in);
  }
  if (f.size() <= EI_CLASS || f.compare(0, SELFMAG, ELFMAG) != 0) return {};
  if (f[EI_CLASS] == ELFCLASS64) return buildIdOf<Elf64_Ehdr, Elf64_Phdr, Elf64_Nhdr>(f);
  if (f[EI_CLASS] == ELFCLASS32) return buildIdOf<Elf32_Ehdr, Elf32_Phdr, Elf32_Nhdr>(f);
  return {};
}

std::string rangesText(const std::vector<bool>& ids) {
  std::string out;
  for (std::size_t id = 0; id < ids.size(); ++id) {
    if (!ids[id]) continue;
    std::size_t last = id;
    while (last + 1 < ids.size() && ids[last + 1]) ++last;
    out += fmt::format("{}{}", out.empty() ? "" : ",", id);
    if (last > id) out += fmt::format("-{}", last);
    id = last;
  }
  return out.empty() ? "none" : out;
}

std::string RunHeader::filterOptions() const {
  std::string out;
  for (const auto& t : tables) out += " --table " + t;
  if (!faps.empty()) out += " --fap " + faps;
  if (!instances.empty()) out += " --instance " + instances;
  if (changed) out += " --changed";
  return out.empty() ? out : out.substr(1);
}

RunHeader runHeader(const ReplayConfig& config, const RowFilter& filter,
                    const std::string& pluginPath,
                    const std::optional<RunHeader::LoadedState>& loaded) {
  RunHeader h;
  h.utilsimVersion = UTILSIM_VERSION;
  h.pluginBuildId = buildId(pluginPath);
  h.chip = Hardware::chipTypeName(config.chip);
  std::vector<bool> mask(SchanAccel::FapId::null + 1);
  for (unsigned id = 0; id < mask.size(); ++id)
    mask[id] = config.fapmask.has(SchanAccel::FapId(id));
  h.fapMask = rangesText(mask);
  h.dispatch = config.always ? "always" : "applicable";
  h.dropCommand = config.dropCommand;
  h.loadedState = loaded;
  for (const auto* t : filter.tables) h.tables.push_back(t->name);
  if (!filter.faps.empty()) h.faps = rangesText(filter.faps);
  if (!filter.instances.empty()) h.instances = rangesText(filter.instances);
  h.changed = filter.changed;
  return h;
}

void headerJson(JsonWriter& w, const RunHeader& h) {
  w.beginObject().member("format", RunHeader::kFormat).member("version", h.version);
  w.key("writtenBy").beginObject().member("utilsim", h.utilsimVersion);
  w.member("pluginBuildId", h.pluginBuildId).endObject();
  w.key("run").beginObject().member("chip", h.chip).member("fapMask", h.fapMask);
  w.member("dispatch", h.dispatch).key("dropCommand");
  if (h.dropCommand)
    w.value(h.dropCommand);
  else
    w.null();
  w.key("loadedState");
  if (h.loadedState)
    w.beginObject()
        .member("file", h.loadedState->file)
        .member("sha256", h.loadedState->sha256)
        .endObject();
  else
    w.null();
  w.endObject();
  if (h.decoded) w.key("decoded").value(true);
  if (h.filtered()) {
    w.key("filters").beginObject();
    if (!h.tables.empty()) {
      w.key("tables").beginArray();
      for (const auto& t : h.tables) w.value(t);
      w.endArray();
    }
    if (!h.faps.empty()) w.member("faps", h.faps);
    if (!h.instances.empty()) w.member("instances", h.instances);
    if (h.changed) w.key("changed").value(true);
    w.endObject();
  }
  w.endObject();
}

namespace {
using Json = nlohmann::ordered_json;

// Reads the members of one object of the header, each by its own reader; anything else in
// it is a problem, as is a member missing.
class HeaderReader {
 public:
  explicit HeaderReader(std::string& problem) : problem_(problem) {}
  bool ok() const noexcept { return problem_.empty(); }
  void bad(const std::string& place, const std::string& why) {
    if (problem_.empty()) problem_ = place + ": " + why;
  }
  // The object member `name` of parent (null when absent or not an object).
  const Json* object(const Json& parent, const std::string& place, const char* name,
                     std::initializer_list<const char*> members, bool required = true) {
    const auto it = parent.find(name);
    const auto here = place + "/" + name;
    if (it == parent.end()) {
      if (required) bad(here, "missing");
      return nullptr;
    }
    if (!it->is_object()) {
      bad(here, "expected an object, got " + describeJson(*it));
      return nullptr;
    }
    onlyMembers(*it, here, members);
    return &*it;
  }
  void onlyMembers(const Json& object, const std::string& place,
                   std::initializer_list<const char*> members) {
    for (const auto& [member, value] : object.items())
      if (std::find_if(members.begin(), members.end(),
                       [&](const char* m) { return member == m; }) == members.end())
        bad(place + "/" + pointerToken(member), "unknown member");
  }
  std::string text(const Json& parent, const std::string& place, const char* name,
                   bool required = true) {
    const auto it = parent.find(name);
    if (it == parent.end()) {
      if (required) bad(place + "/" + name, "missing");
    } else if (!it->is_string()) {
      bad(place + "/" + name, "expected a string, got " + describeJson(*it));
    } else {
      return it->get<std::string>();
    }
    return {};
  }

 private:
  std::string& problem_;
};
}  // namespace

std::optional<RunHeader> readHeader(const Json& header, std::string& problem) {
  problem.clear();
  HeaderReader r(problem);
  if (!header.is_object()) {
    r.bad("/header", "expected an object, got " + describeJson(header));
    return std::nullopt;
  }
  RunHeader h;
  if (const auto format = r.text(header, "/header", "format");
      r.ok() && format != RunHeader::kFormat)
    r.bad("/header/format",
          fmt::format("expected \"{}\", got \"{}\"", RunHeader::kFormat, printable(format, 40)));
  const auto version = header.find("version");
  if (version == header.end() || !version->is_number_unsigned()) {
    r.bad("/header/version", "expected a format version (a positive integer)");
    return std::nullopt;
  }
  h.version = version->get<unsigned>();
  if (h.version > RunHeader::kVersion) {
    // Nothing else of a newer format can be trusted to mean what this utilsim thinks.
    r.bad("/header/version",
          fmt::format("format version {} is newer than this utilsim ({}) reads (up to {}); "
                      "read it with a newer utilsim",
                      h.version, UTILSIM_VERSION, RunHeader::kVersion));
    return std::nullopt;
  }
  r.onlyMembers(header, "/header", {"format", "version", "writtenBy", "run", "decoded", "filters"});
  if (const auto d = header.find("decoded"); d != header.end()) {
    if (d->is_boolean())
      h.decoded = d->get<bool>();
    else
      r.bad("/header/decoded", "expected true or false");
  }
  if (const auto* by =
          r.object(header, "/header", "writtenBy", {"utilsim", "pluginBuildId"}, false)) {
    h.utilsimVersion = r.text(*by, "/header/writtenBy", "utilsim", false);
    h.pluginBuildId = r.text(*by, "/header/writtenBy", "pluginBuildId", false);
  }
  if (const auto* run = r.object(header, "/header", "run",
                                 {"chip", "fapMask", "dispatch", "dropCommand", "loadedState"})) {
    h.chip = r.text(*run, "/header/run", "chip");
    h.fapMask = r.text(*run, "/header/run", "fapMask");
    h.dispatch = r.text(*run, "/header/run", "dispatch");
    const auto drop = run->find("dropCommand");
    if (drop != run->end() && drop->is_number_unsigned())
      h.dropCommand = drop->get<std::uint64_t>();
    else if (drop != run->end() && !drop->is_null())
      r.bad("/header/run/dropCommand",
            "expected a command number or null, got " + describeJson(*drop));
    const auto loaded = run->find("loadedState");
    if (loaded != run->end() && !loaded->is_null()) {
      if (const auto* l = r.object(*run, "/header/run", "loadedState", {"file", "sha256"}))
        h.loadedState = RunHeader::LoadedState{r.text(*l, "/header/run/loadedState", "file"),
                                               r.text(*l, "/header/run/loadedState", "sha256")};
    }
  }
  if (const auto* f = r.object(header, "/header", "filters",
                               {"tables", "faps", "instances", "changed"}, false)) {
    if (const auto t = f->find("tables"); t != f->end()) {
      if (!t->is_array()) r.bad("/header/filters/tables", "expected an array of table names");
      for (const auto& name : *t)
        if (name.is_string()) h.tables.push_back(name.get<std::string>());
    }
    h.faps = r.text(*f, "/header/filters", "faps", false);
    h.instances = r.text(*f, "/header/filters", "instances", false);
    if (const auto c = f->find("changed"); c != f->end())
      h.changed = c->is_boolean() && c->get<bool>();
    if (!h.filtered()) r.bad("/header/filters", "names no filter");
  }
  if (!r.ok()) return std::nullopt;
  return h;
}

std::vector<std::string> optionDifferences(const RunHeader& stored, const RunHeader& run) {
  std::vector<std::string> out;
  const auto differ = [&](const char* option, const std::string& a, const std::string& b) {
    if (a != b) out.push_back(fmt::format("{} {} (this run: {})", option, a, b));
  };
  differ("--chip", stored.chip, run.chip);
  differ("--fap-mask", stored.fapMask, run.fapMask);
  differ("--dispatch", stored.dispatch, run.dispatch);
  const auto drop = [](std::uint64_t n) { return n ? std::to_string(n) : std::string("none"); };
  differ("--drop-command", drop(stored.dropCommand), drop(run.dropCommand));
  const auto state = [](const std::optional<RunHeader::LoadedState>& s) {
    return s ? fmt::format("{} (sha256 {})", s->file, s->sha256.substr(0, 12)) : "none";
  };
  if (!(stored.loadedState == run.loadedState))
    out.push_back(fmt::format("--load-state {} (this run: {})", state(stored.loadedState),
                              state(run.loadedState)));
  return out;
}

}  // namespace Utilsim
