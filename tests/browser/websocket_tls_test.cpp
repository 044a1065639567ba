#include "browser/log_tail.h"
#include "browser/page_client.h"
#include "browser/tls_identity.h"
#include "browser/websocket_server.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>
#include <openssl/pkcs12.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

namespace velmor::browser {
namespace {

namespace ssl = boost::asio::ssl;

// The certificate inside a generated identity; the caller frees it.
X509* certificateIn(const std::string& path) {
    std::string bytes = test::readFile(path);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    PKCS12* p12 = d2i_PKCS12(nullptr, &data, static_cast<long>(bytes.size()));
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    EXPECT_EQ(PKCS12_parse(p12, "qarnel", &key, &certificate, nullptr), 1);
    EVP_PKEY_free(key);
    PKCS12_free(p12);
    return certificate;
}

// A client context that trusts exactly the certificate inside the identity at `path`.
std::unique_ptr<ssl::context> clientTrusting(const std::string& path) {
    X509* certificate = certificateIn(path);
    auto context = std::make_unique<ssl::context>(ssl::context::tls_client);
    X509_STORE_add_cert(SSL_CTX_get_cert_store(context->native_handle()), certificate);
    context->set_verify_mode(ssl::verify_peer);
    X509_free(certificate);
    return context;
}

class BrowserSecureListener : public ::testing::Test {
protected:
    BrowserSessionManager sessions;
    test::TempHome home;
    test::LogTail log;
    std::string identity = home.path() + "/.local/share/velmor/server.p12";
};

// The identity is the user's own: a leaf certificate nobody can mint others with, for
// localhost only, readable by the user alone.
TEST_F(BrowserSecureListener, GeneratesAPrivateLeafIdentityOnceAndServesWssWithIt) {
    ASSERT_TRUE(ensureTlsIdentity(identity));
    struct stat file {}, folder {};
    ASSERT_EQ(::stat(identity.c_str(), &file), 0);
    ASSERT_EQ(::stat((home.path() + "/.local/share/velmor").c_str(), &folder), 0);
    EXPECT_EQ(file.st_mode & 0777, 0600u);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    X509* certificate = certificateIn(identity);
    ASSERT_TRUE(certificate);
    EXPECT_EQ(X509_check_ca(certificate), 0) << "CA:FALSE";
    BASIC_CONSTRAINTS* constraints =
        static_cast<BASIC_CONSTRAINTS*>(X509_get_ext_d2i(certificate, NID_basic_constraints, nullptr, nullptr));
    ASSERT_TRUE(constraints);
    EXPECT_FALSE(constraints->ca);
    BASIC_CONSTRAINTS_free(constraints);
    EXPECT_EQ(X509_get_extended_key_usage(certificate), static_cast<uint32_t>(XKU_SSL_SERVER));
    EXPECT_EQ(X509_check_host(certificate, "localhost", 0, 0, nullptr), 1);
    EXPECT_EQ(X509_check_ip_asc(certificate, "127.0.0.1", 0), 1);
    EXPECT_NE(X509_check_host(certificate, "example.com", 0, 0, nullptr), 1);
    X509_free(certificate);

    std::string generated = test::readFile(identity);
    ASSERT_TRUE(ensureTlsIdentity(identity));
    EXPECT_EQ(test::readFile(identity), generated) << "kept from the first start on";

    auto server = std::make_unique<WebSocketServer>(0, sessions, identity);
    ASSERT_TRUE(server->start(false));
    EXPECT_TRUE(server->usesTls());
    auto trusting = clientTrusting(identity);
    test::PageClient client(server->boundPort(), trusting.get());
    EXPECT_TRUE(sessions.agents().session(client.sessionId()));
    EXPECT_TRUE(client.pingAnswered());
    EXPECT_TRUE(log.has("[ws] Generated a TLS identity for localhost at " + identity));
    EXPECT_TRUE(log.has("[ws] TLS identity loaded from " + identity));
    EXPECT_TRUE(log.has("[ws] Port " + std::to_string(server->boundPort()) + ": Using TLS (wss://)"));
}

TEST_F(BrowserSecureListener, FallsBackToPlainWithoutAUsableIdentityOrWhenToldTo) {
    std::string missing = home.path() + "/missing.p12";
    std::string broken = home.path() + "/broken.p12";
    test::writeFile(broken, "not a pkcs12 file");
    ASSERT_TRUE(ensureTlsIdentity(identity));
    for (auto [path, forcePlain] : {std::pair{missing, false}, {broken, false}, {identity, true}}) {
        SCOPED_TRACE(path);
        auto server = std::make_unique<WebSocketServer>(0, sessions, path);
        EXPECT_TRUE(server->start(forcePlain));
        EXPECT_FALSE(server->usesTls());
        test::PageClient client(server->boundPort());
        EXPECT_TRUE(sessions.agents().session(client.sessionId())) << "a plain page is greeted";
        if (path == missing) {
            EXPECT_TRUE(log.has("[ws] No server.p12 found at " + missing));
            EXPECT_TRUE(log.has("[ws] Port " + std::to_string(server->boundPort()) + ": Using plain ws://"));
        }
    }
    EXPECT_FALSE(log.containing("[ERROR][ws] Failed to import PKCS12: ").empty());
}

}  // namespace
}  // namespace velmor::browser
