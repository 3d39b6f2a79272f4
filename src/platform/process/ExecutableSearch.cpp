#include "platform/process/ExecutableSearch.h"

#include <sys/stat.h>
#include <unistd.h>

namespace meterwright::ExecutableSearch {

bool isExecutableFile(const std::string& path) {
  if (path.empty()) return false;
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  return ::access(path.c_str(), X_OK) == 0;
}

std::optional<std::string> find(const std::vector<std::string>& candidates, const std::string& name,
                                const EnvironmentBlock& environment) {
  for (const std::string& candidate : candidates) {
    if (isExecutableFile(candidate)) return candidate;
  }
  // A name with a slash would let PATH entries reach outside their folder.
  if (name.empty() || name.find('/') != std::string::npos) return std::nullopt;
  std::string path = environment.get("PATH").value_or("");
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string folder = path.substr(start, end - start);
    if (!folder.empty() && folder.front() == '/') {
      if (folder.back() != '/') folder += '/';
      std::string full = folder + name;
      if (isExecutableFile(full)) return full;
    }
    start = end + 1;
  }
  return std::nullopt;
}

}  // namespace meterwright::ExecutableSearch
