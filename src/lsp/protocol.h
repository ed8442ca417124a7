// The Language Server Protocol's words that the server uses: error codes, the JSON form of
// positions and ranges, and an error a handler throws to answer a request with.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "lsp/document.h"

namespace linebasic::lsp {

using json = nlohmann::json;

namespace error {
inline constexpr int kParseError = -32700;
inline constexpr int kInvalidRequest = -32600;
inline constexpr int kMethodNotFound = -32601;
inline constexpr int kInvalidParams = -32602;
inline constexpr int kInternalError = -32603;
inline constexpr int kServerNotInitialized = -32002;
inline constexpr int kRequestFailed = -32803;
}  // namespace error

// Thrown by a request's handler: the request is answered with this error.
struct ResponseError : std::runtime_error {
  ResponseError(int code, const std::string& message) : std::runtime_error(message), code(code) {}
  int code;
};

// A count the client sends, such as a line: an integer, taken as 0 to INT_MAX (a number of
// another kind, converted, could overflow).
inline int countIn(const json& j, const char* key) {
  const json& value = j.at(key);
  if (!value.is_number_integer())
    throw ResponseError(error::kInvalidParams, "not a count: " + std::string(key));
  if (value.is_number_unsigned())
    return static_cast<int>(std::min<std::uint64_t>(value.get<std::uint64_t>(), INT_MAX));
  return static_cast<int>(std::clamp<std::int64_t>(value.get<std::int64_t>(), 0, INT_MAX));
}

inline void to_json(json& j, const Position& position) {
  j = {{"line", position.line}, {"character", position.character}};
}
inline void from_json(const json& j, Position& position) {
  position.line = countIn(j, "line");
  position.character = countIn(j, "character");
}
inline void to_json(json& j, const Range& range) {
  j = {{"start", range.start}, {"end", range.end}};
}
inline void from_json(const json& j, Range& range) {
  range.start = j.at("start").get<Position>();
  range.end = j.at("end").get<Position>();
}

// Writes a line of the server's log to standard error: standard output carries the protocol.
inline void logLine(const std::string& what) {
  std::fprintf(stderr, "linebasic-run --lsp: %s\n", what.c_str());
}

inline json location(const std::string& uri, const Range& range) {
  return {{"uri", uri}, {"range", range}};
}

// The kinds of symbol and the severity the server names.
inline constexpr int kSymbolFunction = 12;
inline constexpr int kSymbolVariable = 13;
inline constexpr int kSeverityWarning = 2;

}  // namespace linebasic::lsp
