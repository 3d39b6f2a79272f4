#include "core/sync/cloud/CloudFileNames.h"

#include <algorithm>
#include <array>

#include "core/encoding/Uuid.h"

namespace meterwright::CloudFileNames {

namespace {

// Far below NAME_MAX (255) with the extension added.
constexpr std::size_t maximumRecordName = 200;

bool isRecordName(std::string_view name) {
  if (name.empty() || name.size() > maximumRecordName) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
  });
}

bool containsIgnoringCase(std::string_view text, std::string_view part) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::search(text.begin(), text.end(), part.begin(), part.end(),
                     [&](char a, char b) { return lower(a) == lower(b); }) != text.end();
}

}  // namespace

Kind classify(std::string_view name) {
  if (name.starts_with(temporaryPrefix)) return Kind::ownTemporary;
  constexpr std::array leftoverPrefixes{std::string_view(".syncthing."), std::string_view(".~lock"),
                                        std::string_view("~")};
  constexpr std::array leftoverParts{std::string_view(".sync-conflict-"),
                                     std::string_view("conflicted copy"),
                                     std::string_view("_conflict-")};
  constexpr std::array leftoverSuffixes{std::string_view(".part"), std::string_view(".tmp"),
                                        std::string_view(".partial")};
  for (auto prefix : leftoverPrefixes) {
    if (name.starts_with(prefix)) return Kind::syncToolLeftover;
  }
  for (auto part : leftoverParts) {
    if (containsIgnoringCase(name, part)) return Kind::syncToolLeftover;
  }
  for (auto suffix : leftoverSuffixes) {
    if (name.ends_with(suffix)) return Kind::syncToolLeftover;
  }
  if (name.starts_with(".")) return Kind::hidden;
  if (!name.ends_with(extension)) return Kind::foreign;
  return isRecordName(name.substr(0, name.size() - extension.size())) ? Kind::record
                                                                      : Kind::foreign;
}

std::optional<std::string> fileName(std::string_view recordName) {
  if (!isRecordName(recordName)) return std::nullopt;
  return std::string(recordName) + std::string(extension);
}

std::optional<std::string> recordName(std::string_view fileName) {
  if (classify(fileName) != Kind::record) return std::nullopt;
  return std::string(fileName.substr(0, fileName.size() - extension.size()));
}

std::string temporaryName() {
  return std::string(temporaryPrefix) + Uuid::random().text() + ".new";
}

}  // namespace meterwright::CloudFileNames
