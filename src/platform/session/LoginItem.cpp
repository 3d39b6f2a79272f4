#include "platform/session/LoginItem.h"

#include <system_error>

#include "core/files/AtomicFile.h"
#include "platform/files/ProgramFiles.h"

namespace meterwright {

namespace {

// The line that tells this program's entries from others of the same name.
constexpr const char* mark = "X-Meterwright-Autostart=true";

// One Exec argument as the desktop entry rules read it: quoted when it holds a reserved
// character, with ", `, $ and \ escaped inside the quotes; then % doubled for field codes and
// every backslash doubled again, because the whole key is also a string value.
std::optional<std::string> execArgument(const std::string& argument) {
  const std::string reserved = " \t\"'\\><~|&;$*?#()`";
  bool quote = argument.find_first_of(reserved) != std::string::npos;
  std::string quoted = quote ? "\"" : "";
  for (char c : argument) {
    if (c == '\n' || c == '\r' || c == '\0') return std::nullopt;
    if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) quoted += '\\';
    quoted += c;
  }
  if (quote) quoted += '"';
  std::string value;
  for (char c : quoted) {
    if (c == '%') value += '%';
    if (c == '\\') value += '\\';
    value += c;
  }
  return value;
}

}  // namespace

LoginItem::LoginItem(std::filesystem::path autostartFolder, std::string executable)
    : path_(std::move(autostartFolder) / "meterwright.desktop"),
      executable_(std::move(executable)) {}

LoginItem LoginItem::forProcess(const Environment& environment, const std::filesystem::path& home) {
  std::filesystem::path config = home / ".config";
  if (auto value = environment("XDG_CONFIG_HOME");
      value && !value->empty() && value->front() == '/')
    config = *value;
  return LoginItem(config / "autostart", ProgramFiles::commandLineProgram().string());
}

std::optional<std::string> LoginItem::entry(const std::string& executable) {
  auto exec = execArgument(executable);
  if (!exec || executable.empty() || executable.front() != '/') return std::nullopt;
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Meterwright\n"
         "Comment=How much of their quota windows your AI coding agents have left\n"
         "Exec=" +
         *exec +
         "\n"
         "Icon=dev.velmora.meterwright\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n" +
         mark + "\n";
}

LoginItem::Status LoginItem::status() const {
  auto file = FileReading::read(path_, 64 * 1024);
  if (file.outcome == FileReading::Outcome::missing) return Status::notRegistered;
  if (file.outcome == FileReading::Outcome::read &&
      file.bytes.find(std::string("\n") + mark + "\n") != std::string::npos)
    return Status::enabled;
  return Status::foreign;
}

std::optional<LoginItem::Failure> LoginItem::set(bool enabled) const {
  Status current = status();
  if (!enabled) {
    if (current != Status::enabled) return std::nullopt;
    std::error_code error;
    if (!std::filesystem::remove(path_, error) && error)
      return Failure{Failure::Kind::removeFailed, path_.string()};
    return std::nullopt;
  }
  if (current == Status::foreign) return Failure{Failure::Kind::foreignEntry, path_.string()};
  auto text = entry(executable_);
  if (!text) return Failure{Failure::Kind::unrepresentablePath, executable_};
  if (!AtomicFile::createFolders(path_.parent_path(), 0700) || !AtomicFile::write(path_, *text))
    return Failure{Failure::Kind::writeFailed, path_.string()};
  return std::nullopt;
}

}  // namespace meterwright
