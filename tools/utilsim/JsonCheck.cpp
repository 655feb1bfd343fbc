#include "tools/utilsim/JsonCheck.h"

#include <fmt/format.h>

#include <vector>

#include "tools/utilsim/Input.h"

namespace Utilsim {
namespace {
// Raised by the parser callback: the same name twice in one object.
struct DuplicateKey {
  std::string key;
};

template <class Json>
std::string describeAny(const Json& v) {
  using T = typename Json::value_t;
  switch (v.type()) {
    case T::null:
      return "null";
    case T::boolean:
      return v.template get<bool>() ? "true" : "false";
    case T::string:
      // Formatted rather than concatenated: operator+ on a literal and a string trips a false
      // -Wrestrict warning of GCC 12, depending on what gets inlined around it.
      return fmt::format("\"{}\"", printable(v.template get_ref<const std::string&>(), 40));
    case T::number_integer:
      // The parser keeps "-0" as a signed zero, "0" as unsigned: quote it as written.
      return v.template get<std::int64_t>() == 0
                 ? "-0"
                 : fmt::format("{}", v.template get<std::int64_t>());
    case T::number_unsigned:
      return fmt::format("{}", v.template get<std::uint64_t>());
    case T::number_float:
      return fmt::format("{} (written with a fraction or exponent)", v.template get<double>());
    case T::object:
      return "an object";
    case T::array:
      return fmt::format("an array of {}", v.size());
    default:
      return "an unsupported value";
  }
}
}  // namespace

template <class Json>
std::optional<JsonError> parseJson(std::string_view text, Json& out) {
  if (const auto nul = text.find('\0'); nul != text.npos)
    return JsonError{"not valid JSON: a NUL byte (\\x00)", nul + 1};
  // The parser would skip a byte order mark; only the start of a file may hold one.
  if (text.substr(0, 3) == "\xef\xbb\xbf")
    return JsonError{"not valid JSON: a byte order mark (\\xef\\xbb\\xbf) before the value", 1};
  std::vector<std::vector<std::string>> names;  // of each object open, innermost last
  const typename Json::parser_callback_t noDuplicates =
      [&names](int, typename Json::parse_event_t event, Json& parsed) {
        using E = typename Json::parse_event_t;
        if (event == E::object_start) {
          names.emplace_back();
        } else if (event == E::object_end) {
          if (!names.empty()) names.pop_back();
        } else if (event == E::key && !names.empty()) {
          const auto& k = parsed.template get_ref<const std::string&>();
          for (const auto& seen : names.back())
            if (seen == k) throw DuplicateKey{k};
          names.back().push_back(k);
        }
        return true;
      };
  try {
    out = Json::parse(text.begin(), text.end(), noDuplicates);
  } catch (const DuplicateKey& d) {
    return JsonError{"field '" + printable(d.key, 40) + "' appears twice in one object", 0};
  } catch (const typename Json::parse_error& e) {
    return JsonError{"not valid JSON: " + printable(jsonExceptionText(e), 200), e.byte};
  } catch (const typename Json::exception& e) {
    return JsonError{"not valid JSON: " + printable(jsonExceptionText(e), 200), 0};
  }
  return std::nullopt;
}

template std::optional<JsonError> parseJson(std::string_view, nlohmann::json&);
template std::optional<JsonError> parseJson(std::string_view, nlohmann::ordered_json&);

std::string jsonExceptionText(const std::exception& e) {
  std::string text = e.what();
  if (text.rfind("[json.exception", 0) == 0) {
    if (const auto close = text.find("] "); close != std::string::npos)
      text = text.substr(close + 2);
  }
  if (text.rfind("parse error at ", 0) == 0) {
    if (const auto colon = text.find(": "); colon != std::string::npos)
      text = text.substr(colon + 2);
  }
  return text;
}

std::string describeJson(const nlohmann::json& v) { return describeAny(v); }
std::string describeJson(const nlohmann::ordered_json& v) { return describeAny(v); }

std::string integerRangeMessage(bool isInteger, const std::string& written, std::uint64_t max) {
  return isInteger ? fmt::format("{} is out of range (0 to {})", written, max)
                   : fmt::format("expected an integer from 0 to {}, got {}", max, written);
}

std::string pointerToken(std::string_view key) {
  std::string s;
  for (const char ch : key) {
    if (ch == '~')
      s += "~0";
    else if (ch == '/')
      s += "~1";
    else
      s += ch;
  }
  return s;
}

}  // namespace Utilsim
