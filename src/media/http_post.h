#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "base/result.h"

namespace velmor::media {

// One header of a request: `name: scheme value`. The name and the scheme (an
// authorisation scheme such as "Bearer ", or nothing) are the program's own; the value may
// come from the user (an API key) and is checked before anything is sent.
struct HttpHeader {
    std::string name;
    std::string scheme;
    std::string value;
};

struct HttpResponse {
    long status = 0;
    std::string body;
};

// POSTs a JSON body and waits for the whole answer (at most `timeout`). The error is the
// transport's own description (refused connection, time-out, oversized answer), or says
// which header value could not be sent (checkHeaderValue), in which case nothing was sent;
// any HTTP status counts as a response.
Result<HttpResponse> postJson(const std::string& url, const std::vector<HttpHeader>& headers,
                              const std::string& body, std::chrono::milliseconds timeout = std::chrono::seconds(30));

// `text` made safe for a URL path segment or query value.
std::string percentEncode(const std::string& text);

}  // namespace velmor::media
