#include "platform/files/InotifyChangeWatch.h"

namespace meterwright {

struct InotifyChangeWatch::Impl {};

InotifyChangeWatch::InotifyChangeWatch() : impl_(std::make_unique<Impl>()) {}
InotifyChangeWatch::~InotifyChangeWatch() = default;

bool InotifyChangeWatch::start(const std::filesystem::path&,
                               std::function<void(const std::string&)>) {
  return false;
}

void InotifyChangeWatch::stop() {}

}  // namespace meterwright
