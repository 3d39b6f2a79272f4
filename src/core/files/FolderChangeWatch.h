#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace meterwright {

// Tells a component, on a thread of its own, which files of one folder were written or renamed
// into it. The core uses it to hear of new records in the cloud folder without polling; the Linux
// implementation (InotifyChangeWatch) watches with inotify, and tests may report names by hand.
class FolderChangeWatch {
 public:
  virtual ~FolderChangeWatch() = default;

  // Replaces any running watch. `onChange` gets the bare file name of each file that was closed
  // after writing or moved into `folder`, one call at a time, never on the caller's thread. False
  // (and nothing running) when the folder cannot be watched.
  virtual bool start(const std::filesystem::path& folder,
                     std::function<void(const std::string& fileName)> onChange) = 0;
  // Returns promptly, once `onChange` is not running and will not run again. Must not be called
  // from `onChange`.
  virtual void stop() = 0;
};

}  // namespace meterwright
