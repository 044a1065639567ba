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

TEST_F(JsonRpc, IdsAreEchoedInTheirOwnType) {
    auto text = handleRequest(router, R"({"id":42,"method":"tools/list"})");
    ASSERT_TRUE(text);
    EXPECT_TRUE(text->starts_with(R"({"id":42,"jsonrpc":"2.0","result":)")) << text->substr(0, 60);
    EXPECT_EQ(call(R"({"id":"abc","method":"ping"})")["id"], "abc");
    EXPECT_TRUE(call(R"({"method":"ping"})")["id"].is_null());
    EXPECT_EQ(call(R"({"id":{"k":[1]},"method":"ping"})")["id"], json({{"k", {1}}}));
}

TEST_F(JsonRpc, NotificationsAndNonObjectBodiesGetNoAnswer) {
    EXPECT_FALSE(handleRequest(router, R"({"jsonrpc":"2.0","method":"notifications/initialized"})"));
    EXPECT_FALSE(handleRequest(router, R"([{"id":1,"method":"tools/list"}])"));
    EXPECT_FALSE(handleRequest(router, "not json"));
    EXPECT_FALSE(handleRequest(router, ""));
}

TEST_F(JsonRpc, UnknownOrMissingMethodsAreMethodNotFound) {
    for (const char* body : {R"({"id":3,"method":"ping"})", R"({"id":3})", R"({"id":3,"method":7})",
                             R"({"id":3,"method":"notifications/cancelled"})", R"({"id":3,"method":"Tools/List"})"}) {
        json answer = call(body);
        EXPECT_EQ(answer["error"], json({{"code", -32601}, {"message", "Method not found"}})) << body;
    }
}

TEST_F(JsonRpc, ToolResultsAreTextOfTheirSortedCompactJson) {
    json answer = callTool({{"b", 1}, {"a", "x"}});
    EXPECT_EQ(answer["id"], 7);
    EXPECT_EQ(answer["result"]["content"], json::array({{{"type", "text"}, {"text", R"({"a":"x","b":1})"}}}));
    EXPECT_FALSE(answer["result"].contains("isError"));
}

TEST_F(JsonRpc, AStringErrorBecomesAnErrorResultAndOtherErrorsDoNot) {
    json failed = callTool({{"error", "no active session"}});
    EXPECT_EQ(failed["result"]["content"][0]["text"], "Error: no active session");
    EXPECT_EQ(failed["result"]["isError"], true);

    json numeric = callTool({{"error", 5}});
    EXPECT_EQ(numeric["result"]["content"][0]["text"], R"({"error":5})");
    EXPECT_FALSE(numeric["result"].contains("isError"));
}

TEST_F(JsonRpc, AnImageResultKeepsOnlyTheImage) {
    json answer = callTool({{"__image__", "iVBORw0KGgo="}, {"error", "ignored"}, {"width", 3}});
    EXPECT_EQ(answer["result"], json({{"content", {{{"type", "image"}, {"data", "iVBORw0KGgo="}, {"mimeType", "image/png"}}}}}));
}

TEST_F(JsonRpc, UnserialisableResultsAnswerTheFixedFallbackText) {
    json answer = callTool({{"value", std::nan("")}});
    EXPECT_EQ(answer["result"]["content"][0]["text"], R"({"error":"json serialization failed"})");
    json invalidUtf8 = callTool({{"text", std::string("\xff")}});
    EXPECT_EQ(invalidUtf8["result"]["content"][0]["text"], R"({"error":"json serialization failed"})");
}

TEST_F(JsonRpc, ToolsCallWithoutNameOrArgumentsStillReachesTheDispatcher) {
    json answer = call(R"({"id":1,"method":"tools/call"})");
    EXPECT_EQ(answer["result"]["content"][0]["text"], "Error: no active session");
    router.setHandler("list_apps", [](const tools::Arguments& args) { return json({{"seen", args.raw()}}); });
    json wrongArgs = call(R"({"id":1,"method":"tools/call","params":{"name":"list_apps","arguments":[1]}})");
    EXPECT_EQ(wrongArgs["result"]["content"][0]["text"], R"({"seen":{}})");
}

// A router with one tool of every dynamic family.
struct OneOfEach : tools::ElementToolFamily, tools::BrowserToolFamily, tools::ShortcutFamily {
    std::vector<tools::ElementTool> elementTools() override { return {{"fill_name", "fill", "Fill \"Name\""}}; }
    json performAction(const std::string&, const json&) override { return {}; }
    json allBrowserTools() override { return json::array({{{"name", "agent"}, {"defer_loading", true}}}); }
    json allWebTools() override { return json::array({{{"name", "click_web"}, {"description", "ünï"}}}); }
    bool hasTool(const std::string&) override { return false; }
    json callBrowserTool(const std::string&, const json&) override { return {}; }
    std::optional<tools::WebToolTarget> getWebTool(const std::string&) override { return std::nullopt; }
    json executeInActiveBrowser(const tools::WebToolTarget&, const std::optional<std::string>&) override { return {}; }
    json listShortcuts() override { return {{"shortcuts", {"Morning"}}}; }
    json runShortcut(const std::string&, const std::optional<std::string>&) override { return {}; }
};

TEST(ToolsList, TheResponseTextIsTheSerialisedEnvelopeOfTheWholeCatalogue) {
    auto families = std::make_shared<OneOfEach>();
    tools::ToolRouter router({families, families, families, nullptr});
    for (json id : {json(1), json("x"), json(nullptr), json({{"a", {1, "b"}}})}) {
        json request = {{"method", "tools/list"}};
        if (!id.is_null()) request["id"] = id;
        EXPECT_EQ(handleRequest(router, request.dump()), jsonRpc(id, {{"tools", router.allTools()}}));
    }
    EXPECT_EQ(router.allTools().size(), 44u);
}

TEST_F(JsonRpc, ToolsListReturnsTheCatalogue) {
    json answer = call(R"({"id":1,"method":"tools/list","params":{"cursor":"x"}})");
    ASSERT_EQ(answer["result"]["tools"].size(), 40u);
    EXPECT_EQ(answer["result"]["tools"][0]["name"], "session_start");
}

}  // namespace
}  // namespace velmor::mcp
