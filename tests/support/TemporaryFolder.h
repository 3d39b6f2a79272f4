#pragma once

#include <filesystem>
#include <string>

#include "core/files/FileLocations.h"

namespace meterwright::testing {

// A fresh folder under the system temporary folder, removed with everything in it at the end.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // File locations rooted here: home, data, state and temporary folders all inside.
  FileLocations locations() const;

 private:
  std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace meterwright::testing
