#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "core/settings/Environment.h"

namespace meterwright {

// Starting the program when the user logs in to a desktop: an XDG autostart entry,
// <config>/autostart/meterwright.desktop, that starts this executable by its absolute path. The
// entry carries a mark of its own, so an entry of that name that the user or a package wrote is
// never changed or removed here. (Machines without a desktop use the systemd user unit in
// resources/systemd instead.)
class LoginItem {
 public:
  enum class Status {
    notRegistered,
    enabled,
    // An entry of that name that this program did not write.
    foreign,
  };

  struct Failure {
    enum class Kind { foreignEntry, unrepresentablePath, writeFailed, removeFailed };
    Kind kind;
    // The path involved, for people.
    std::string detail;

    bool operator==(const Failure&) const = default;
  };

  LoginItem(std::filesystem::path autostartFolder, std::string executable);

  // $XDG_CONFIG_HOME/autostart (else ~/.config/autostart) and the running executable.
  static LoginItem forProcess(const Environment& environment, const std::filesystem::path& home);

  const std::filesystem::path& path() const { return path_; }
  Status status() const;

  // Enabling writes the entry (again, so a moved executable is followed); disabling removes it
  // only when it is this program's. Nothing on success.
  std::optional<Failure> set(bool enabled) const;

  // The entry's text for `executable`; nothing when the path cannot be written in an Exec key.
  static std::optional<std::string> entry(const std::string& executable);

 private:
  std::filesystem::path path_;
  std::string executable_;
};

}  // namespace meterwright
