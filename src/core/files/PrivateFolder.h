#pragma once

#include <filesystem>

// A folder only this user can enter, for files that would otherwise sit in a folder others can
// write to (the temporary folder). There another user could have made the folder first, or put a
// link in its place, to read this user's files or plant their own.
namespace meterwright::PrivateFolder {

// Creates `folder` (0700) when it is missing. True when it is then a real folder (not a link),
// owned by this user, that nobody else may enter; a folder found otherwise is refused, never
// changed.
bool prepare(const std::filesystem::path& folder);

}  // namespace meterwright::PrivateFolder
