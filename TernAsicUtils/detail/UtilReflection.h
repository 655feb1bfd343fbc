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

#include <array>
#include <cstring>

#include "TernAsicUtils/Util.h"

namespace Pavo {
template <class Util>
struct HideMe {
  enum Op { Read = 0, Write = 1, Call = 10 };
  enum Answer { Done = 0, NotApplicable = 1, NoSuchAttribute = 2 };

  template <class T>
  static const T& arg(void* const* args, unsigned i) {
    return *static_cast<const T*>(args[i]);
  }
  template <class T>
  static T& out(void* result) {
    return *static_cast<T*>(result);
  }
  using W = Ptr<const typename Util::Wrapper>;
  using Entry = typename Util::Entry;
  using EntryKey = typename Util::EntryKey;

  // An operation the host may only call: runs body, which has no result the host takes over.
  template <class Body>
  static int callOnly(int op, Body&& body) {
    if (op != Call) return NotApplicable;
    body();
    return Done;
  }

  // Every attribute, in declaration order: its name, its parameters' names, and what an
  // operation on it does.
  struct Declared {
    Attribute attribute;
    int (*operation)(Util& u, int op, void* const* args, void* result);
  };
  static constexpr Declared kDeclared[] = {
      {{"tableName"},
       [](Util&, int op, void* const*, void* r) {
         return callOnly(op, [&] { out<String>(r) = Util::tableName(); });
       }},
      {{"hwTable"},
       [](Util& u, int op, void* const* a, void* r) {
         if (op == Read) return Inspect::opResEncRelNode(r, u.hwTable().get());
         if (op != Write) return int(NotApplicable);
         u.hwTableBaseIs(arg<Ptr<TernAsicUtils::HwCommonTableBase>>(a, 0));
         return int(Done);
       }},
      {{"translateToHwFormat", {"logEntry"}},
       [](Util& u, int op, void* const* a, void* r) {
         return callOnly(op, [&] { out<Entry>(r) = u.translateToHwFormat(arg<W>(a, 0)); });
       }},
      {{"readShadowEntry", {"fapId", "instanceId", "hwKey"}},
       [](Util& u, int op, void* const* a, void* r) {
         return callOnly(op, [&] {
           out<Entry>(r) =
               u.readShadowEntry(arg<SchanAccel::FapId>(a, 0), arg<TernAsicUtils::InstanceId>(a, 1),
                                 arg<EntryKey>(a, 2));
         });
       }},
      {{"revertHwEntry", {"logEntry"}},
       [](Util& u, int op, void* const* a, void* r) {
         return callOnly(op, [&] { out<Entry>(r) = u.revertHwEntry(arg<W>(a, 0)); });
       }},
      {{"mapToHwKey", {"entry", "unitId"}},
       [](Util& u, int op, void* const* a, void* r) {
         return callOnly(op, [&] {
           out<EntryKey>(r) =
               u.mapToHwKey(arg<typename Util::LogEntry>(a, 0), arg<Asic::UnitId>(a, 1));
         });
       }},
      {{"factory",
        {"utilKey", "hwTableManager", "mdbTableManager", "hwWriterStatus",
         "hwBulkDownloadErrConfig"}},
       [](Util&, int op, void* const* a, void* r) {
         if (op != Call) return int(NotApplicable);
         auto made = Util::create(arg<TernAsicUtils::UtilKey>(a, 0),
                                  arg<Ptr<TernAsicUtils::TableManager>>(a, 1),
                                  arg<Ptr<TernAsicUtils::HwWriterStatus>>(a, 3));
         return Inspect::opResEncRelNode(r, made.get());
       }},
      {{"handleInitialized"},
       [](Util& u, int op, void* const*, void*) {
         return callOnly(op, [&] { u.handleInitialized(); });
       }},
      {{"onDelete"},
       [](Util& u, int op, void* const*, void*) { return callOnly(op, [&] { u.onDelete(); }); }},
      // Declared for the host's type system; no operation applies to them.
      {{"translateToHwFormat_", {"logEntry"}},
       [](Util&, int, void* const*, void*) { return int(NotApplicable); }},
      {{"mapToHwKey_", {"entry", "unitId"}},
       [](Util&, int, void* const*, void*) { return int(NotApplicable); }},
  };
  static constexpr auto attributes = [] {
    std::array<Attribute, std::size(kDeclared)> a{};
    for (std::size_t i = 0; i < a.size(); ++i) a[i] = kDeclared[i].attribute;
    return a;
  }();

  static int inspectOperation(void* object, const FieldDescriptor& field, int op, void* const* args,
                              void* result) {
    auto& u = *static_cast<Util*>(static_cast<TernAsicUtils::UtilBase*>(object));
    for (const auto& d : kDeclared)
      if (std::strcmp(field.name, d.attribute.name) == 0) return d.operation(u, op, args, result);
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
    return {Util::kClassName, &inspectOperation, &genericIfConstructFromCtorArgs, attributes.data(),
            attributes.size()};
  }
};
}  // namespace Pavo
