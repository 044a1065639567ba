#include "media/http_post.h"

#include "base/call_context.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

#include "base/header_value.h"

namespace velmor::media {

namespace {

// Audio for one line is a few hundred kilobytes; anything past this is not an answer.
constexpr size_t kMaxResponse = 64 << 20;

void initialiseCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t appendBody(char* data, size_t size, size_t count, void* target) {
    auto* body = static_cast<std::string*>(target);
    size_t length = size * count;
    if (body->size() + length > kMaxResponse) return 0;  // aborts the transfer
    body->append(data, length);
    return length;
}

// Called by curl while the transfer runs (at least once a second): a cancelled call's
// request is abandoned.
int stopWhenCancelled(void* call, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<const CallContext*>(call)->cancelled() ? 1 : 0;
}

struct EasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

Result<HttpResponse> postJson(const std::string& url, const std::vector<HttpHeader>& headers,
                              const std::string& body, std::chrono::milliseconds timeout) {
    for (const auto& header : headers)
        if (auto sendable = checkHeaderValue(header.value); !sendable)
            return fail("the " + header.name + " header " + sendable.error() + "; nothing was sent");
    initialiseCurlOnce();
    std::unique_ptr<CURL, EasyDeleter> handle(curl_easy_init());
    if (!handle) return fail("cannot create an HTTP request");
    std::unique_ptr<curl_slist, ListDeleter> list;
    auto addHeader = [&list](const std::string& header) {
        curl_slist* extended = curl_slist_append(list.get(), header.c_str());
        if (extended) {
            list.release();
            list.reset(extended);
        }
    };
    addHeader("Content-Type: application/json");
    // Without this curl waits for "100 Continue" before sending longer bodies.
    addHeader("Expect:");
    for (const auto& header : headers) addHeader(header.name + ": " + header.scheme + header.value);

    HttpResponse response;
    CURL* curl = handle.get();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(timeout.count()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list.get());
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response.body);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, stopWhenCancelled);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<CallContext*>(&currentCall()));
    CURLcode code = curl_easy_perform(curl);
    if (code == CURLE_ABORTED_BY_CALLBACK) return fail("the request was cancelled");
    if (code == CURLE_WRITE_ERROR) return fail("the response is larger than " + std::to_string(kMaxResponse) + " bytes");
    if (code != CURLE_OK) return fail(curl_easy_strerror(code));
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &response.status);
    return response;
}

std::string percentEncode(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            encoded += static_cast<char>(c);
        } else {
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 15];
        }
    }
    return encoded;
}

}  // namespace velmor::media
