// The JSON documents of the probe and the measurement. ordered_json keeps the
// fields in the documented order; the text is ASCII whatever a driver gave:
// bytes that are not UTF-8 are replaced (U+FFFD), rather than failing the
// whole document, and everything past ASCII is escaped.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::ordered_json;

// Compact unless an indent is given.
inline std::string jsonText(const Json& document, int indent = -1) {
    return document.dump(indent, ' ', true, Json::error_handler_t::replace);
}

// Each item as JSON, in order.
template <typename Items, typename ToJson> Json jsonArray(const Items& items, ToJson toJson) {
    Json array = Json::array();
    for (const auto& item : items)
        array.push_back(toJson(item));
    return array;
}

// Empty text has nothing to say: null.
inline Json textOrNull(const std::string& text) {
    return text.empty() ? Json() : Json(text);
}
