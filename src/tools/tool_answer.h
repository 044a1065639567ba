#pragma once

#include "base/arguments.h"

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <variant>

namespace velmor::tools {

// A picture a tool answers with: a PNG, base64-encoded as MCP carries it.
struct ToolImage {
    std::string pngBase64;
};

// What a tool call answers: a result dictionary, or an image. Only a tool of Velmor's own
// makes an image: no dictionary, whatever keys a page or shortcut puts in it, becomes one.
class ToolAnswer {
public:
    ToolAnswer(nlohmann::json result) : answer_(std::move(result)) {}
    ToolAnswer(ToolImage image) : answer_(std::move(image)) {}

    // The image answered; null for a result dictionary.
    const ToolImage* image() const { return std::get_if<ToolImage>(&answer_); }
    // The result dictionary; an image answer has none (throws std::bad_variant_access).
    const nlohmann::json& result() const& { return std::get<nlohmann::json>(answer_); }
    nlohmann::json result() && { return std::get<nlohmann::json>(std::move(answer_)); }

    // A result dictionary that reports a failure (see isFailure); an image never does.
    bool failed() const { return !image() && isFailure(result()); }

private:
    std::variant<nlohmann::json, ToolImage> answer_;
};

}  // namespace velmor::tools
