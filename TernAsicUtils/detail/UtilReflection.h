// The reflective view of a Util for the host's type system: named attributes that can be
// read, written or called through untyped argument arrays.
//
// Argument conventions (args[i] points at a value of the named type; result points at an
// object of the result type, which is assigned):
//   tableName           call  -> Pavo::String
//   hwTable             read  -> Pavo::Ptr<Pavo::Node> (through Pavo::Inspect::opResEncRelNode)
//                       write <- const Pavo::Ptr<HwCommonTableBase>
//   translateToHwFormat call  (Pavo::Ptr<const Wrapper>) -> Entry
//   readShadowEntry     call  (SchanAccel::FapId, InstanceId, EntryKey) -> Entry
//   revertHwEntry       call  (Pavo::Ptr<const Wrapper>) -> Entry
//   mapToHwKey          call  (LogEntry, Asic::UnitId) -> EntryKey
//   factory             call  (UtilKey, Ptr<TableManager>, Ptr<TernMdb::TableManager>,
//                              Ptr<HwWriterStatus>, Ptr<HwBulkDownloadErrConfig>)
//                             -> Pavo::Ptr<Pavo::Node>
//   handleInitialized, onDelete  call, no arguments, no result
#pragma once

#include <cstring>

#include "TernAsicUtils/Util.h"

namespace Pavo {
template <class Util>
struct HideMe {
  enum Op { Read = 0, Write = 1, Call = 10 };
  enum Answer { Done = 0, NotApplicable = 1, NoSuchAttribute = 2 };

  static constexpr Attribute attributes[] = {{"tableName"},
                                             {"hwTable"},
                                             {"translateToHwFormat", {"logEntry"}},
                                             {"readShadowEntry", {"fapId", "instanceId", "hwKey"}},
                                             {"revertHwEntry", {"logEntry"}},
                                             {"mapToHwKey", {"entry", "unitId"}},
                                             {"factory",
                                              {"utilKey", "hwTableManager", "mdbTableManager",
                                               "hwWriterStatus", "hwBulkDownloadErrConfig"}},
                                             {"handleInitialized"},
                                             {"onDelete"},
                                             {"translateToHwFormat_", {"logEntry"}},
                                             {"mapToHwKey_", {"entry", "unitId"}}};

  template <class T>
  static const T& arg(void* const* args, unsigned i) {
    return *static_cast<const T*>(args[i]);
  }

  static int inspectOperation(void* object, const FieldDescriptor& field, int op, void* const* args,
                              void* result) {
    auto& u = *static_cast<Util*>(static_cast<TernAsicUtils::UtilBase*>(object));
    using W = Ptr<const typename Util::Wrapper>;
    const auto is = [&](const char* name) { return std::strcmp(field.name, name) == 0; };
    const auto call = [&](auto&& f) {
      if (op != Call) return int(NotApplicable);
      f();
      return int(Done);
    };
    if (is("tableName")) return call([&] { *static_cast<String*>(result) = Util::tableName(); });
    if (is("hwTable")) {
      if (op == Read) return Inspect::opResEncRelNode(result, u.hwTable().get());
      if (op == Write) {
        u.hwTableBaseIs(arg<Ptr<TernAsicUtils::HwCommonTableBase>>(args, 0));
        return Done;
      }
      return NotApplicable;
    }
    if (is("translateToHwFormat"))
      return call([&] {
        *static_cast<typename Util::Entry*>(result) = u.translateToHwFormat(arg<W>(args, 0));
      });
    if (is("readShadowEntry"))
      return call([&] {
        *static_cast<typename Util::Entry*>(result) = u.readShadowEntry(
            arg<SchanAccel::FapId>(args, 0), arg<TernAsicUtils::InstanceId>(args, 1),
            arg<typename Util::EntryKey>(args, 2));
      });
    if (is("revertHwEntry"))
      return call(
          [&] { *static_cast<typename Util::Entry*>(result) = u.revertHwEntry(arg<W>(args, 0)); });
    if (is("mapToHwKey"))
      return call([&] {
        *static_cast<typename Util::EntryKey*>(result) =
            u.mapToHwKey(arg<typename Util::LogEntry>(args, 0), arg<Asic::UnitId>(args, 1));
      });
    if (is("factory")) {
      if (op != Call) return NotApplicable;
      auto made = Util::create(arg<TernAsicUtils::UtilKey>(args, 0),
                               arg<Ptr<TernAsicUtils::TableManager>>(args, 1),
                               arg<Ptr<TernAsicUtils::HwWriterStatus>>(args, 3));
      return Inspect::opResEncRelNode(result, made.get());
    }
    if (is("handleInitialized")) return call([&] { u.handleInitialized(); });
    if (is("onDelete")) return call([&] { u.onDelete(); });
    if (is("translateToHwFormat_") || is("mapToHwKey_")) return NotApplicable;
    return NoSuchAttribute;
  }

  // args: UtilKey, Ptr<TableManager>, Ptr<HwWriterStatus>; result: Ptr<Pavo::Node>.
  static void genericIfConstructFromCtorArgs(void* result, void* const* args) {
    auto made = Util::create(arg<TernAsicUtils::UtilKey>(args, 0),
                             arg<Ptr<TernAsicUtils::TableManager>>(args, 1),
                             arg<Ptr<TernAsicUtils::HwWriterStatus>>(args, 2));
    Inspect::opResEncRelNode(result, made.get());
  }

  static InspectableClass inspectable() {
    return {Util::kClassName, &inspectOperation, &genericIfConstructFromCtorArgs, attributes,
            std::size(attributes)};
  }
};
}  // namespace Pavo
