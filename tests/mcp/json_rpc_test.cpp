#include "mcp/json_rpc.h"
#include "base/version.h"
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
    // The tool answers `answer` when called as list_apps.
    json callTool(tools::ToolAnswer answer, json id = 7) {
        router.registry().handle("list_apps", [answer](const Arguments&) { return answer; });
        return call(json({{"jsonrpc", "2.0"}, {"id", id}, {"method", "tools/call"},
                          {"params", {{"name", "list_apps"}, {"arguments", json::object()}}}})
                        .dump());
    }
    tools::ToolRouter router;
};

// The client's revision when this server speaks it, else the latest; the server's version
// is the build's.
TEST_F(JsonRpc, InitializeNegotiatesTheRevisionAndAdvertisesToolsWithListChanged) {
    for (const char* version : {"2024-11-05", "2025-03-26", "2025-06-18", "2025-11-25"}) {
        json answer = call(json({{"jsonrpc", "2.0"}, {"id", 1}, {"method", "initialize"},
                                 {"params", {{"protocolVersion", version}, {"capabilities", json::object()}}}})
                               .dump());
        EXPECT_EQ(answer["result"]["protocolVersion"], version);
    }
    for (const char* params : {R"({"protocolVersion":"2025-01-01"})", R"({"protocolVersion":7})", "{}"}) {
        json answer = call(std::string(R"({"jsonrpc":"2.0","id":1,"method":"initialize","params":)") + params + "}");
        EXPECT_EQ(answer["result"]["protocolVersion"], "2025-11-25") << params;
        EXPECT_EQ(answer["id"], 1);
        EXPECT_EQ(answer["result"]["capabilities"]["tools"]["listChanged"], true);
        EXPECT_EQ(answer["result"]["serverInfo"], json({{"name", "velmor"}, {"version", kVersion}}));
    }
}

TEST_F(JsonRpc, PingAnswersAnEmptyResultAndNoNotificationOrClientResponseIsAnswered) {
    EXPECT_EQ(*handleRequest(router, R"({"jsonrpc":"2.0","id":"p1","method":"ping"})"),
              R"({"id":"p1","jsonrpc":"2.0","result":{}})");
    for (const char* silent : {R"({"jsonrpc":"2.0","method":"notifications/initialized"})",
                               R"({"jsonrpc":"2.0","method":"notifications/cancelled","params":{"requestId":3}})",
                               R"({"jsonrpc":"2.0","method":"notifications/never-heard-of"})",
                               R"({"method":"tools/list"})",  // without an id it is a notification
                               R"({"jsonrpc":"2.0","id":5,"result":{}})",
                               R"({"jsonrpc":"2.0","id":5,"error":{"code":1,"message":"no"}})"})
        EXPECT_FALSE(handleRequest(router, silent)) << silent;
}

// -32700 for text that is not JSON (no id can be read from it), -32600 for JSON that is no
// valid request, with its id whenever that is a usable one.
TEST_F(JsonRpc, MalformedAndInvalidRequestsAreAnsweredWithTheirCodesAndIds) {
    for (const char* unparsable : {"not json", "", R"({"jsonrpc":"2.0","id":4,"method":"ping")", "{\"id\":\"\xff\"}"}) {
        json answer = call(unparsable);
        EXPECT_EQ(answer["error"], json({{"code", -32700}, {"message", "Parse error"}})) << unparsable;
        EXPECT_TRUE(answer["id"].is_null());
        EXPECT_EQ(answer["jsonrpc"], "2.0");
    }
    struct Case {
        std::string body;
        json id;
    };
    for (const Case& c : std::vector<Case>{{R"({"jsonrpc":"2.0","id":3})", 3},
                                           {R"({"jsonrpc":"2.0","id":"x","method":7})", "x"},
                                           {R"({"id":3,"method":"ping"})", 3},
                                           {R"({"jsonrpc":"1.0","id":3,"method":"ping"})", 3},
                                           {R"({"jsonrpc":"2.0","id":3,"method":"ping","params":"p"})", 3},
                                           {R"({"jsonrpc":"2.0","id":null,"method":"ping"})", nullptr},
                                           {R"({"jsonrpc":"2.0","id":{"k":[1]},"method":"ping"})", nullptr},
                                           {R"({"jsonrpc":"2.0","id":true,"method":"ping"})", nullptr},
                                           {R"({"jsonrpc":"2.0","method":5})", nullptr},
                                           {"[]", nullptr},
                                           {R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])", nullptr},
                                           {"42", nullptr},
                                           {std::string(100, '[') + std::string(100, ']'), nullptr}}) {
        json answer = call(c.body);
        EXPECT_EQ(answer["error"]["code"], -32600) << c.body;
        EXPECT_EQ(answer["error"]["message"], "Invalid Request") << c.body;
        EXPECT_TRUE(answer["error"]["data"].is_string()) << c.body;
        EXPECT_EQ(answer["id"], c.id) << c.body;
    }
    EXPECT_EQ(call(R"({"jsonrpc":"2.0","id":[1],"method":"ping"})")["error"]["data"], "id must be a string or a number");
    EXPECT_EQ(call("[]")["error"]["data"], "batches are not supported");
}

TEST_F(JsonRpc, ABatchIsAnsweredMessageByMessageWhereTheTransportAllowsIt) {
    auto one = [this](std::string_view message) { return handleRequest(router, message); };
    EXPECT_EQ(*handleBatch(R"([{"jsonrpc":"2.0","id":1,"method":"ping"},{"jsonrpc":"2.0","method":"notifications/x"},)"
                           R"(7,{"jsonrpc":"2.0","id":"b","method":"nope"}])",
                           one),
              R"([{"id":1,"jsonrpc":"2.0","result":{}},)"
              R"({"error":{"code":-32600,"data":"not a JSON-RPC message","message":"Invalid Request"},"id":null,"jsonrpc":"2.0"},)"
              R"({"error":{"code":-32601,"message":"Method not found"},"id":"b","jsonrpc":"2.0"}])");
    EXPECT_FALSE(handleBatch(R"([{"jsonrpc":"2.0","method":"notifications/initialized"}])", one));
    EXPECT_EQ(json::parse(*handleBatch("[]", one))["error"]["code"], -32600);
    EXPECT_EQ(json::parse(*handleBatch("[", one))["error"]["code"], -32700);
}

TEST_F(JsonRpc, UnknownMethodsAreMethodNotFoundWithTheIdEchoedInItsOwnType) {
    for (const char* body : {R"({"jsonrpc":"2.0","id":3,"method":"resources/list"})",
                             R"({"jsonrpc":"2.0","id":3,"method":"Tools/List"})",
                             R"({"jsonrpc":"2.0","id":3,"method":"notifications/cancelled"})"}) {
        json answer = call(body);
        EXPECT_EQ(answer["error"], json({{"code", -32601}, {"message", "Method not found"}})) << body;
        EXPECT_EQ(answer["id"], 3);
    }
    EXPECT_EQ(call(R"({"jsonrpc":"2.0","id":"abc","method":"x"})")["id"], "abc");
    EXPECT_EQ(call(R"({"jsonrpc":"2.0","id":2.5,"method":"x"})")["id"], 2.5);
}

// A result is the text of its sorted compact JSON; only a string error marks it an error,
// an image becomes image content (a dictionary never does, whatever its keys), and what
// cannot be serialised answers a fixed text.
TEST_F(JsonRpc, ToolResultsBecomeTextErrorOrImageContent) {
    json answer = callTool(json{{"b", 1}, {"a", "x"}});
    EXPECT_EQ(answer["id"], 7);
    EXPECT_EQ(answer["result"], json({{"content", {{{"type", "text"}, {"text", R"({"a":"x","b":1})"}}}}}));

    json failed = callTool(json{{"error", "no active session"}});
    EXPECT_EQ(failed["result"], json({{"content", {{{"type", "text"}, {"text", "Error: no active session"}}}},
                                      {"isError", true}}));
    json numeric = callTool(json{{"error", 5}});
    EXPECT_EQ(numeric["result"], json({{"content", {{{"type", "text"}, {"text", R"({"error":5})"}}}}}));

    json image = callTool(tools::ToolImage{"iVBORw0KGgo="});
    EXPECT_EQ(image["result"], json({{"content", {{{"type", "image"}, {"data", "iVBORw0KGgo="}, {"mimeType", "image/png"}}}}}));
    json imageKey = callTool(json{{"__image__", "iVBORw0KGgo="}});
    EXPECT_EQ(imageKey["result"], json({{"content", {{{"type", "text"}, {"text", R"({"__image__":"iVBORw0KGgo="})"}}}}}));

    for (json unserialisable : {json({{"value", std::nan("")}}), json({{"text", std::string("\xff")}})})
        EXPECT_EQ(callTool(unserialisable)["result"]["content"][0]["text"], R"({"error":"json serialization failed"})");
}

TEST_F(JsonRpc, ToolsCallWithoutNameOrArgumentsStillReachesTheDispatcher) {
    json answer = call(R"({"jsonrpc":"2.0","id":1,"method":"tools/call"})");
    EXPECT_EQ(answer["result"]["content"][0]["text"], "Error: no active session");
    router.registry().handle("list_apps", [](const Arguments& args) { return json({{"seen", args.raw()}}); });
    json wrongArgs =
        call(R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"list_apps","arguments":[1]}})");
    EXPECT_EQ(wrongArgs["result"]["content"][0]["text"], R"({"seen":{}})");
}

}  // namespace
}  // namespace velmor::mcp
