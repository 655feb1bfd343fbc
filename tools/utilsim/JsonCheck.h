// What every reader of JSON input in utilsim shares: one strict parse and the texts of its
// errors. Strict: the JSON parser takes a NUL byte for the end of its input and keeps the last
// of two members of the same name; both would drop what the user wrote without a word.
#pragma once

#include <cstddef>
#include <exception>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace Utilsim {

struct JsonError {
  std::string message;   // "not valid JSON: ...", or a member given twice
  std::size_t byte = 0;  // 1-based offset in the text where the parser stopped; 0: none
};

// Parses the whole text; on an error `out` is unspecified.
template <class Json>
std::optional<JsonError> parseJson(std::string_view text, Json& out);

// The parser's message without its exception id and position (callers give the place).
std::string jsonExceptionText(const std::exception& e);

// A value as a message quotes it: strings in quotes, numbers with a fraction or exponent
// said to be so, containers by their size.
std::string describeJson(const nlohmann::json& v);
std::string describeJson(const nlohmann::ordered_json& v);

// The message for a value that should be an integer from 0 to max: out of range when it is
// an integer (`written` as the text showed it), not an integer otherwise.
std::string integerRangeMessage(bool isInteger, const std::string& written, std::uint64_t max);

// A member name as a token of a JSON pointer ('~' and '/' escaped).
std::string pointerToken(std::string_view key);

}  // namespace Utilsim
