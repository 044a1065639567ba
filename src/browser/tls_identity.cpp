#include "browser/tls_identity.h"

#include "app/log.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <openssl/err.h>
#include <openssl/pkcs12.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <optional>

namespace velmor::browser {

namespace {

namespace ssl = boost::asio::ssl;

std::optional<std::string> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Owns what PKCS12_parse hands out.
struct ImportedIdentity {
    EVP_PKEY* key = nullptr;
    X509* certificate = nullptr;
    STACK_OF(X509)* chain = nullptr;
    ~ImportedIdentity() {
        EVP_PKEY_free(key);
        X509_free(certificate);
        sk_X509_pop_free(chain, X509_free);
    }
};

bool importPkcs12(const std::string& bytes, ImportedIdentity& identity) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    PKCS12* p12 = d2i_PKCS12(nullptr, &data, static_cast<long>(bytes.size()));
    if (!p12) return false;
    bool parsed = PKCS12_parse(p12, VELMOR_IDENTITY_PASSPHRASE, &identity.key, &identity.certificate, &identity.chain) == 1;
    PKCS12_free(p12);
    return parsed && identity.key && identity.certificate;
}

bool useIdentity(ssl::context& context, const ImportedIdentity& identity) {
    SSL_CTX* native = context.native_handle();
    if (SSL_CTX_use_certificate(native, identity.certificate) != 1) return false;
    if (SSL_CTX_use_PrivateKey(native, identity.key) != 1) return false;
    for (int i = 0; identity.chain && i < sk_X509_num(identity.chain); ++i) {
        if (SSL_CTX_add1_chain_cert(native, sk_X509_value(identity.chain, i)) != 1) return false;
    }
    return SSL_CTX_check_private_key(native) == 1;
}

}  // namespace

std::string installedIdentityPath() {
    std::error_code error;
    std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return (program.parent_path() / ".." / "share" / "velmor" / "server.p12").lexically_normal().string();
}

std::shared_ptr<ssl::context> loadServerTlsContext(const std::string& path) {
    std::optional<std::string> bytes = readFile(path);
    if (!bytes) {
        Log::info("ws", "No server.p12 found at " + path);
        return nullptr;
    }
    ERR_clear_error();
    ImportedIdentity identity;
    auto context = std::make_shared<ssl::context>(ssl::context::tls_server);
    // An identity OpenSSL imports but cannot serve with counts as a failed import.
    if (!importPkcs12(*bytes, identity) || !useIdentity(*context, identity)) {
        Log::error("ws", "Failed to import PKCS12: " + std::to_string(ERR_get_error()));
        ERR_clear_error();
        return nullptr;
    }
    context->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 | ssl::context::no_sslv3 |
                         ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1);
    context->set_verify_mode(ssl::verify_none);
    Log::info("ws", "TLS identity loaded from " + path);
    return context;
}

}  // namespace velmor::browser
