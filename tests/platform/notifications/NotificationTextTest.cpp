#include <gtest/gtest.h>

#include <string>

#include "platform/notifications/NotificationText.h"

namespace meterwright {
namespace {

using NotificationText::Kind;

struct Cleaning {
  const char* name;
  std::string bytes;
  Kind kind;
  std::string expected;
};

TEST(NotificationText, CleaningKeepsTextRepairsTheRestAndEscapingMakesMarkupEntities) {
  const Cleaning cases[] = {
      {"quotes and backslashes stay", "\"Claude\" at 5\\7 <b>&", Kind::body,
       "\"Claude\" at 5\\7 <b>&"},
      {"stray continuation byte", "a\x80z", Kind::title, "a\uFFFDz"},
      {"sequence cut short at the end", "ab\xE2\x82", Kind::body, "ab\uFFFD\uFFFD"},
      {"overlong slash", "\xC0\xAF", Kind::body, "\uFFFD\uFFFD"},
      {"surrogate half", "\xED\xA0\x80!", Kind::body, "\uFFFD\uFFFD\uFFFD!"},
      {"beyond U+10FFFF", "\xF4\x90\x80\x80", Kind::body, "\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"four-byte emoji kept", "\xF0\x9F\x94\x8B low", Kind::title, "\U0001F50B low"},
      {"NUL and escape dropped", std::string("a\0b\x1b[31mc", 9), Kind::body, "ab[31mc"},
      {"C1 control dropped", "a\xC2\x85z", Kind::body, "az"},
      {"body keeps line breaks", "one\ntwo\r\n\tthree", Kind::body, "one\ntwo\n three"},
      {"title is one line", "one\ntwo\tthree", Kind::title, "one two three"},
  };
  for (const auto& test : cases) {
    EXPECT_EQ(NotificationText::clean(test.bytes, test.kind), test.expected) << test.name;
  }
  EXPECT_EQ(NotificationText::escapeMarkup("<b>\"A\" & 'B'</b> \\"),
            "&lt;b&gt;&quot;A&quot; &amp; &apos;B&apos;&lt;/b&gt; \\");
}

TEST(NotificationText, LongTextsAreCutAtACharacterWithAnEllipsis) {
  std::string exact(NotificationText::titleLimit, 'x');
  EXPECT_EQ(NotificationText::clean(exact, Kind::title), exact);

  std::string umlauts;
  for (std::size_t i = 0; i < NotificationText::bodyLimit + 5; ++i) umlauts += "\u00e4";
  std::string cut = NotificationText::clean(umlauts, Kind::body);
  std::string expected;
  for (std::size_t i = 0; i + 1 < NotificationText::bodyLimit; ++i) expected += "\u00e4";
  EXPECT_EQ(cut, expected + "\u2026");
}

TEST(NotificationText, NotifySendGetsTheTextsAfterTheEndOfOptions) {
  NotificationText::Identity identity{"Meterwright", "icon-name", "dev.example"};
  EXPECT_EQ(
      NotificationText::notifySendArguments(identity, "--help", "-u critical", true),
      (std::vector<std::string>{
          "--app-name=Meterwright", "--icon=icon-name", "--hint=string:desktop-entry:dev.example",
          "--hint=string:sound-name:message-new-instant", "--", "--help", "-u critical"}));
  EXPECT_EQ(NotificationText::notifySendArguments(identity, "t", "b", false)[3],
            "--hint=boolean:suppress-sound:true");
}

}  // namespace
}  // namespace meterwright
