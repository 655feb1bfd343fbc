// What one Util source file declares: its two Util classes (one per chip revision), their
// construction paths, the file's reflection module, its log handles and its two plug-ins.
// A Util source file holds only its description and one TERN_UTIL_FILE line.
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

#define TERN_UTIL_CLASS(Rev, Ns, Name, FactoryName, Table, Chip, Desc, File)                       \
  namespace Rev::Ns {                                                                              \
  class Name final : public ::TernAsicUtils::UtilT<Name, Desc, ::Rev::Table, Chip> {               \
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

// Ns: TernL3NiUtil or TernL3IntfUtil; Table: the table class name (both revisions).
#define TERN_UTIL_FILE(Ns, Name, FactoryName, Table, Desc)                                      \
  namespace Jericho3ai::Name##File {                                                            \
    struct File {                                                                               \
      static ::Pavo::ModuleInspectData module;                                                  \
      static const ::Qel::TraceHandle& _defaultTraceHandle() {                                  \
        static const ::Qel::TraceHandle th(Desc::kName, false);                                 \
        return th;                                                                              \
      }                                                                                         \
    };                                                                                          \
  }                                                                                             \
  TERN_UTIL_CLASS(bcm88890_a0, Ns, Name, FactoryName, Table, ::Hardware::kChipBcm88890A0, Desc, \
                  ::Jericho3ai::Name##File::File)                                               \
  TERN_UTIL_CLASS(bcm88890_b0, Ns, Name, FactoryName, Table, ::Hardware::kChipBcm88890B0, Desc, \
                  ::Jericho3ai::Name##File::File)                                               \
  namespace Jericho3ai::Name##File {                                                            \
    ::Pavo::ModuleInspectData File::module{                                                     \
        "Jericho3ai/" #Name,                                                                    \
        {::Pavo::HideMe<::bcm88890_a0::Ns::Name>::inspectable(),                                \
         ::Pavo::HideMe<::bcm88890_b0::Ns::Name>::inspectable()}};                              \
    const ::TernAsicUtils::UtilFileInit fileInit{File::module};                                 \
    ::TernAsicUtils::UtilPlugin<Desc::Constants, ::bcm88890_a0::Ns::Name,                       \
                                ::Hardware::kChipBcm88890A0>                                    \
        pluginA0;                                                                               \
    ::TernAsicUtils::UtilPlugin<Desc::Constants, ::bcm88890_b0::Ns::Name,                       \
                                ::Hardware::kChipBcm88890B0>                                    \
        pluginB0;                                                                               \
  }
