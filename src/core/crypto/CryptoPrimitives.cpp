#include "core/crypto/CryptoPrimitives.h"

#include <sodium.h>

namespace meterwright::CryptoPrimitives {

namespace {

const unsigned char* bytesOf(std::string_view text) {
  return reinterpret_cast<const unsigned char*>(text.data());
}

unsigned char* bytesOf(std::string& text) {
  return reinterpret_cast<unsigned char*>(text.data());
}

void prepareSodium() {
  // Thread-safe and idempotent; libsodium asks for it before any other call.
  static const bool sodiumReady = sodium_init() >= 0;
  (void)sodiumReady;
}

}  // namespace

std::string randomBytes(std::size_t count) {
  prepareSodium();
  std::string bytes(count, '\0');
  randombytes_buf(bytes.data(), bytes.size());
  return bytes;
}

std::string sha256(std::string_view message) {
  prepareSodium();
  std::string digest(crypto_hash_sha256_BYTES, '\0');
  crypto_hash_sha256(bytesOf(digest), bytesOf(message), message.size());
  return digest;
}

std::string blake2b(std::string_view message) {
  prepareSodium();
  std::string digest(crypto_generichash_BYTES, '\0');
  crypto_generichash(bytesOf(digest), digest.size(), bytesOf(message), message.size(), nullptr, 0);
  return digest;
}

std::string hmacSha256(std::string_view key, std::string_view message) {
  prepareSodium();
  crypto_auth_hmacsha256_state state;
  crypto_auth_hmacsha256_init(&state, bytesOf(key), key.size());
  crypto_auth_hmacsha256_update(&state, bytesOf(message), message.size());
  std::string mac(crypto_auth_hmacsha256_BYTES, '\0');
  crypto_auth_hmacsha256_final(&state, bytesOf(mac));
  sodium_memzero(&state, sizeof state);
  return mac;
}

bool constantTimeEqual(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a.empty()) return true;
  return sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}

void wipe(std::string& secret) {
  wipe(secret.data(), secret.size());
}

void wipe(void* bytes, std::size_t count) {
  if (count != 0) sodium_memzero(bytes, count);
}

std::string hex(std::string_view bytes) {
  std::string text(bytes.size() * 2 + 1, '\0');
  sodium_bin2hex(text.data(), text.size(), bytesOf(bytes), bytes.size());
  text.pop_back();  // the terminating NUL
  return text;
}

std::optional<std::string> fromHex(std::string_view text) {
  std::string bytes(text.size() / 2, '\0');
  std::size_t length = 0;
  const char* end = nullptr;
  if (sodium_hex2bin(bytesOf(bytes), bytes.size(), text.data(), text.size(), " ", &length, &end) !=
          0 ||
      end != text.data() + text.size()) {
    return std::nullopt;
  }
  bytes.resize(length);
  return bytes;
}

std::optional<std::string> x25519PublicKey(std::string_view privateKey) {
  if (privateKey.size() != crypto_scalarmult_SCALARBYTES) return std::nullopt;
  prepareSodium();
  std::string publicKey(crypto_scalarmult_BYTES, '\0');
  if (crypto_scalarmult_base(bytesOf(publicKey), bytesOf(privateKey)) != 0) return std::nullopt;
  return publicKey;
}

std::optional<std::string> x25519(std::string_view privateKey, std::string_view peerPublicKey) {
  if (privateKey.size() != crypto_scalarmult_SCALARBYTES ||
      peerPublicKey.size() != crypto_scalarmult_BYTES) {
    return std::nullopt;
  }
  prepareSodium();
  std::string secret(crypto_scalarmult_BYTES, '\0');
  // libsodium refuses (-1) exactly when the result is all zero.
  if (crypto_scalarmult(bytesOf(secret), bytesOf(privateKey), bytesOf(peerPublicKey)) != 0) {
    sodium_memzero(secret.data(), secret.size());
    return std::nullopt;
  }
  return secret;
}

std::optional<std::string> chachaSeal(std::string_view key, std::string_view nonce,
                                      std::string_view plaintext, std::string_view aad) {
  if (key.size() != crypto_aead_chacha20poly1305_ietf_KEYBYTES ||
      nonce.size() != crypto_aead_chacha20poly1305_ietf_NPUBBYTES) {
    return std::nullopt;
  }
  prepareSodium();
  std::string sealed(plaintext.size() + crypto_aead_chacha20poly1305_ietf_ABYTES, '\0');
  unsigned long long sealedLength = 0;
  crypto_aead_chacha20poly1305_ietf_encrypt(bytesOf(sealed), &sealedLength, bytesOf(plaintext),
                                            plaintext.size(), bytesOf(aad), aad.size(), nullptr,
                                            bytesOf(nonce), bytesOf(key));
  sealed.resize(sealedLength);
  return sealed;
}

std::optional<std::string> chachaOpen(std::string_view key, std::string_view nonce,
                                      std::string_view ciphertextAndTag, std::string_view aad) {
  if (key.size() != crypto_aead_chacha20poly1305_ietf_KEYBYTES ||
      nonce.size() != crypto_aead_chacha20poly1305_ietf_NPUBBYTES ||
      ciphertextAndTag.size() < crypto_aead_chacha20poly1305_ietf_ABYTES) {
    return std::nullopt;
  }
  prepareSodium();
  std::string plaintext(ciphertextAndTag.size() - crypto_aead_chacha20poly1305_ietf_ABYTES, '\0');
  unsigned long long plaintextLength = 0;
  if (crypto_aead_chacha20poly1305_ietf_decrypt(
          bytesOf(plaintext), &plaintextLength, nullptr, bytesOf(ciphertextAndTag),
          ciphertextAndTag.size(), bytesOf(aad), aad.size(), bytesOf(nonce), bytesOf(key)) != 0) {
    return std::nullopt;
  }
  plaintext.resize(plaintextLength);
  return plaintext;
}

}  // namespace meterwright::CryptoPrimitives
