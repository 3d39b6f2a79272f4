#pragma once

#include <optional>
#include <string>
#include <string_view>

// Thin wrappers over libsodium: the only code that talks to it, so the library is initialised in
// one place. Bytes travel in std::string, which holds any byte. Nothing here keeps state; every
// function may run on any thread.
namespace meterwright::CryptoPrimitives {

constexpr std::size_t sha256Bytes = 32;
constexpr std::size_t x25519KeyBytes = 32;
constexpr std::size_t chachaKeyBytes = 32;
constexpr std::size_t chachaNonceBytes = 12;
constexpr std::size_t chachaTagBytes = 16;

// `count` bytes from the system's secure generator.
std::string randomBytes(std::size_t count);

std::string sha256(std::string_view message);

// BLAKE2b with its default 32-byte digest, unkeyed.
std::string blake2b(std::string_view message);

// HMAC-SHA-256 with a key of any length (longer keys are hashed first, per RFC 2104).
std::string hmacSha256(std::string_view key, std::string_view message);

// Equal length and equal bytes, in time that depends only on the length.
bool constantTimeEqual(std::string_view a, std::string_view b);

// Overwrites secret bytes in a way the compiler cannot drop as a dead store.
void wipe(std::string& secret);
void wipe(void* bytes, std::size_t count);

// Lower-case hex, two digits a byte.
std::string hex(std::string_view bytes);
// Hex digits of either case, spaces between them skipped; nothing for any other character or an
// odd digit count.
std::optional<std::string> fromHex(std::string_view text);

// The X25519 public key of a 32-byte private scalar; nothing for another length.
std::optional<std::string> x25519PublicKey(std::string_view privateKey);

// The X25519 shared secret; nothing for keys of the wrong length, and nothing when the peer's key
// is a low-order point, which would make the "secret" all zero whatever our own key is.
std::optional<std::string> x25519(std::string_view privateKey, std::string_view peerPublicKey);

// ChaCha20-Poly1305 (IETF, 12-byte nonce): ciphertext followed by the 16-byte tag. Nothing for a
// key or nonce of the wrong length.
std::optional<std::string> chachaSeal(std::string_view key, std::string_view nonce,
                                      std::string_view plaintext, std::string_view aad = {});

// The plaintext, or nothing when the tag does not verify or any length is wrong.
std::optional<std::string> chachaOpen(std::string_view key, std::string_view nonce,
                                      std::string_view ciphertextAndTag, std::string_view aad = {});

}  // namespace meterwright::CryptoPrimitives
