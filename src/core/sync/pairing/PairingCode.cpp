#include "core/sync/pairing/PairingCode.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <memory>
#include <vector>

#include "core/crypto/CryptoPrimitives.h"
#include "core/text/TextCase.h"

namespace meterwright {

namespace {

bool isInAlphabet(char c) {
  return PairingCode::alphabet.find(c) != std::string_view::npos;
}

// Splits UTF-8 text into user-perceived characters, so a letter followed by a combining mark is
// one character that is not in the alphabet rather than a bare letter. Nothing when ICU cannot
// segment the text; callers then drop everything.
std::optional<std::vector<std::string>> characters(std::string_view text) {
  icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(
      icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::BreakIterator> iterator(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status) || !iterator) return std::nullopt;
  iterator->setText(unicode);
  std::vector<std::string> result;
  int32_t start = iterator->first();
  for (int32_t end = iterator->next(); end != icu::BreakIterator::DONE;
       start = end, end = iterator->next()) {
    std::string character;
    unicode.tempSubStringBetween(start, end).toUTF8String(character);
    result.push_back(std::move(character));
  }
  return result;
}

bool hasLinkPrefixIgnoringCase(std::string_view text) {
  if (text.size() < PairingCode::linkPrefix.size()) return false;
  for (std::size_t i = 0; i < PairingCode::linkPrefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != PairingCode::linkPrefix[i]) return false;
  }
  return true;
}

}  // namespace

PairingCode PairingCode::fresh() {
  // libsodium's generator has no failure path, so no fallback source is needed.
  return fromRandomBytes(CryptoPrimitives::randomBytes(characterCount));
}

PairingCode PairingCode::fromRandomBytes(std::string_view tenBytes) {
  PairingCode code;
  for (unsigned char byte : tenBytes.substr(0, characterCount)) {
    code.value += alphabet[byte & 31];
  }
  return code;
}

std::optional<PairingCode> PairingCode::from(std::string_view text) {
  std::string value = normalised(text);
  if (value.size() != characterCount) return std::nullopt;
  return PairingCode{std::move(value)};
}

std::optional<PairingCode> PairingCode::parse(std::string_view text) {
  std::string trimmed = TextCase::trimmed(text);
  std::string_view rest = trimmed;
  if (hasLinkPrefixIgnoringCase(rest)) rest.remove_prefix(linkPrefix.size());
  return from(rest);
}

std::string PairingCode::normalised(std::string_view text) {
  std::string result;
  auto upper = characters(TextCase::uppercased(text));
  if (!upper) return result;
  for (const std::string& character : *upper) {
    if (character.size() != 1) continue;
    char c = character[0];
    if (c == 'O') c = '0';
    if (c == 'I' || c == 'L') c = '1';
    if (isInAlphabet(c)) result += c;
  }
  return result;
}

std::string PairingCode::formatted() const {
  constexpr std::size_t half = characterCount / 2;
  if (value.size() <= half) return value;
  return value.substr(0, half) + "-" + value.substr(half);
}

std::string PairingCode::qrPayload() const {
  return std::string(linkPrefix) + formatted();
}

SymmetricKey PairingCode::authenticationKey() const {
  return *SymmetricKey::fromBytes(CryptoPrimitives::sha256(value));
}

}  // namespace meterwright
