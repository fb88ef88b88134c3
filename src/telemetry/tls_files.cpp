#include "telemetry/tls_files.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <memory>

namespace velquor::telemetry {

namespace {

// OpenSSL's reason for the last failure on this thread; the queue is left empty.
std::string OpenSslReason() {
    unsigned long code = 0;
    unsigned long last = 0;
    while ((code = ERR_get_error()) != 0)
        last = code;
    const char* reason = last != 0 ? ERR_reason_error_string(last) : nullptr;
    return reason != nullptr ? reason : "not a PEM file";
}

}  // namespace

std::optional<std::string> CheckTlsFiles(const TlsFiles& files) {
    ERR_clear_error();
    const std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_client_method()),
                                                                &SSL_CTX_free);
    if (!ctx)
        return "TLS is not available: " + OpenSslReason();
    if (SSL_CTX_load_verify_locations(ctx.get(), files.ca_file.c_str(), nullptr) != 1)
        return "--tls-ca: " + files.ca_file + " holds no usable CA certificate (" +
               OpenSslReason() + ")";
    if (!files.cert_file.empty() &&
        SSL_CTX_use_certificate_chain_file(ctx.get(), files.cert_file.c_str()) != 1)
        return "--tls-cert: " + files.cert_file + " holds no usable certificate (" +
               OpenSslReason() + ")";
    if (!files.key_file.empty() &&
        SSL_CTX_use_PrivateKey_file(ctx.get(), files.key_file.c_str(), SSL_FILETYPE_PEM) != 1) {
        // OpenSSL checks the key against the certificate while loading it.
        if (ERR_GET_REASON(ERR_peek_last_error()) == X509_R_KEY_VALUES_MISMATCH) {
            ERR_clear_error();
            return "--tls-key: " + files.key_file + " is not the key of " + files.cert_file;
        }
        return "--tls-key: " + files.key_file + " holds no usable private key (" + OpenSslReason() +
               ")";
    }
    return std::nullopt;
}

}  // namespace velquor::telemetry
