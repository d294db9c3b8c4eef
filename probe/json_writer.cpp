#include "probe/json_writer.h"

#include <cmath>
#include <cstdio>

#include "probe/safe_text.h"

std::string jsonInt(int32_t value) {
    return std::to_string(value);
}

std::string jsonBool(bool value) {
    return value ? "true" : "false";
}

std::string jsonNumber(double value) {
    if (!std::isfinite(value))
        return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

std::string jsonArray(const std::vector<std::string>& values) {
    std::string text = "[";
    for (size_t k = 0; k < values.size(); ++k)
        text += (k == 0 ? "" : ",") + values[k];
    return text + "]";
}

JsonObject& JsonObject::add(const char* key, const std::string& valueText) {
    if (!members_.empty())
        members_ += ",";
    members_ += jsonString(key) + ":" + valueText;
    return *this;
}
