#include "browser/page_origin.h"

#include <gtest/gtest.h>

namespace velmor::browser {
namespace {

// A page blocked by a dialog cannot resolve a link itself; Velmor must reach the same place.
TEST(ResolvedUrl, LeadsWhereThePageWouldHaveGone) {
    const std::string base = "http://127.0.0.1:8080/shop/cart/view.html?tab=2#top";
    EXPECT_EQ(resolvedUrl(base, "https://example.com/x"), "https://example.com/x");
    EXPECT_EQ(resolvedUrl(base, "about:blank"), "about:blank");
    EXPECT_EQ(resolvedUrl(base, "//cdn.test/a.js"), "http://cdn.test/a.js");
    EXPECT_EQ(resolvedUrl(base, "/login?next=/"), "http://127.0.0.1:8080/login?next=/");
    EXPECT_EQ(resolvedUrl(base, "?tab=3"), "http://127.0.0.1:8080/shop/cart/view.html?tab=3");
    EXPECT_EQ(resolvedUrl(base, "#bottom"), "http://127.0.0.1:8080/shop/cart/view.html?tab=2#bottom");
    EXPECT_EQ(resolvedUrl(base, "pay.html"), "http://127.0.0.1:8080/shop/cart/pay.html");
    EXPECT_EQ(resolvedUrl(base, "./pay.html?x=1#y"), "http://127.0.0.1:8080/shop/cart/pay.html?x=1#y");
    EXPECT_EQ(resolvedUrl(base, "../../../../up.html"), "http://127.0.0.1:8080/up.html");
    EXPECT_EQ(resolvedUrl(base, "../"), "http://127.0.0.1:8080/shop/");
    EXPECT_EQ(resolvedUrl("http://host.test", "a"), "http://host.test/a");
    EXPECT_EQ(resolvedUrl(base, ""), "http://127.0.0.1:8080/shop/cart/view.html?tab=2");
}

}  // namespace
}  // namespace velmor::browser
