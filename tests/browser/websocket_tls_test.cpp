#include "browser/log_tail.h"
#include "browser/page_client.h"
#include "browser/websocket_server.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>

namespace velmor::browser {
namespace {

namespace ssl = boost::asio::ssl;

// A client context that trusts exactly the certificate inside the build's identity.
std::unique_ptr<ssl::context> clientTrustingTheBuiltIdentity() {
    std::string bytes = test::readFile(VELMOR_TEST_IDENTITY);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    PKCS12* p12 = d2i_PKCS12(nullptr, &data, static_cast<long>(bytes.size()));
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    EXPECT_EQ(PKCS12_parse(p12, VELMOR_IDENTITY_PASSPHRASE, &key, &certificate, nullptr), 1);
    auto context = std::make_unique<ssl::context>(ssl::context::tls_client);
    X509_STORE_add_cert(SSL_CTX_get_cert_store(context->native_handle()), certificate);
    context->set_verify_mode(ssl::verify_peer);
    X509_free(certificate);
    EVP_PKEY_free(key);
    PKCS12_free(p12);
    return context;
}

class BrowserSecureListener : public ::testing::Test {
protected:
    std::unique_ptr<WebSocketServer> started(const std::string& identityPath, bool forcePlain = false) {
        auto server = std::make_unique<WebSocketServer>(0, sessions, identityPath);
        EXPECT_TRUE(server->start(forcePlain));
        return server;
    }
    // A plain page is greeted on the port, so the listener serves ws://.
    void expectPlainService(const WebSocketServer& server) {
        EXPECT_FALSE(server.usesTls());
        test::PageClient client(server.boundPort());
        EXPECT_TRUE(sessions.getSession(client.sessionId()));
    }

    BrowserSessionManager sessions;
    test::TempHome home;
    test::LogTail log;
};

TEST_F(BrowserSecureListener, ServesWssWithTheBuiltLocalhostIdentity) {
    auto server = started(VELMOR_TEST_IDENTITY);
    EXPECT_TRUE(server->usesTls());
    auto trusting = clientTrustingTheBuiltIdentity();
    test::PageClient client(server->boundPort(), trusting.get());
    EXPECT_TRUE(sessions.getSession(client.sessionId()));
    EXPECT_TRUE(client.pingAnswered());
    EXPECT_TRUE(log.has("[ws] TLS identity loaded from " + std::string(VELMOR_TEST_IDENTITY)));
    EXPECT_TRUE(log.has("[ws] Port " + std::to_string(server->boundPort()) + ": Using TLS (wss://)"));
}

TEST_F(BrowserSecureListener, FallsBackToPlainWhenTheIdentityIsMissing) {
    std::string missing = home.path() + "/server.p12";
    auto server = started(missing);
    expectPlainService(*server);
    EXPECT_TRUE(log.has("[ws] No server.p12 found at " + missing));
    EXPECT_TRUE(log.has("[ws] Port " + std::to_string(server->boundPort()) + ": Using plain ws://"));
}

TEST_F(BrowserSecureListener, FallsBackToPlainWhenTheIdentityDoesNotImport) {
    std::string broken = home.path() + "/server.p12";
    test::writeFile(broken, "not a pkcs12 file");
    auto server = started(broken);
    expectPlainService(*server);
    EXPECT_FALSE(log.containing("[ERROR][ws] Failed to import PKCS12: ").empty());
}

TEST_F(BrowserSecureListener, TheForcedPlainListenerIgnoresTheIdentity) {
    auto server = started(VELMOR_TEST_IDENTITY, true);
    expectPlainService(*server);
}

}  // namespace
}  // namespace velmor::browser
