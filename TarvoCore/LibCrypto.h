#pragma once

#include <openssl/evp.h>

namespace tarvo {

// The few functions of OpenSSL's libcrypto the program calls, bound the first
// time one is needed rather than when the program starts: most runs of the
// shelf fingerprint nothing and check no signature for a long while, and the
// library mapped for nothing costs well over a megabyte of resident memory.
struct LibCrypto {
    // "libcrypto.so.3", as OpenSSL's headers name the library they describe.
    static const char* const fileName;

    // The library, loaded at the first call from any thread; nullptr when it
    // cannot be loaded or lacks a function (logged once, never tried again).
    // The first call also tells OpenSSL to leave its state alone at exit, so
    // it must come before anything else in the process starts OpenSSL (Qt's
    // TLS backend included): OpenSSL's exit handler frees what every thread
    // shares while Qt's network threads may still be ending, and a thread that
    // ends after it leaks its own random generators and error queue.
    static const LibCrypto* get();

    decltype(&::OPENSSL_init_crypto) initCrypto;
    decltype(&::EVP_MD_fetch) mdFetch;
    decltype(&::EVP_sha256) sha256;
    decltype(&::EVP_MD_CTX_new) mdContextNew;
    decltype(&::EVP_MD_CTX_free) mdContextFree;
    decltype(&::EVP_DigestInit_ex) digestInit;
    decltype(&::EVP_DigestUpdate) digestUpdate;
    decltype(&::EVP_DigestFinal_ex) digestFinal;
    decltype(&::EVP_PKEY_new_raw_public_key) keyFromRawPublic;
    decltype(&::EVP_PKEY_free) keyFree;
    decltype(&::EVP_DigestVerifyInit) digestVerifyInit;
    decltype(&::EVP_DigestVerify) digestVerify;
};

} // namespace tarvo
