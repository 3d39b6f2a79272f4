#include "core/readers/TerminalTranscript.h"

#include <unicode/uchar.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>
#include <unicode/utf8.h>

#include <vector>

namespace meterwright {

namespace {

constexpr char escape = 27;
constexpr char bell = 7;

bool isAsciiLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The length of the control sequence at `at` (which holds ESC), or 0 when none starts there.
// `nextBell` caches the position of the next BEL so a long text full of unterminated
// sequences is still scanned in one pass.
std::size_t sequenceLength(std::string_view text, std::size_t at, std::size_t& nextBell) {
  if (at + 1 >= text.size()) return 0;
  char kind = text[at + 1];
  if (kind == '[') {
    std::size_t end = at + 2;
    while (end < text.size() &&
           ((text[end] >= '0' && text[end] <= '9') || text[end] == ';' || text[end] == '?')) {
      ++end;
    }
    return end < text.size() && isAsciiLetter(text[end]) ? end + 1 - at : 0;
  }
  if (kind == ']') {
    if (nextBell != std::string_view::npos && nextBell < at + 2) {
      nextBell = text.find(bell, at + 2);
    }
    return nextBell == std::string_view::npos ? 0 : nextBell + 1 - at;
  }
  if (kind == '(' || kind == ')') {
    if (at + 2 >= text.size()) return 0;
    char set = text[at + 2];
    return set == 'A' || set == 'B' || set == '0' || set == '1' || set == '2' ? 3 : 0;
  }
  return 0;
}

}  // namespace

// ICU's converter keeps an incomplete character between calls and substitutes U+FFFD for
// anything ill-formed.
struct TerminalTranscript::Decoder {
  UConverter* converter = nullptr;
  Decoder() {
    UErrorCode status = U_ZERO_ERROR;
    converter = ucnv_open("UTF-8", &status);
    if (U_FAILURE(status)) converter = nullptr;
  }
  ~Decoder() {
    if (converter) ucnv_close(converter);
  }
};

TerminalTranscript::TerminalTranscript(std::size_t limit)
    : limit_(limit < 64 ? 64 : limit), decoder_(std::make_unique<Decoder>()) {}

TerminalTranscript::~TerminalTranscript() = default;

void TerminalTranscript::append(std::string_view bytes) {
  if (bytes.empty() || !decoder_->converter) return;
  // One UTF-16 unit per byte at most, plus what a held-back partial character may add.
  std::vector<UChar> units(bytes.size() + 8);
  const char* source = bytes.data();
  UChar* target = units.data();
  UErrorCode status = U_ZERO_ERROR;
  ucnv_toUnicode(decoder_->converter, &target, units.data() + units.size(), &source,
                 bytes.data() + bytes.size(), nullptr, false, &status);
  if (U_FAILURE(status)) {
    ucnv_reset(decoder_->converter);
    return;
  }
  int32_t unitCount = static_cast<int32_t>(target - units.data());
  if (unitCount == 0) return;

  int32_t needed = 0;
  status = U_ZERO_ERROR;
  u_strToUTF8WithSub(nullptr, 0, &needed, units.data(), unitCount, 0xFFFD, nullptr, &status);
  std::size_t start = text_.size();
  text_.resize(start + static_cast<std::size_t>(needed));
  status = U_ZERO_ERROR;
  u_strToUTF8WithSub(text_.data() + start, needed, nullptr, units.data(), unitCount, 0xFFFD,
                     nullptr, &status);
  if (U_FAILURE(status)) {
    text_.resize(start);
    return;
  }

  if (text_.size() > limit_) {
    // Keep the newer half, cut at a character boundary.
    std::size_t cut = text_.size() - limit_ / 2;
    while (cut < text_.size() && (static_cast<unsigned char>(text_[cut]) & 0xC0) == 0x80) ++cut;
    text_.erase(0, cut);
  }
}

std::string TerminalTranscript::flatten(std::string_view text) {
  std::string withoutSequences;
  withoutSequences.reserve(text.size());
  std::size_t nextBell = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] == escape) {
      if (std::size_t length = sequenceLength(text, at, nextBell)) {
        at += length;
        continue;
      }
    }
    withoutSequences.push_back(text[at]);
    ++at;
  }

  std::string flat;
  flat.reserve(withoutSequences.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(withoutSequences.data());
  int32_t length = static_cast<int32_t>(withoutSequences.size());
  for (int32_t at = 0; at < length;) {
    int32_t start = at;
    UChar32 character;
    U8_NEXT(bytes, at, length, character);
    if (character >= 0 && u_isUWhiteSpace(character)) continue;
    flat.append(withoutSequences, static_cast<std::size_t>(start),
                static_cast<std::size_t>(at - start));
  }
  return flat;
}

}  // namespace meterwright
