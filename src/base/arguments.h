#pragma once

#include "base/error_result.h"
#include "base/json_fields.h"
#include "base/result.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmor {

// Typed reading of a tool call's arguments. Every reader answers nothing when the key is
// missing or holds a value of another JSON type. A fixed tool's handler only meets the
// first case: the router refuses arguments of the wrong type before it runs
// (checkArgumentTypes below).
class Arguments {
public:
    explicit Arguments(const nlohmann::json& args);

    std::optional<std::string> string(const std::string& key) const;
    // A number that is exactly a whole number within 64 bits (3 and 3.0 are; 3.5 is not).
    std::optional<int64_t> integer(const std::string& key) const;
    std::optional<double> real(const std::string& key) const;
    std::optional<bool> boolean(const std::string& key) const;
    // An array whose every element is a string.
    std::optional<std::vector<std::string>> stringArray(const std::string& key) const;
    // A string as it is, or a non-empty array of strings as its JSON text (a page script
    // reads either).
    std::optional<std::string> stringOrList(const std::string& key) const;
    // The array or object itself; null when missing or of another type.
    const nlohmann::json* array(const std::string& key) const;
    const nlohmann::json* object(const std::string& key) const;

    // The arguments as received, for recording and for passing on unchanged.
    const nlohmann::json& raw() const { return args_; }

private:
    const nlohmann::json* find(const std::string& key) const;

    const nlohmann::json& args_;
};

// Whether every argument in `args` has the JSON type `inputSchema` declares for it; the first
// that does not fails as "'x' must be an integer". A missing or null argument is not
// checked here: the tool's own "missing 'x'" answer covers it. Integers may be written as
// whole numbers with a fraction part of zero (3.0), as the readers above take them.
Result<void> checkArgumentTypes(const nlohmann::json& args, const nlohmann::json& inputSchema);

// The answer of an operation below the tools: its value, or its failure as errorResult.
nlohmann::json answerOf(Result<nlohmann::json> result);
// A result that reports a failure: one with a string under "error". Failed actions are
// never recorded into a flow.
bool isFailure(const nlohmann::json& result);

}  // namespace velmor
