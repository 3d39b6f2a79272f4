#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/encoding/Uuid.h"
#include "core/files/FileLocations.h"
#include "core/files/FolderChangeWatch.h"
#include "core/settings/Environment.h"
#include "core/sync/cloud/CloudIgnoredFile.h"
#include "core/sync/protocol/CloudPairingGrant.h"
#include "core/sync/protocol/CloudPairingRequest.h"
#include "core/sync/protocol/SyncEnvelope.h"
#include "core/sync/protocol/SyncResult.h"
#include "core/sync/protocol/SyncTransport.h"
#include "core/time/Clock.h"

namespace meterwright {

// The "iCloud" route, carried by a folder that the user's own sync tool (Syncthing, Nextcloud,
// Dropbox, a network share) replicates between machines. The container is that folder; the zone
// "Sync" is a sub-folder of it; every record is one JSON file there, named after the record and
// replaced atomically. It carries sealed envelopes (one mailbox record per recipient, so only the
// newest envelope for a device survives) and the two pairing records: a device's request and the
// computer's grant. Envelope contents are sealed before they get here and never looked into.
//
// Both ends use the same class: the computer sends, reads requests and grants; a device fetches
// its mailbox, asks and reads its grant.
//
// Threads: start() and send() return at once; the preparation and every send run on one worker
// thread the transport owns, joined by stop() and the destructor. The other operations block the
// caller for a bounded spell of local file I/O, so callers run them off their main thread. One
// lock guards the availability state and is never held across file I/O; the public operations
// may be called from any thread. Callbacks (onEnvelope) run on the worker or the watch thread and
// must not call stop() or destroy the transport.
class CloudKitTransport final : public SyncTransport {
 public:
  static constexpr std::string_view containerID = "iCloud.dev.velmora.meterwright";
  // Replaces the default container folder when set to an absolute path.
  static constexpr std::string_view containerVariable = "METERWRIGHT_CLOUD_CONTAINER";

  // $METERWRIGHT_CLOUD_CONTAINER when it is an absolute path, otherwise
  // <data>/Meterwright/cloud/iCloud.dev.velmora.meterwright.
  static std::filesystem::path containerFolder(const FileLocations& locations,
                                               const Environment& environment);
  // "Entitled": the container folder exists and is a folder (a link to one counts, so the user
  // may link it into a synced folder). The transport is only built when this holds.
  static bool isEntitled(const std::filesystem::path& container);
  // What the diagnostics print beside the container identifier: the container folder's path.
  static std::optional<std::string> containerEnvironment(const std::filesystem::path& container);

  // Nothing is touched until start(). `watch` may be null: subscribeToChanges() then does
  // nothing. `clock` dates the records written.
  CloudKitTransport(Uuid deviceID, std::filesystem::path container,
                    std::shared_ptr<const Clock> clock, std::shared_ptr<FolderChangeWatch> watch);
  ~CloudKitTransport() override;

  CloudKitTransport(const CloudKitTransport&) = delete;
  CloudKitTransport& operator=(const CloudKitTransport&) = delete;

  std::string name() const override { return "iCloud"; }
  // Running and the account check passed.
  bool isAvailable() const override;
  double typicalLatency() const override { return 8; }

  // Marks the transport running and queues the account check (the container can be listed, a
  // probe written into the zone folder, read back and removed); a success then fetches once.
  // Returns at once and always succeeds: a failed check shows in unavailableReason().
  SyncResult<void> start() override;
  // Not running, not checked, not available; the recorded failure text stays. Stops the change
  // watch and waits for queued work to finish.
  void stop() override;

  // Writes the envelope into the mailbox record of each device in turn, on the worker thread.
  // Dropped at once (not queued) while the transport is not available. A device whose mailbox
  // cannot be written records the failure and the others are still written.
  void send(const SyncEnvelope& envelope, const std::vector<Uuid>& deviceIDs) override;

  // "Not started", "Asking iCloud whether it can carry readings…", the recorded failure, or the
  // no-account text; nothing while available.
  std::optional<std::string> unavailableReason() const;
  // Whether the account check has finished, waiting up to `timeout` seconds for it.
  bool waitUntilChecked(double timeout) const;
  // True when no send is in progress, waiting up to `timeout` seconds for that.
  bool waitUntilIdle(double timeout) const;

  // Computer side. The device's pairing request when there is one that decodes completely, was
  // asked no more than 900 seconds before `now` and is of a version this program speaks.
  std::optional<CloudPairingRequest> pendingRequest(Date now);
  // Writes the grant for `deviceID`; false (and the transport unavailable) when it cannot.
  bool grant(const CloudPairingGrant& grant, const Uuid& deviceID);
  // Removes the pairing request record; failures are ignored.
  void withdrawRequest();

  // Device side. Writes this device's pairing request; false when it cannot.
  bool askToPair(const CloudPairingRequest& request);
  // The computer's grant for this device, when there is one of a version this program speaks.
  std::optional<CloudPairingGrant> fetchGrant();
  // Reads this device's mailbox once and hands a decodable envelope to onEnvelope (on the
  // calling thread).
  void fetch();
  // Starts the change watch on the zone folder: whenever this device's mailbox is replaced,
  // fetch() runs on the watch's thread. Does nothing while unavailable or without a watch.
  void subscribeToChanges();

  // Writes a "selftest-…" record, reads it back and removes it, whatever the availability state.
  // The text "wrote a Envelope, read it back, and removed it", or the failed step's error
  // (transportFailed with its description).
  SyncResult<std::string> selfTest();

  // Files of the zone folder passed over by the latest reads (sync-tool leftovers, links,
  // fifos, oversized or undecodable records), newest last, at most a few dozen.
  std::vector<CloudIgnoredFile> ignoredFiles() const;

  const Uuid& deviceID() const;
  const std::filesystem::path& container() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace meterwright
