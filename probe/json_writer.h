// A JSON document composed from its values' texts: small enough for the
// probe's reports, and valid whatever a driver gave (see safe_text.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

std::string jsonInt(int32_t value);
std::string jsonBool(bool value);
// null for a value JSON cannot hold (NaN, infinity).
std::string jsonNumber(double value);
std::string jsonArray(const std::vector<std::string>& values);

class JsonObject {
  public:
    JsonObject& add(const char* key, const std::string& valueText);
    std::string text() const { return "{" + members_ + "}"; }

  private:
    std::string members_;
};
