#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace meterwright {

// What a program drew on a terminal, as text that can be searched for words of its interface.
// Bytes arrive in arbitrary pieces: a character split between two pieces is joined, invalid
// UTF-8 becomes U+FFFD. Only the most recent part is kept, so a program that draws for a long time
// cannot fill the memory; the tail kept is far longer than any screen that is searched.
class TerminalTranscript {
 public:
  static constexpr std::size_t defaultLimit = 1 << 20;

  explicit TerminalTranscript(std::size_t limit = defaultLimit);
  ~TerminalTranscript();
  TerminalTranscript(const TerminalTranscript&) = delete;
  TerminalTranscript& operator=(const TerminalTranscript&) = delete;

  void append(std::string_view bytes);
  // Valid UTF-8, at most the limit in bytes.
  const std::string& text() const { return text_; }
  std::string flattened() const { return flatten(text_); }

  // Terminal control sequences removed (ESC "[" digits, ";" or "?" and one letter; ESC "]" up to
  // BEL; ESC "(" or ")" with A, B, 0, 1 or 2), then every white-space character: so words drawn
  // with cursor movements and spaces between them read as one run of letters.
  static std::string flatten(std::string_view text);

 private:
  struct Decoder;
  std::size_t limit_;
  std::unique_ptr<Decoder> decoder_;
  std::string text_;
};

}  // namespace meterwright
