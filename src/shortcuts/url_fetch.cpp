#include "shortcuts/url_fetch.h"

#include <curl/curl.h>

namespace velmor::shortcuts {

namespace {

constexpr size_t kMaxBody = 16 * 1024 * 1024;

struct Body {
    std::string bytes;
    bool tooLarge = false;
};

size_t collect(char* data, size_t size, size_t count, void* target) {
    auto* body = static_cast<Body*>(target);
    size_t length = size * count;
    if (body->bytes.size() + length > kMaxBody) {
        body->tooLarge = true;
        return 0;  // ends the transfer
    }
    body->bytes.append(data, length);
    return length;
}

}  // namespace

Result<std::string> fetchUrl(const std::string& url) {
    if (!url.starts_with("http://") && !url.starts_with("https://"))
        return fail("cannot get the contents of '" + url + "': only http and https URLs are fetched");
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    CURL* curl = initialised ? curl_easy_init() : nullptr;
    if (!curl) return fail("cannot get the contents of " + url + ": the HTTP client is not available");
    Body body;
    char error[CURL_ERROR_SIZE] = "";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    CURLcode done = curl_easy_perform(curl);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(curl);
    if (body.tooLarge) return fail("the contents of " + url + " are larger than 16 MiB");
    if (done != CURLE_OK)
        return fail("cannot get the contents of " + url + ": " + (*error ? error : curl_easy_strerror(done)));
    if (status >= 400) return fail("getting " + url + " answered HTTP status " + std::to_string(status));
    return body.bytes;
}

}  // namespace velmor::shortcuts
