// Containment of table-specific steps: a step that fails reaches the agent as its
// ordered-table exception, with a message naming the step and rendering its inputs. The
// message is built only after a failure.
#pragma once

#include <exception>
#include <functional>
#include <utility>

#include "host/Diag.h"
#include "host/Strep.h"
#include "host/Types.h"

namespace Asic {
enum class ExceptionHandlingMode : int { Rethrow = 0, ThrowOrderedTableException = 1 };

[[noreturn]] inline void handleKnownException(const std::exception& e, const Pavo::String& message,
                                              ExceptionHandlingMode mode,
                                              std::function<void()> handler) {
  if (mode == ExceptionHandlingMode::ThrowOrderedTableException)
    throwOrderedTableException(message, e.what());
  handler();
  throw;
}

// Runs body(args...) and returns its result. On failure, buildMessage() renders the message
// from the values it references, as they are at that moment.
// Inlined into its caller: the success path is then the body alone, with no call of its own.
template <class Body, class MessageBuilder, class... Args>
[[gnu::always_inline]] inline decltype(auto) throwIfException(Body&& body,
                                                              MessageBuilder&& buildMessage,
                                                              Args&&... args) {
  try {
    return std::forward<Body>(body)(std::forward<Args>(args)...);
  } catch (const std::exception& e) {
    std::function<void()> handler = [] {};
    handleKnownException(e, buildMessage(), ExceptionHandlingMode::ThrowOrderedTableException,
                         std::move(handler));
  } catch (...) {
    std::function<void()> handler = [] {};
    throwOrderedTableExceptionUnknown(buildMessage());
  }
}
}  // namespace Asic

namespace TernAsicUtils::detail {
// Renders a host value for a message slot.
template <class T>
Pavo::String strep(const T& v) {
  return QelPavo::Impl::valueToStrep(v);
}

// Renders a shadow key through HwShadowKey::toString(), and only when a trace prints it.
struct ShadowKeyText {
  HwShadowKey key;
  void strep(Pavo::StrepBuf& b) const {
    const auto text = key.toString();
    b.append(fmt::string_view(text));
  }
};
}  // namespace TernAsicUtils::detail
