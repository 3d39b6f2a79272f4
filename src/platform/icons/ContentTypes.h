#pragma once

#include <string>
#include <string_view>
#include <vector>

// What the desktop's shared MIME database (through GIO) makes of a file: its content type and
// the icon names the desktop shows for it.
namespace meterwright::ContentTypes {

struct Guess {
  std::string type;
  // Most specific first ("text-x-python", "text-x-generic").
  std::vector<std::string> iconNames;

  bool isImage() const { return type.starts_with("image/"); }
};

// From the file's name and its first bytes (a few KiB are plenty).
Guess guess(const std::string& fileName, std::string_view head);

}  // namespace meterwright::ContentTypes
