#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "base/result.h"

namespace velmor::media {

struct HttpResponse {
    long status = 0;
    std::string body;
};

// POSTs a JSON body and waits for the whole answer (at most `timeout`). The error is the
// transport's own description (refused connection, time-out, oversized answer); any HTTP
// status counts as a response.
Result<HttpResponse> postJson(const std::string& url, const std::vector<std::string>& headers,
                              const std::string& body, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// `text` made safe for a URL path segment or query value.
std::string percentEncode(const std::string& text);

}  // namespace velmor::media
