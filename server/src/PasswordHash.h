#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corlune::server {

/// argon2id through libsodium's crypto_pwhash_str, at its "interactive" cost (64 MiB, about
/// 0.1 s on one core). The stored text names its own parameters, so raising the cost later
/// leaves older hashes verifiable.

/// The encoded hash, or nothing when libsodium cannot start or has no memory.
std::optional<std::string> hashPassword(std::string_view password);

/// True when `password` matches `encodedHash`. At most as many verifications run at once as the
/// machine has cores; the others wait their turn, so a burst of sign-ins cannot claim 64 MiB each.
bool verifyPassword(const std::string& encodedHash, std::string_view password);

/// Spends the time of one verification and answers false: the answer for an unknown employee,
/// so that it takes as long as a wrong password for a known one.
bool verifyAgainstNothing(std::string_view password);

/// A new bearer token: 256 random bits as 43 characters of URL-safe base64 without padding;
/// nothing when libsodium cannot start.
std::optional<std::string> newToken();

/// What is stored of a token: its BLAKE2b-256 digest in hex. A token is random, so a fast hash
/// is enough to make a stolen database useless for signing in.
std::string tokenDigest(std::string_view token);

} // namespace corlune::server
