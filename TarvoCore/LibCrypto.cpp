#include "LibCrypto.h"

#include "Log.h"

#include <openssl/crypto.h>
#include <openssl/opensslv.h>

#include <dlfcn.h>

#include <optional>
#include <type_traits>

#define TARVO_STRINGIFY_(x) #x
#define TARVO_STRINGIFY(x) TARVO_STRINGIFY_(x)

namespace tarvo {

const char* const LibCrypto::fileName = "libcrypto.so." TARVO_STRINGIFY(OPENSSL_SHLIB_VERSION);

namespace {

std::optional<LibCrypto> load() {
    // Local, so that its symbols never stand in for anyone else's.
    void* library = ::dlopen(LibCrypto::fileName, RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = ::dlerror();
        Log::core().error(QStringLiteral("could not load %1: %2")
                              .arg(QLatin1String(LibCrypto::fileName),
                                   QString::fromLocal8Bit(reason ? reason : "")));
        return std::nullopt;
    }
    const char* missing = nullptr;
    const auto bind = [&](auto& function, const char* name) {
        function =
            reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, name));
        if (!function && !missing)
            missing = name;
    };
    LibCrypto crypto{};
    bind(crypto.initCrypto, "OPENSSL_init_crypto");
    bind(crypto.mdFetch, "EVP_MD_fetch");
    bind(crypto.sha256, "EVP_sha256");
    bind(crypto.mdContextNew, "EVP_MD_CTX_new");
    bind(crypto.mdContextFree, "EVP_MD_CTX_free");
    bind(crypto.digestInit, "EVP_DigestInit_ex");
    bind(crypto.digestUpdate, "EVP_DigestUpdate");
    bind(crypto.digestFinal, "EVP_DigestFinal_ex");
    bind(crypto.keyFromRawPublic, "EVP_PKEY_new_raw_public_key");
    bind(crypto.keyFree, "EVP_PKEY_free");
    bind(crypto.digestVerifyInit, "EVP_DigestVerifyInit");
    bind(crypto.digestVerify, "EVP_DigestVerify");
    if (missing) {
        Log::core().error(QStringLiteral("%1 has no %2")
                              .arg(QLatin1String(LibCrypto::fileName), QLatin1String(missing)));
        return std::nullopt;
    }
    // Only the first initialisation in the process decides whether OpenSSL
    // cleans up at exit. Without that clean-up each thread's state is freed as
    // the thread ends, and what all threads share stays until the process does.
    if (crypto.initCrypto(OPENSSL_INIT_NO_ATEXIT, nullptr) != 1)
        Log::core().error(
            QStringLiteral("%1 did not initialise").arg(QLatin1String(LibCrypto::fileName)));
    // Stays loaded for the life of the process.
    return crypto;
}

} // namespace

const LibCrypto* LibCrypto::get() {
    static const std::optional<LibCrypto> loaded = load();
    return loaded ? &*loaded : nullptr;
}

} // namespace tarvo
