#include <gtest/gtest.h>

#include <limits>
#include <nlohmann/json.hpp>
#include <string>

#include "core/json/JsonNumber.h"
#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"

namespace meterwright {
namespace {

using json = nlohmann::json;
using namespace std::string_literals;

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JsonNumber, FromDoubleWritesWholeDoublesAsIntegersAndRejectsNonFiniteOnes) {
  constexpr double infinity = std::numeric_limits<double>::infinity();
  const std::pair<double, const char*> cases[] = {
      {60.0, "60"},       {-300.0, "-300"},    {1'740'821'400.0, "1740821400"},
      {37.5, "37.5"},     {0.1, "0.1"},        {1e300, "1e+300"},
      {infinity, "none"}, {-infinity, "none"}, {std::numeric_limits<double>::quiet_NaN(), "none"}};
  for (auto [value, text] : cases) {
    auto number = JsonNumber::fromDouble(value);
    EXPECT_EQ(number ? number->dump() : "none", text) << value;
  }
}

TEST(JsonNumber, ToIntTakesOnlyWholeNumbersThatFitAnIntToDoubleEveryNumber) {
  for (const json& six : {json(6), json(6.0), json(6u), *JsonText::parse("6.0")})
    EXPECT_EQ(JsonNumber::toInt(six), 6) << six;
  EXPECT_EQ(JsonNumber::toInt(json(-6)), -6);
  constexpr int lowest = std::numeric_limits<int>::min();
  EXPECT_EQ(JsonNumber::toInt(json(lowest)), lowest);
  for (const json& value :
       {json(6.5), json("6"), json(true), json(nullptr), json::array({6}), *JsonText::parse("1e10"),
        json(10'000'000'000LL), json(3'000'000'000ULL), json(-3e9)})
    EXPECT_FALSE(JsonNumber::toInt(value)) << value;
  EXPECT_EQ(JsonNumber::toDouble(json(6)), 6.0);
  EXPECT_EQ(JsonNumber::toDouble(json(37.5)), 37.5);
  EXPECT_EQ(JsonNumber::toDouble(json(7u)), 7.0);
  EXPECT_FALSE(JsonNumber::toDouble(json("37.5")) || JsonNumber::toDouble(json(false)));
}

TEST(JsonText, PrettySortedSortsKeysAtEveryLevelAndEscapesSlashesCompactKeepsOrder) {
  auto value = JsonText::parse(R"({"z/":{"b":1,"a":[{"y":"5h · 7d","x":"https://a/"}]},"a":1})");
  ASSERT_TRUE(value);
  EXPECT_EQ(JsonText::prettySorted(*value),
            "{\n  \"a\": 1,\n  \"z\\/\": {\n    \"a\": [\n      {\n"
            "        \"x\": \"https:\\/\\/a\\/\",\n        \"y\": \"5h · 7d\"\n"
            "      }\n    ],\n    \"b\": 1\n  }\n}");
  nlohmann::ordered_json inOrder = {{"zeta", 1}, {"alpha", "a/b"}, {"list", {1, 2}}};
  EXPECT_EQ(JsonText::compact(inOrder), R"({"zeta":1,"alpha":"a/b","list":[1,2]})");
}

TEST(JsonText, PrettySortedTextParsesBackToTheSameValueOrIsNothingForInvalidUtf8) {
  // Slashes next to escapes are where a textual escape could go wrong.
  json value = {{"a", "\\/"}, {"b", "\"/"}, {"c", "//"}, {"d", "a\\"}, {"x/y", {"/", "\\"}}};
  EXPECT_EQ(JsonText::parse(JsonText::prettySorted(value).value_or("")), value);
  EXPECT_FALSE(JsonText::prettySorted(json{{"bad", "\xFF"}}) ||
               JsonText::prettySorted(json{{"\xC3", 1}}));
}

TEST(JsonText, ParseTakesOneValueNestedUpTo512Deep) {
  EXPECT_EQ(JsonText::parse(R"( {"a":[1,2.5,"·",true,null]} )"),
            (json{{"a", {1, 2.5, "·", true, nullptr}}}));
  EXPECT_TRUE(JsonText::parse(nested(512)));
  // Brackets inside a string are text, not nesting.
  std::string brackets(100'000, '[');
  EXPECT_EQ(JsonText::parse("{\"t\":\"" + brackets + "\\\"\"}"), (json{{"t", brackets + "\""}}));
}

TEST(JsonText, ParseRejectsInvalidUtf8HugeNumbersDeepNestingAndAnythingButOneValue) {
  for (const std::string& text :
       {"\"\xFF\""s, "{\"k\":\"\xC3\"}"s, "\"\xED\xA0\x80\""s, "\"\xC0\xAF\""s, "1e999"s,
        "[-1e999]"s, ""s, "   "s, "{} x"s, "{}{}"s, "[1,]"s, "{\"a\":1,}"s, "{'a':1}"s, "NaN"s,
        "// note\n{}"s, "/* note */ {}"s, "[1"s, "\"open"s})
    EXPECT_FALSE(JsonText::parse(text)) << text;
  for (const std::string& text : {nested(513), "{\"a\":" + nested(512) + "}", nested(100'000),
                                  "{\"a\":" + nested(100'000) + "}", std::string(100'000, '{')})
    EXPECT_FALSE(JsonText::parse(text)) << text.substr(0, 10);
}

TEST(JsonObjectReader, ReadsMembersOfTheRightTypeAndNullOrMissingOnesAsAbsent) {
  json value = {{"name", "claude"}, {"on", false}, {"min", 300.0}, {"used", 37.5}, {"n", nullptr}};
  JsonObjectReader reader(value);
  EXPECT_EQ(reader.string("name"), "claude");
  EXPECT_EQ(reader.boolean("on"), false);
  EXPECT_EQ(reader.requiredInteger("min"), 300);
  EXPECT_EQ(reader.number("used"), 37.5);
  EXPECT_FALSE(reader.string("missing") || reader.integer("n") || reader.member("n"));
  EXPECT_TRUE(reader.ok());
}

TEST(JsonObjectReader, AWrongTypeOrAMissingRequiredMemberFailsTheWholeDecode) {
  json value = {{"real", 6.5}, {"text", "1"}, {"object", json::object()}, {"null", nullptr}};
  // Absent, and the decode stays failed after a later good read.
  auto fails = [&](auto read) {
    JsonObjectReader reader(value);
    bool absent = !read(reader);
    return absent && reader.string("text") == "1" && !reader.ok();
  };
  EXPECT_TRUE(fails([](auto& r) { return r.string("real"); }));
  EXPECT_TRUE(fails([](auto& r) { return r.boolean("real"); }));
  EXPECT_TRUE(fails([](auto& r) { return r.integer("real"); }));
  EXPECT_TRUE(fails([](auto& r) { return r.number("text"); }));
  EXPECT_TRUE(fails([](auto& r) { return r.array("object"); }));
  EXPECT_TRUE(fails([](auto& r) { return r.requiredString("x"); }));
  EXPECT_TRUE(fails([](auto& r) { return r.requiredNumber("null"); }));
  for (const json& other : {json::array({1}), json("text"), json(nullptr)})
    EXPECT_FALSE(JsonObjectReader(other).ok()) << other;
}

}  // namespace
}  // namespace meterwright
