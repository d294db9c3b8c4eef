// One way for the probe and the measurement to declare a command's options
// and read its arguments: flags, options with a value, and the positional
// arguments apart. The program words its own problems; the parser only
// refuses what no declaration takes.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace commandline {

// A command line that cannot be followed: the program prints the problem
// with its usage and exits with its own usage code.
struct UsageError {
    std::string problem;
};

// The whole text as a finite number, or nothing.
std::optional<double> realNumber(const std::string& text);
// The whole text as a decimal integer, or nothing.
std::optional<long long> decimalNumber(const std::string& text);

// How a program tells its options from the other arguments.
struct Syntax {
    // "-x" is an option as "--x" is; otherwise a single dash begins a
    // positional argument (a negative number, a driver's odd name).
    bool singleDash = false;
    // "--" ends the options, so that a name may begin with a dash.
    bool doubleDashEnds = false;
};

// The arguments as given: the positional ones, and the options by name with
// their values, in order.
struct Arguments {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;
    bool given(const std::string& name) const;
};

// Takes one option's value; throws UsageError for a value it cannot take.
using Take = std::function<void(const std::string& option, const std::string& value)>;

// The value as it stands.
Take text(std::string* target);
// Each time the option is given, one more value: a repeatable option.
Take appended(std::vector<std::string>* target);

// A command's options, one declaration each.
class OptionParser {
  public:
    explicit OptionParser(Syntax syntax = {}) : syntax_(syntax) {}

    OptionParser& flag(const std::string& name, bool* set);
    OptionParser& valued(const std::string& name, Take take);

    // Refuses an unknown option and one without its value; takes no value
    // yet, so that the program can look at the positional arguments first.
    Arguments split(const std::vector<std::string>& args) const;
    // Every option's value taken, in the order given.
    void take(const Arguments& arguments) const;

  private:
    struct Option {
        std::string name;
        bool valued;
        Take take;
    };
    const Option* find(const std::string& name) const;
    bool looksLikeOption(const std::string& argument) const;

    Syntax syntax_;
    std::vector<Option> options_;
};

// "--json" among the options, before any "--": a script wants every answer,
// usage errors and help too, as a JSON document.
bool jsonAsked(const std::vector<std::string>& args);

// {"exitCode": code, "error": problem, "usage": usage} on one line; help
// (no problem) is the usage alone.
std::string usageJson(int code, const std::string& problem, const std::string& usage);

// "a, b or c".
std::string choiceList(const std::vector<std::string>& words);

// One of a few words ("octave", "third") or numbers ("3", "6"), each standing
// for a value; any other is refused as "--x takes a, b or c, not "d"".
template <typename T> Take choice(std::vector<std::pair<std::string, T>> choices, T* target) {
    return [choices, target](const std::string& option, const std::string& value) {
        std::vector<std::string> words;
        for (const auto& [word, meaning] : choices) {
            if (word == value) {
                *target = meaning;
                return;
            }
            words.push_back(word);
        }
        throw UsageError{option + " takes " + choiceList(words) + ", not \"" + value + "\""};
    };
}

} // namespace commandline
