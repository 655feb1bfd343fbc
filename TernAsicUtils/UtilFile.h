// What one Util source file declares: its two Util classes (one per chip revision), their
// construction paths, the file's reflection module, its log handles and its two plug-ins.
// A Util source file holds only its description and one TERN_UTIL_FILE line, which is where
// it names itself.
#pragma once

#include <array>

#include "TernAsicUtils/detail/UtilPlugin.h"
#include "TernAsicUtils/detail/UtilReflection.h"

namespace TernAsicUtils {
// Load-time work of every Util source file, in this order: the three log handles, the
// graceful-assert mode (first file only), and the reflection module's announcement.
class UtilFileInit {
 public:
  explicit UtilFileInit(Pavo::ModuleInspectData& module);

 private:
  std::array<Qel::LogHandle, 3> logHandles_;
};

// The log message declarations every Util file's handles refer to.
extern const Qel::LogDescriptor kLogDescriptors[3];
enum LogDescriptorIndex {
  HW_ABSTRACTION_EXCEPTION = 0,
  HW_ABSTRACTION_RELAUNCH_ERROR = 1,
  HW_ABSTRACTION_ERROR = 2
};
}  // namespace TernAsicUtils

namespace TernAsicUtils::detail {
// Whether factory is name with a lower-case first letter and "Factory" appended: the name the
// host looks the exported factory up by, which the preprocessor cannot derive from the name.
consteval bool isFactoryOf(const char* name, const char* factory) {
  if (name[0] < 'A' || name[0] > 'Z' || factory[0] != name[0] - 'A' + 'a') return false;
  std::size_t i = 1;
  for (; name[i]; ++i)
    if (factory[i] != name[i]) return false;
  const char* suffix = "Factory";
  for (std::size_t j = 0; suffix[j]; ++j)
    if (factory[i + j] != suffix[j]) return false;
  return factory[i + 7] == 0;
}
}  // namespace TernAsicUtils::detail

#define TERN_UTIL_CLASS(Rev, Ns, Name, FactoryName, Chip, File)                                    \
  namespace Rev::Ns {                                                                              \
  class Name final : public ::TernAsicUtils::UtilT<                                                \
                         Name, File::Desc,                                                         \
                         ::TernAsicUtils::HwTableClass<File::Desc::Logic::Layout, Chip>, Chip> {   \
   public:                                                                                         \
    static constexpr const char* kClassName = #Rev "::" #Ns "::" #Name;                            \
    static constexpr const char* kFileId = "Jericho3ai/" #Name;                                    \
    static ::Pavo::ModuleInspectData& moduleData() { return File::module; }                        \
    static const ::Qel::TraceHandle& _defaultTraceHandle() { return File::_defaultTraceHandle(); } \
    using UtilT::UtilT;                                                                            \
    static ::Pavo::Ptr<Name> Name##Is(const ::TernAsicUtils::UtilKey& key,                         \
                                      const ::Pavo::Ptr<::TernAsicUtils::TableManager>& tm,        \
                                      const ::Pavo::Ptr<::TernAsicUtils::HwWriterStatus>& ws) {    \
      return create(key, tm, ws);                                                                  \
    }                                                                                              \
  };                                                                                               \
  ::Pavo::Ptr<Name> FactoryName(const ::TernAsicUtils::UtilKey& key,                               \
                                const ::Pavo::Ptr<::TernAsicUtils::TableManager>& tm,              \
                                const ::Pavo::Ptr<::TernAsicUtils::HwWriterStatus>& ws) {          \
    return Name::Name##Is(key, tm, ws);                                                            \
  }                                                                                                \
  }

// The one line a Util source file ends with, after its description. Ns: TernL3NiUtil or
// TernL3IntfUtil; Name: the Util class; FactoryName: its exported factory (Name with a
// lower-case first letter, then "Factory"; checked); Description: what the Util supplies
// (TernAsicUtils/UtilDesc.h), whose logic's layout names the table.
#define TERN_UTIL_FILE(Ns, Name, FactoryName, Description)                         \
  namespace Jericho3ai::Name##File {                                               \
    struct Desc : Description {                                                    \
      static constexpr const char* kName = #Name;                                  \
    };                                                                             \
    static_assert(::TernAsicUtils::detail::isFactoryOf(#Name, #FactoryName),       \
                  "the factory of a Util is named after it: " #Name                \
                  " needs FactoryName "                                            \
                  "spelt as Name with a lower-case first letter, then Factory");   \
    struct File {                                                                  \
      using Desc = ::Jericho3ai::Name##File::Desc;                                 \
      static ::Pavo::ModuleInspectData module;                                     \
      static const ::Qel::TraceHandle& _defaultTraceHandle() {                     \
        static const ::Qel::TraceHandle th(Desc::kName, false);                    \
        return th;                                                                 \
      }                                                                            \
    };                                                                             \
  }                                                                                \
  TERN_UTIL_CLASS(bcm88890_a0, Ns, Name, FactoryName, ::Hardware::kChipBcm88890A0, \
                  ::Jericho3ai::Name##File::File)                                  \
  TERN_UTIL_CLASS(bcm88890_b0, Ns, Name, FactoryName, ::Hardware::kChipBcm88890B0, \
                  ::Jericho3ai::Name##File::File)                                  \
  namespace Jericho3ai::Name##File {                                               \
    ::Pavo::ModuleInspectData File::module{                                        \
        "Jericho3ai/" #Name,                                                       \
        {::Pavo::HideMe<::bcm88890_a0::Ns::Name>::inspectable(),                   \
         ::Pavo::HideMe<::bcm88890_b0::Ns::Name>::inspectable()}};                 \
    const ::TernAsicUtils::UtilFileInit fileInit{File::module};                    \
    ::TernAsicUtils::UtilPlugin<Desc::Constants, ::bcm88890_a0::Ns::Name,          \
                                ::Hardware::kChipBcm88890A0>                       \
        pluginA0;                                                                  \
    ::TernAsicUtils::UtilPlugin<Desc::Constants, ::bcm88890_b0::Ns::Name,          \
                                ::Hardware::kChipBcm88890B0>                       \
        pluginB0;                                                                  \
  }
