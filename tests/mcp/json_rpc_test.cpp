#include "mcp/json_rpc.h"
#include "tools/tool_router.h"

#include <cmath>
#include <gtest/gtest.h>

namespace velmor::mcp {
namespace {

using nlohmann::json;

class JsonRpc : public ::testing::Test {
protected:
    json call(const std::string& body) {
        auto text = handleRequest(router, body);
        if (!text) return json();
        return json::parse(*text);
    }
    // The tool answers `result` when called as list_apps.
    json callTool(json result, json id = 7) {
        router.setHandler("list_apps", [result](const tools::Arguments&) { return result; });
        return call(json({{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                          {"params", {{"name", "list_apps"}, {"arguments", json::object()}}}})
                        .dump());
    }
    tools::ToolRouter router;
};

TEST_F(JsonRpc, InitializeAdvertisesToolsWithListChanged) {
    json answer = call(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":{"protocolVersion":"2025-01-01"}})");
    EXPECT_EQ(answer["id"], 1);
    EXPECT_EQ(answer["jsonrpc"], "2.0");
    EXPECT_EQ(answer["result"]["protocolVersion"], "2024-11-05");
    EXPECT_EQ(answer["result"]["capabilities"]["tools"]["listChanged"], true);
    EXPECT_EQ(answer["result"]["serverInfo"], json({{"name", "velmor"}, {"version", "1.0.0"}}));
}

TEST_F(JsonRpc, PingAnswersAnEmptyResult) {
    EXPECT_EQ(call(R"({"jsonrpc":"2.0","id":"p","method":"ping"})"), json({{"jsonrpc", "2.0"}, {"id", "p"}, {"result", json::object()}}));
}

TEST_F(JsonRpc, NotificationsAndNonObjectBodiesGetNoAnswer) {
    EXPECT_FALSE(handleRequest(router, R"({"jsonrpc":"2.0","method":"notifications/initialized"})"));
    EXPECT_FALSE(handleRequest(router, R"([{"id":1,"method":"tools/list"}])"));
    EXPECT_FALSE(handleRequest(router, "not json"));
    EXPECT_FALSE(handleRequest(router, ""));
}

TEST_F(JsonRpc, UnknownOrMissingMethodsAreMethodNotFoundWithTheIdEchoedInItsOwnType) {
    for (const char* body : {R"({"id":3,"method":"resources/list"})", R"({"id":3})", R"({"id":3,"method":7})",
                             R"({"id":3,"method":"notifications/cancelled"})", R"({"id":3,"method":"Tools/List"})"}) {
        json answer = call(body);
        EXPECT_EQ(answer["error"], json({{"code", -32601}, {"message", "Method not found"}})) << body;
        EXPECT_EQ(answer["id"], 3);
    }
    EXPECT_EQ(call(R"({"id":"abc","method":"resources/list"})")["id"], "abc");
    EXPECT_TRUE(call(R"({"method":"resources/list"})")["id"].is_null());
    EXPECT_EQ(call(R"({"id":{"k":[1]},"method":"resources/list"})")["id"], json({{"k", {1}}}));
}

// A result is the text of its sorted compact JSON; only a string error marks it an error,
// an image result keeps only the image, and what cannot be serialised answers a fixed text.
TEST_F(JsonRpc, ToolResultsBecomeTextErrorOrImageContent) {
    json answer = callTool({{"b", 1}, {"a", "x"}});
    EXPECT_EQ(answer["id"], 7);
    EXPECT_EQ(answer["result"], json({{"content", {{{"type", "text"}, {"text", R"({"a":"x","b":1})"}}}}}));

    json failed = callTool({{"error", "no active session"}});
    EXPECT_EQ(failed["result"], json({{"content", {{{"type", "text"}, {"text", "Error: no active session"}}}},
                                      {"isError", true}}));
    json numeric = callTool({{"error", 5}});
    EXPECT_EQ(numeric["result"], json({{"content", {{{"type", "text"}, {"text", R"({"error":5})"}}}}}));

    json image = callTool({{"__image__", "iVBORw0KGgo="}, {"error", "ignored"}, {"width", 3}});
    EXPECT_EQ(image["result"], json({{"content", {{{"type", "image"}, {"data", "iVBORw0KGgo="}, {"mimeType", "image/png"}}}}}));

    for (json unserialisable : {json({{"value", std::nan("")}}), json({{"text", std::string("\xff")}})})
        EXPECT_EQ(callTool(unserialisable)["result"]["content"][0]["text"], R"({"error":"json serialization failed"})");
}

TEST_F(JsonRpc, ToolsCallWithoutNameOrArgumentsStillReachesTheDispatcher) {
    json answer = call(R"({"id":1,"method":"tools/call"})");
    EXPECT_EQ(answer["result"]["content"][0]["text"], "Error: no active session");
    router.setHandler("list_apps", [](const tools::Arguments& args) { return json({{"seen", args.raw()}}); });
    json wrongArgs = call(R"({"id":1,"method":"tools/call","params":{"name":"list_apps","arguments":[1]}})");
    EXPECT_EQ(wrongArgs["result"]["content"][0]["text"], R"({"seen":{}})");
}

}  // namespace
}  // namespace velmor::mcp
