#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/Environment.h"
#include "core/settings/UserDefaults.h"

namespace meterwright::Localization {

// The user-defaults key that carries the launch language, a one-element list when one is chosen.
inline constexpr const char* languagesKey = "AppleLanguages";

// The languages the core module has tables for, sorted.
std::vector<std::string> available();

// The language's own name for itself, capitalised by its own rules ("Deutsch", "Français"); the
// code itself when no name is known for it.
std::string endonym(const std::string& code);

// Called once at launch, before any text is produced: a non-empty, available `language` becomes
// the launch language; anything else removes the choice so the system language applies. Every
// module chooses its table anew at its next lookup.
void apply(const std::string& language, UserDefaults& defaults);

// The preferred languages in order: the launch language when one is set, else the system's from
// LANGUAGE (a colon-separated list, ignored under the C or POSIX locale, as gettext ignores it),
// then the first of LC_ALL, LC_MESSAGES and LANG.
std::vector<std::string> preferredLanguages(const UserDefaults& defaults,
                                            const Environment& environment);

// preferredLanguages() for this process: the user defaults apply() was given (else those of the
// environment's file locations) and the process environment.
std::vector<std::string> launchLanguages();

}  // namespace meterwright::Localization
