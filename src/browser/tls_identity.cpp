#include "browser/tls_identity.h"

#include "base/log.h"
#include "base/private_file.h"
#include "base/write_all.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <openssl/bn.h>
#include <openssl/ec.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pkcs12.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace velmor::browser {

namespace {

namespace ssl = boost::asio::ssl;

// The file is the user's alone (0600); the PKCS#12 form asks for a passphrase all the same.
constexpr const char* kIdentityPassphrase = "qarnel";
// Within what browsers accept for a leaf certificate.
constexpr long kValidityDays = 825;

template <class T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Freer<X509, X509_free>>;
using Pkcs12 = std::unique_ptr<PKCS12, Freer<PKCS12, PKCS12_free>>;

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
    bool parsed = PKCS12_parse(p12, kIdentityPassphrase, &identity.key, &identity.certificate, &identity.chain) == 1;
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

bool addExtension(X509* certificate, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension) return false;
    bool added = X509_add_ext(certificate, extension, -1) == 1;
    X509_EXTENSION_free(extension);
    return added;
}

Certificate selfSignedLeaf(EVP_PKEY* key) {
    Certificate certificate(X509_new());
    unsigned char serial[16];
    if (!certificate || RAND_bytes(serial, sizeof serial) != 1) return nullptr;
    serial[0] &= 0x7f;  // a positive serial number
    BIGNUM* serialNumber = BN_bin2bn(serial, sizeof serial, nullptr);
    bool ok = serialNumber && BN_to_ASN1_INTEGER(serialNumber, X509_get_serialNumber(certificate.get()));
    BN_free(serialNumber);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    ok = ok && X509_set_version(certificate.get(), 2) == 1 &&
         X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -60L * 60 * 24) &&
         X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 60L * 60 * 24 * kValidityDays) &&
         X509_set_pubkey(certificate.get(), key) == 1 &&
         X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("localhost"), -1,
                                    -1, 0) == 1 &&
         X509_set_issuer_name(certificate.get(), name) == 1 &&
         addExtension(certificate.get(), NID_basic_constraints, "critical,CA:FALSE") &&
         addExtension(certificate.get(), NID_key_usage, "critical,digitalSignature,keyEncipherment") &&
         addExtension(certificate.get(), NID_ext_key_usage, "serverAuth") &&
         addExtension(certificate.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1") &&
         addExtension(certificate.get(), NID_subject_key_identifier, "hash") &&
         X509_sign(certificate.get(), key, EVP_sha256()) > 0;
    return ok ? std::move(certificate) : nullptr;
}

std::optional<std::string> pkcs12Bytes(EVP_PKEY* key, X509* certificate) {
    Pkcs12 p12(PKCS12_create(kIdentityPassphrase, "localhost", key, certificate, nullptr, 0, 0, 0, 0, 0));
    if (!p12) return std::nullopt;
    unsigned char* der = nullptr;
    int length = i2d_PKCS12(p12.get(), &der);
    if (length <= 0) return std::nullopt;
    std::string bytes(reinterpret_cast<char*>(der), static_cast<size_t>(length));
    OPENSSL_free(der);
    return bytes;
}

// Written under a temporary name created 0600 and renamed into place, so the key is never
// readable by others and a half-written file is never taken for the identity.
bool writePrivately(const std::filesystem::path& path, const std::string& bytes) {
    std::error_code ignored;
    std::filesystem::path directory = path.parent_path();
    if (!std::filesystem::exists(directory, ignored)) {
        std::filesystem::create_directories(directory.parent_path(), ignored);
        if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    std::filesystem::path temporary = path;
    temporary += ".tmp" + std::to_string(::getpid());
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    bool written = ::fchmod(fd, 0600) == 0 &&
                   writeAll(fd, bytes) && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && ::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
}

}  // namespace

bool ensureTlsIdentity(const std::string& path) {
    std::error_code ignored;
    if (std::filesystem::exists(path, ignored)) {
        // Earlier versions left the identity, private key included, readable by everyone.
        if (tightenToOwnerOnly(path)) Log::info("ws", "Made the TLS identity at " + path + " readable by its owner only");
        return true;
    }
    Key key(EVP_EC_gen("P-256"));
    Certificate certificate = key ? selfSignedLeaf(key.get()) : nullptr;
    std::optional<std::string> bytes = certificate ? pkcs12Bytes(key.get(), certificate.get()) : std::nullopt;
    if (!bytes) {
        Log::error("ws", "Failed to generate a TLS identity: " + std::to_string(ERR_get_error()));
        ERR_clear_error();
        return false;
    }
    if (!writePrivately(path, *bytes)) {
        Log::error("ws", "Failed to write the TLS identity to " + path + ": " + std::strerror(errno));
        return false;
    }
    Log::info("ws", "Generated a TLS identity for localhost at " + path);
    return true;
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
