#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/files/FolderChangeWatch.h"

namespace meterwright {

// FolderChangeWatch with inotify: one thread polls the watch and a wake-up pipe, so stop()
// returns as soon as the thread has seen the pipe.
class InotifyChangeWatch final : public FolderChangeWatch {
 public:
  InotifyChangeWatch();
  ~InotifyChangeWatch() override;

  InotifyChangeWatch(const InotifyChangeWatch&) = delete;
  InotifyChangeWatch& operator=(const InotifyChangeWatch&) = delete;

  bool start(const std::filesystem::path& folder,
             std::function<void(const std::string& fileName)> onChange) override;
  void stop() override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright
