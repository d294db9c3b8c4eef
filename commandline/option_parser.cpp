#include "commandline/option_parser.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

#include <nlohmann/json.hpp>

namespace commandline {

std::optional<double> realNumber(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long long> decimalNumber(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0' || errno == ERANGE)
        return std::nullopt;
    return value;
}

bool Arguments::given(const std::string& name) const {
    for (const auto& option : options)
        if (option.first == name)
            return true;
    return false;
}

Take text(std::string* target) {
    return [target](const std::string&, const std::string& value) { *target = value; };
}

Take appended(std::vector<std::string>* target) {
    return [target](const std::string&, const std::string& value) { target->push_back(value); };
}

std::string choiceList(const std::vector<std::string>& words) {
    std::string list;
    for (size_t k = 0; k < words.size(); ++k)
        list += (k == 0 ? "" : k + 1 == words.size() ? " or " : ", ") + words[k];
    return list;
}

OptionParser& OptionParser::flag(const std::string& name, bool* set) {
    options_.push_back(
        {name, false, [set](const std::string&, const std::string&) { *set = true; }});
    return *this;
}

OptionParser& OptionParser::valued(const std::string& name, Take take) {
    options_.push_back({name, true, std::move(take)});
    return *this;
}

const OptionParser::Option* OptionParser::find(const std::string& name) const {
    for (const Option& option : options_)
        if (option.name == name)
            return &option;
    return nullptr;
}

bool OptionParser::looksLikeOption(const std::string& argument) const {
    if (syntax_.singleDash)
        return argument.size() > 1 && argument[0] == '-';
    return argument.size() > 1 && argument[0] == '-' && argument[1] == '-';
}

Arguments OptionParser::split(const std::vector<std::string>& args) const {
    Arguments out;
    bool optionsEnded = false;
    for (size_t k = 0; k < args.size(); ++k) {
        const std::string& argument = args[k];
        if (optionsEnded || !looksLikeOption(argument)) {
            out.positional.push_back(argument);
        } else if (syntax_.doubleDashEnds && argument == "--") {
            optionsEnded = true;
        } else if (const Option* option = find(argument)) {
            if (option->valued && k + 1 == args.size())
                throw UsageError{argument + " needs a value"};
            out.options.emplace_back(argument, option->valued ? args[++k] : "");
        } else {
            throw UsageError{"unknown option " + argument};
        }
    }
    return out;
}

void OptionParser::take(const Arguments& arguments) const {
    for (const auto& [name, value] : arguments.options)
        find(name)->take(name, value);
}

bool jsonAsked(const std::vector<std::string>& args) {
    for (const std::string& argument : args) {
        if (argument == "--")
            return false;
        if (argument == "--json")
            return true;
    }
    return false;
}

std::string usageJson(int code, const std::string& problem, const std::string& usage) {
    nlohmann::ordered_json document = nlohmann::ordered_json::object();
    if (!problem.empty())
        document = {{"exitCode", code}, {"error", problem}};
    document["usage"] = usage;
    return document.dump(-1, ' ', true, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace commandline
