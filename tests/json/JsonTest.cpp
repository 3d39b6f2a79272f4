#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "core/json/JsonNumber.h"
#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"

namespace meterwright {
namespace {

using json = nlohmann::json;

std::string dumped(double value) {
  auto number = JsonNumber::fromDouble(value);
  return number ? number->dump() : "<nothing>";
}

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

// JsonNumber

TEST(JsonNumber, WritesWholeDoublesAsIntegers) {
  EXPECT_EQ(dumped(60.0), "60");
  EXPECT_EQ(dumped(0.0), "0");
  EXPECT_EQ(dumped(-300.0), "-300");
  EXPECT_EQ(dumped(1'740'821'400.0), "1740821400");
}

TEST(JsonNumber, KeepsFractions) {
  EXPECT_EQ(dumped(37.5), "37.5");
  EXPECT_EQ(dumped(-0.25), "-0.25");
  EXPECT_EQ(dumped(0.1), "0.1");
}

TEST(JsonNumber, WritesWholeDoublesBeyondExactIntegersAsFloats) {
  auto big = JsonNumber::fromDouble(1e300);
  ASSERT_TRUE(big);
  EXPECT_TRUE(big->is_number_float());
  EXPECT_EQ(big->get<double>(), 1e300);
}

TEST(JsonNumber, RejectsNanAndInfinities) {
  EXPECT_FALSE(JsonNumber::fromDouble(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(JsonNumber::fromDouble(std::numeric_limits<double>::infinity()));
  EXPECT_FALSE(JsonNumber::fromDouble(-std::numeric_limits<double>::infinity()));
}

TEST(JsonNumber, ToIntAcceptsWholeIntegersAndWholeFloats) {
  EXPECT_EQ(JsonNumber::toInt(json(6)), 6);
  EXPECT_EQ(JsonNumber::toInt(json(6.0)), 6);
  EXPECT_EQ(JsonNumber::toInt(json(-6)), -6);
  EXPECT_EQ(JsonNumber::toInt(json(6u)), 6);
  EXPECT_EQ(JsonNumber::toInt(*JsonText::parse("6.0")), 6);
  EXPECT_EQ(JsonNumber::toInt(json(std::numeric_limits<int>::min())),
            std::numeric_limits<int>::min());
}

TEST(JsonNumber, ToIntRejectsFractionsTextBooleansAndOutOfRange) {
  EXPECT_FALSE(JsonNumber::toInt(json(6.5)));
  EXPECT_FALSE(JsonNumber::toInt(json("6")));
  EXPECT_FALSE(JsonNumber::toInt(json(true)));
  EXPECT_FALSE(JsonNumber::toInt(json(nullptr)));
  EXPECT_FALSE(JsonNumber::toInt(json::array({6})));
  EXPECT_FALSE(JsonNumber::toInt(*JsonText::parse("1e10")));
  EXPECT_FALSE(JsonNumber::toInt(json(10'000'000'000LL)));
  EXPECT_FALSE(JsonNumber::toInt(json(3'000'000'000ULL)));
  EXPECT_FALSE(JsonNumber::toInt(json(-3e9)));
}

TEST(JsonNumber, ToDoubleAcceptsEveryNumberAndNothingElse) {
  EXPECT_EQ(JsonNumber::toDouble(json(6)), 6.0);
  EXPECT_EQ(JsonNumber::toDouble(json(37.5)), 37.5);
  EXPECT_EQ(JsonNumber::toDouble(json(7u)), 7.0);
  EXPECT_FALSE(JsonNumber::toDouble(json("37.5")));
  EXPECT_FALSE(JsonNumber::toDouble(json(false)));
  EXPECT_FALSE(JsonNumber::toDouble(json(nullptr)));
}

// JsonText

TEST(JsonText, PrettySortedSortsKeysAtEveryLevelWithTwoSpaceIndents) {
  auto value = JsonText::parse(R"({"zeta":{"b":1,"a":[{"y":2,"x":3}]},"alpha":true})");
  ASSERT_TRUE(value);
  EXPECT_EQ(JsonText::prettySorted(*value),
            "{\n"
            "  \"alpha\": true,\n"
            "  \"zeta\": {\n"
            "    \"a\": [\n"
            "      {\n"
            "        \"x\": 3,\n"
            "        \"y\": 2\n"
            "      }\n"
            "    ],\n"
            "    \"b\": 1\n"
            "  }\n"
            "}");
}

TEST(JsonText, PrettySortedEscapesSlashesInsideStringsAndKeys) {
  json value = {{"url", "https://example.com/a"}, {"a/b", 1}};
  EXPECT_EQ(JsonText::prettySorted(value),
            "{\n  \"a\\/b\": 1,\n  \"url\": \"https:\\/\\/example.com\\/a\"\n}");
}

TEST(JsonText, PrettySortedTextParsesBackToTheSameValue) {
  // Slashes next to escapes are where a textual escape could go wrong.
  json value = {{"backslashSlash", "\\/"},
                {"quoteSlash", "\"/"},
                {"slashes", "//"},
                {"trailingBackslash", "a\\"},
                {"nested", {{"x/y", json::array({"/", "\\"})}}}};
  auto text = JsonText::prettySorted(value);
  ASSERT_TRUE(text);
  EXPECT_EQ(JsonText::parse(*text), value);
}

TEST(JsonText, PrettySortedKeepsNonAsciiAsRawUtf8) {
  json value = {{"separator", "5h \xC2\xB7 7d"}};
  EXPECT_EQ(JsonText::prettySorted(value), "{\n  \"separator\": \"5h \xC2\xB7 7d\"\n}");
}

TEST(JsonText, PrettySortedGivesNothingForInvalidUtf8) {
  EXPECT_FALSE(JsonText::prettySorted(json{{"bad", "\xFF"}}));
  EXPECT_FALSE(JsonText::prettySorted(json{{"\xC3", 1}}));
}

TEST(JsonText, CompactKeepsInsertionOrderWithoutSpaces) {
  nlohmann::ordered_json value;
  value["zeta"] = 1;
  value["alpha"] = "a/b";
  value["list"] = {1, 2};
  EXPECT_EQ(JsonText::compact(value), R"({"zeta":1,"alpha":"a/b","list":[1,2]})");
}

TEST(JsonText, ParseAcceptsEveryKindOfValue) {
  EXPECT_EQ(JsonText::parse(R"({"a":[1,2.5,"x",true,null]})"),
            (json{{"a", json::array({1, 2.5, "x", true, nullptr})}}));
  EXPECT_EQ(JsonText::parse("  42 \n"), json(42));
  EXPECT_EQ(JsonText::parse("\"\xC2\xB7\""), json("\xC2\xB7"));
}

TEST(JsonText, ParseRejectsInvalidUtf8) {
  EXPECT_FALSE(JsonText::parse("\"\xFF\""));
  EXPECT_FALSE(JsonText::parse("{\"k\":\"\xC3\"}"));
  EXPECT_FALSE(JsonText::parse("\"\xED\xA0\x80\""));  // an encoded surrogate
  EXPECT_FALSE(JsonText::parse("\"\xC0\xAF\""));      // an overlong "/"
}

TEST(JsonText, ParseRejectsNumbersBeyondDouble) {
  EXPECT_FALSE(JsonText::parse("1e999"));
  EXPECT_FALSE(JsonText::parse("[-1e999]"));
}

TEST(JsonText, ParseRejectsTextThatIsNotOneValue) {
  for (const char* text : {"", "   ", "{} x", "{}{}", "[1,]", "{\"a\":1,}", "{'a':1}", "NaN",
                           "Infinity", "// note\n{}", "/* note */ {}", "[1", "\"open"}) {
    EXPECT_FALSE(JsonText::parse(text)) << text;
  }
}

TEST(JsonText, ParseAcceptsDeepButReasonableNesting) {
  EXPECT_TRUE(JsonText::parse(nested(512)));
  std::string text;
  for (int i = 0; i < 100; ++i) text += "{\"a\":";
  text += "1" + std::string(100, '}');
  EXPECT_TRUE(JsonText::parse(text));
}

TEST(JsonText, ParseRejectsNestingBeyond512) {
  EXPECT_FALSE(JsonText::parse(nested(513)));
  EXPECT_FALSE(JsonText::parse("{\"a\":" + nested(512) + "}"));
}

TEST(JsonText, ParseSurvivesHundredThousandDeepNesting) {
  // A value this deep would overflow the stack as soon as anything copied or printed it.
  EXPECT_FALSE(JsonText::parse(nested(100'000)));
  EXPECT_FALSE(JsonText::parse(std::string(100'000, '[')));
  EXPECT_FALSE(JsonText::parse(std::string(100'000, '{')));
  EXPECT_FALSE(JsonText::parse("{\"a\":" + nested(100'000) + "}"));
}

TEST(JsonText, BracketsInsideStringsDoNotCountAsNesting) {
  std::string brackets(100'000, '[');
  auto value = JsonText::parse("{\"text\":\"" + brackets + "\\\"\",\"more\":[]}");
  ASSERT_TRUE(value);
  EXPECT_EQ((*value)["text"], brackets + "\"");
}

// JsonObjectReader

TEST(JsonObjectReader, MissingAndNullMembersAreAbsentWithoutFailing) {
  json value = {{"empty", nullptr}};
  JsonObjectReader reader(value);
  EXPECT_FALSE(reader.string("missing"));
  EXPECT_FALSE(reader.string("empty"));
  EXPECT_FALSE(reader.boolean("empty"));
  EXPECT_FALSE(reader.integer("empty"));
  EXPECT_FALSE(reader.number("empty"));
  EXPECT_EQ(reader.array("empty"), nullptr);
  EXPECT_EQ(reader.member("empty"), nullptr);
  EXPECT_TRUE(reader.ok());
}

TEST(JsonObjectReader, ReadsMembersOfTheRightType) {
  json value = {{"name", "claude"}, {"enabled", false},  {"minutes", 300.0},
                {"used", 37.5},     {"windows", {1, 2}}, {"any", {{"x", 1}}}};
  JsonObjectReader reader(value);
  EXPECT_EQ(reader.string("name"), "claude");
  EXPECT_EQ(reader.boolean("enabled"), false);
  EXPECT_EQ(reader.integer("minutes"), 300);
  EXPECT_EQ(reader.number("used"), 37.5);
  EXPECT_EQ(reader.number("minutes"), 300.0);
  ASSERT_NE(reader.array("windows"), nullptr);
  EXPECT_EQ(reader.array("windows")->size(), 2u);
  ASSERT_NE(reader.member("any"), nullptr);
  EXPECT_TRUE(reader.member("any")->is_object());
  EXPECT_TRUE(reader.ok());
}

TEST(JsonObjectReader, AMemberOfTheWrongTypeFailsTheDecode) {
  struct Case {
    const char* name;
    json value;
    bool (*read)(JsonObjectReader&);
  };
  const Case cases[] = {
      {"string given a number", 5, [](JsonObjectReader& r) { return r.string("k").has_value(); }},
      {"boolean given 1", 1, [](JsonObjectReader& r) { return r.boolean("k").has_value(); }},
      {"integer given 6.5", 6.5, [](JsonObjectReader& r) { return r.integer("k").has_value(); }},
      {"integer given \"6\"", "6", [](JsonObjectReader& r) { return r.integer("k").has_value(); }},
      {"number given \"1\"", "1", [](JsonObjectReader& r) { return r.number("k").has_value(); }},
      {"number given true", true, [](JsonObjectReader& r) { return r.number("k").has_value(); }},
      {"array given an object", json::object(),
       [](JsonObjectReader& r) { return r.array("k") != nullptr; }},
  };
  for (const Case& c : cases) {
    json object = {{"k", c.value}};
    JsonObjectReader reader(object);
    EXPECT_FALSE(c.read(reader)) << c.name;
    EXPECT_FALSE(reader.ok()) << c.name;
  }
}

TEST(JsonObjectReader, AFailureStaysAfterLaterGoodReads) {
  json value = {{"bad", 1}, {"good", "x"}};
  JsonObjectReader reader(value);
  reader.string("bad");
  EXPECT_EQ(reader.string("good"), "x");
  EXPECT_FALSE(reader.ok());
}

TEST(JsonObjectReader, RequiredMembersFailWhenMissingOrNull) {
  json value = {{"empty", nullptr}};
  for (const char* key : {"missing", "empty"}) {
    auto expectFails = [&](auto read) {
      JsonObjectReader reader(value);
      read(reader);
      EXPECT_FALSE(reader.ok()) << key;
    };
    expectFails([&](JsonObjectReader& r) { EXPECT_FALSE(r.requiredString(key)); });
    expectFails([&](JsonObjectReader& r) { EXPECT_FALSE(r.requiredInteger(key)); });
    expectFails([&](JsonObjectReader& r) { EXPECT_FALSE(r.requiredNumber(key)); });
    expectFails([&](JsonObjectReader& r) { EXPECT_EQ(r.requiredArray(key), nullptr); });
    expectFails([&](JsonObjectReader& r) { EXPECT_EQ(r.requiredMember(key), nullptr); });
  }
}

TEST(JsonObjectReader, RequiredMembersThatArePresentKeepTheDecodeGood) {
  json value = {
      {"id", "codex"}, {"minutes", 10080}, {"used", 2.5}, {"list", json::array()}, {"flag", false}};
  JsonObjectReader reader(value);
  EXPECT_EQ(reader.requiredString("id"), "codex");
  EXPECT_EQ(reader.requiredInteger("minutes"), 10080);
  EXPECT_EQ(reader.requiredNumber("used"), 2.5);
  EXPECT_NE(reader.requiredArray("list"), nullptr);
  EXPECT_NE(reader.requiredMember("flag"), nullptr);
  EXPECT_TRUE(reader.ok());
}

TEST(JsonObjectReader, AValueThatIsNotAnObjectFailsAtOnceAndReadsNothing) {
  for (const json& value : {json::array({1}), json("text"), json(nullptr), json(3)}) {
    JsonObjectReader reader(value);
    EXPECT_FALSE(reader.ok()) << value.dump();
    EXPECT_FALSE(reader.string("k"));
    EXPECT_EQ(reader.member("k"), nullptr);
  }
}

}  // namespace
}  // namespace meterwright
