// The probe's JSON documents. ordered_json keeps the fields in the order
// docs/probe.md lists them; the text is ASCII whatever a driver gave: bytes
// that are not UTF-8 are replaced (U+FFFD), everything past ASCII escaped.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

inline std::string jsonText(const Json& document) {
    return document.dump(-1, ' ', true, Json::error_handler_t::replace);
}

// Empty text has nothing to say: null.
inline Json textOrNull(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}
