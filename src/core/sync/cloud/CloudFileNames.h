#pragma once

#include <optional>
#include <string>
#include <string_view>

// Which names in the zone folder are records. A record named N is the file "N.json", where N is
// made of ASCII letters, digits and hyphens (every record name the route uses: upper-case UUIDs,
// "pairing-request", "pairing-grant-…", "selftest-…"). Everything else is passed over, and the
// names that sync tools and this program leave behind while writing are told apart so the
// diagnostics can say what they are.
namespace meterwright::CloudFileNames {

enum class Kind {
  record,
  // This program's own temporary and probe files (".meterwright-…").
  ownTemporary,
  // Temporary, partial, lock and conflict files of Syncthing, Nextcloud/ownCloud, Dropbox and
  // editors: ".syncthing.*.tmp", "*.sync-conflict-*", "*.part", ".~lock*", "~*",
  // "* (conflicted copy …)", "*_conflict-*", "*.tmp".
  syncToolLeftover,
  // Any other hidden name.
  hidden,
  // A name no record has.
  foreign
};

inline constexpr std::string_view extension = ".json";
// Starts every name this program writes before renaming it into place.
inline constexpr std::string_view temporaryPrefix = ".meterwright-";

Kind classify(std::string_view fileName);

// The file of a record, nothing for a name that cannot be a record's.
std::optional<std::string> fileName(std::string_view recordName);
// The record a file holds, nothing unless classify() says record.
std::optional<std::string> recordName(std::string_view fileName);

// A fresh name for a temporary file beside the records; classify() gives ownTemporary.
std::string temporaryName();

}  // namespace meterwright::CloudFileNames
