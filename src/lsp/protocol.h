// The Language Server Protocol's words that the server uses: error codes, the JSON form of
// positions and ranges, and an error a handler throws to answer a request with.
#pragma once

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

inline void to_json(json& j, const Position& position) {
  j = {{"line", position.line}, {"character", position.character}};
}
inline void from_json(const json& j, Position& position) {
  position.line = j.at("line").get<int>();
  position.character = j.at("character").get<int>();
}
inline void to_json(json& j, const Range& range) {
  j = {{"start", range.start}, {"end", range.end}};
}
inline void from_json(const json& j, Range& range) {
  range.start = j.at("start").get<Position>();
  range.end = j.at("end").get<Position>();
}

inline json location(const std::string& uri, const Range& range) {
  return {{"uri", uri}, {"range", range}};
}

// The kinds of symbol and the severity the server names.
inline constexpr int kSymbolFunction = 12;
inline constexpr int kSymbolVariable = 13;
inline constexpr int kSeverityWarning = 2;

}  // namespace linebasic::lsp
