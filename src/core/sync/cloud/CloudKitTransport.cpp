#include "core/sync/cloud/CloudKitTransport.h"

namespace meterwright {

// Interface only for now: the folder store behind it follows.
struct CloudKitTransport::Impl {
  Uuid deviceID;
  std::filesystem::path container;
};

std::filesystem::path CloudKitTransport::containerFolder(const FileLocations& locations,
                                                         const Environment& environment) {
  if (auto value = environment(std::string(containerVariable).c_str());
      value && !value->empty() && std::filesystem::path(*value).is_absolute()) {
    return *value;
  }
  return locations.supportFolder() / "cloud" / std::string(containerID);
}

bool CloudKitTransport::isEntitled(const std::filesystem::path& container) {
  std::error_code error;
  return std::filesystem::is_directory(container, error);
}

std::optional<std::string> CloudKitTransport::containerEnvironment(
    const std::filesystem::path& container) {
  return container.string();
}

CloudKitTransport::CloudKitTransport(Uuid deviceID, std::filesystem::path container,
                                     std::shared_ptr<const Clock>,
                                     std::shared_ptr<FolderChangeWatch>)
    : impl_(std::make_unique<Impl>(Impl{deviceID, std::move(container)})) {}
CloudKitTransport::~CloudKitTransport() = default;

bool CloudKitTransport::isAvailable() const {
  return false;
}
SyncResult<void> CloudKitTransport::start() {
  return {};
}
void CloudKitTransport::stop() {}
void CloudKitTransport::send(const SyncEnvelope&, const std::vector<Uuid>&) {}
std::optional<std::string> CloudKitTransport::unavailableReason() const {
  return "Not started";
}
bool CloudKitTransport::waitUntilChecked(double) const {
  return false;
}
bool CloudKitTransport::waitUntilIdle(double) const {
  return true;
}
std::optional<CloudPairingRequest> CloudKitTransport::pendingRequest(Date) {
  return std::nullopt;
}
bool CloudKitTransport::grant(const CloudPairingGrant&, const Uuid&) {
  return false;
}
void CloudKitTransport::withdrawRequest() {}
bool CloudKitTransport::askToPair(const CloudPairingRequest&) {
  return false;
}
std::optional<CloudPairingGrant> CloudKitTransport::fetchGrant() {
  return std::nullopt;
}
void CloudKitTransport::fetch() {}
void CloudKitTransport::subscribeToChanges() {}
SyncResult<std::string> CloudKitTransport::selfTest() {
  return SyncError::transportFailed("Not built yet");
}
std::vector<CloudIgnoredFile> CloudKitTransport::ignoredFiles() const {
  return {};
}
const Uuid& CloudKitTransport::deviceID() const {
  return impl_->deviceID;
}
const std::filesystem::path& CloudKitTransport::container() const {
  return impl_->container;
}

}  // namespace meterwright
