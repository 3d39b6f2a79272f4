#include <gtest/gtest.h>

#include <string>

#include "core/readers/TerminalTranscript.h"

namespace meterwright {
namespace {

TEST(TerminalTranscript, FlattenRemovesControlSequencesAndWhiteSpaceButNotIncompleteOnes) {
  EXPECT_EQ(TerminalTranscript::flatten("\x1b[2J\x1b[?25l\x1b[12;1H  ? for\x1b[1Cshortcuts\r\n"),
            "?forshortcuts");
  EXPECT_EQ(TerminalTranscript::flatten("\x1b]0;Claude Code\x07title"), "title");
  EXPECT_EQ(TerminalTranscript::flatten("\x1b(Bplain\x1b)0 text"), "plaintext");
  // Unicode spaces count as white space too.
  EXPECT_EQ(TerminalTranscript::flatten("Sign\u00A0in\u3000to\tyour"), "Signintoyour");
  // A window title without its BEL, a function-key sequence and a character set that is not one
  // of the five are not control sequences of the recognised kinds.
  EXPECT_EQ(TerminalTranscript::flatten("\x1b]0;open"), "\x1b]0;open");
  EXPECT_EQ(TerminalTranscript::flatten("\x1b[15~"), "\x1b[15~");
  EXPECT_EQ(TerminalTranscript::flatten("\x1b(Z"), "\x1b(Z");
  EXPECT_EQ(TerminalTranscript::flatten("end\x1b"), "end\x1b");
  // Everything up to the first BEL belongs to the title, escape characters included.
  EXPECT_EQ(TerminalTranscript::flatten("\x1b]2;a\x1b[1mb\x07"
                                        "c\x07"),
            "c\x07");
}

TEST(TerminalTranscript, JoinsCharactersSplitBetweenPiecesAndRepairsInvalidBytes) {
  TerminalTranscript transcript;
  std::string line = "cuts \u2500\u2500";
  transcript.append(line.substr(0, line.size() - 2));
  transcript.append(line.substr(line.size() - 2));
  EXPECT_EQ(transcript.text(), line);

  TerminalTranscript broken;
  broken.append("a\xff");
  broken.append("b\xc3");
  broken.append("(");
  EXPECT_EQ(broken.text(), "a\uFFFDb\uFFFD(");
}

TEST(TerminalTranscript, KeepsOnlyARecentTailOfALongSession) {
  TerminalTranscript transcript(4096);
  std::string noise(1000, '.');
  for (int i = 0; i < 50; ++i) transcript.append(noise + "\u2500");
  transcript.append("? for shortcuts");
  EXPECT_LE(transcript.text().size(), 4096u);
  EXPECT_GE(transcript.text().size(), 2048u);
  EXPECT_NE(transcript.flattened().find("forshortcuts"), std::string::npos);
  // The cut never leaves half a character at the front.
  EXPECT_NE(static_cast<unsigned char>(transcript.text()[0]) & 0xC0, 0x80);
}

}  // namespace
}  // namespace meterwright
