#include "PasswordHash.h"

#include <sodium.h>

#include <algorithm>
#include <semaphore>
#include <thread>

namespace corlune::server {

namespace {

bool sodiumReady() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

std::counting_semaphore<>& hashingSlots() {
    static std::counting_semaphore<> slots(std::max<std::ptrdiff_t>(1, std::thread::hardware_concurrency()));
    return slots;
}

} // namespace

std::optional<std::string> hashPassword(std::string_view password) {
    if (!sodiumReady()) {
        return std::nullopt;
    }
    char encoded[crypto_pwhash_STRBYTES];
    hashingSlots().acquire();
    const int rc = crypto_pwhash_str(encoded, password.data(), password.size(),
                                     crypto_pwhash_OPSLIMIT_INTERACTIVE, crypto_pwhash_MEMLIMIT_INTERACTIVE);
    hashingSlots().release();
    if (rc != 0) {
        return std::nullopt;
    }
    return std::string(encoded);
}

bool verifyPassword(const std::string& encodedHash, std::string_view password) {
    if (!sodiumReady()) {
        return false;
    }
    hashingSlots().acquire();
    const bool matches = crypto_pwhash_str_verify(encodedHash.c_str(), password.data(), password.size()) == 0;
    hashingSlots().release();
    return matches;
}

bool verifyAgainstNothing(std::string_view password) {
    static const std::string decoy = [] {
        unsigned char secret[32];
        if (sodiumReady()) {
            randombytes_buf(secret, sizeof secret);
        }
        return hashPassword(std::string_view(reinterpret_cast<const char*>(secret), sizeof secret))
            .value_or("");
    }();
    if (!decoy.empty()) {
        verifyPassword(decoy, password);
    }
    return false;
}

std::optional<std::string> newToken() {
    if (!sodiumReady()) {
        return std::nullopt;
    }
    unsigned char random[32];
    randombytes_buf(random, sizeof random);
    constexpr int variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
    char text[sodium_base64_ENCODED_LEN(sizeof random, variant)];
    sodium_bin2base64(text, sizeof text, random, sizeof random, variant);
    return std::string(text);
}

std::string tokenDigest(std::string_view token) {
    sodiumReady(); // picks the fastest implementation; the portable one works without it
    unsigned char digest[crypto_generichash_BYTES];
    crypto_generichash(digest, sizeof digest, reinterpret_cast<const unsigned char*>(token.data()),
                       token.size(), nullptr, 0);
    char hex[sizeof digest * 2 + 1];
    sodium_bin2hex(hex, sizeof hex, digest, sizeof digest);
    return std::string(hex);
}

} // namespace corlune::server
