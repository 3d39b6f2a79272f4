#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/json/JsonText.h"
#include "core/text/StringBundle.h"

namespace meterwright::testing {

// Every table of an embedded bundle is a JSON object of texts, in German and English.
inline void expectGermanAndEnglishObjectsOfTexts(const StringBundle& bundle) {
  std::vector<std::string> languages;
  for (const auto& [language, table] : bundle.tables) {
    languages.push_back(language);
    auto parsed = JsonText::parse(table);
    ASSERT_TRUE(parsed && parsed->is_object()) << bundle.module << "/" << language;
    for (const auto& [key, value] : parsed->items()) EXPECT_TRUE(value.is_string()) << key;
  }
  EXPECT_EQ(languages, (std::vector<std::string>{"de", "en"})) << bundle.module;
}

}  // namespace meterwright::testing
