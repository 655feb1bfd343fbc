// utilsim: loads the Util plug-in, lists its registrations, or replays a log of software
// table changes through the Utils of one chip and reports what they did. This file only
// dispatches: options in Options, the commands in *Command.cpp.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/utilsim/Commands.h"
#include "tools/utilsim/Files.h"

int main(int argc, char** argv) {
  using namespace Utilsim;
  // diff reads its own arguments, but for a request of help or the version (Options).
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args.front() == "diff" && !helpOrVersion(args))
    return diffCommand(std::vector<std::string>(args.begin() + 1, args.end()), usageOf("diff"));
  Options o;
  try {
    parseOptions(argc, argv, o);
  } catch (const UsageError& e) {
    return usageError(o, e);
  }
  try {
    switch (o.action) {
      case Options::Action::Help:
        std::fputs(helpText(o.command).c_str(), stdout);
        return kExitOk;
      case Options::Action::Version:
        return version(o);
      case Options::Action::Run:
        break;
    }
    if (o.command == "list") return list(o);
    if (o.command == "tables") return tables(o);
    if (o.command == "history") return history(o);
    return replay(o);
  } catch (const InputFileError& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    fmt::print(stderr, "utilsim: {}\n", e.what());
    return kExitEnvironment;
  }
}
