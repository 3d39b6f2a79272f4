#include "core/sync/cloud/CloudKitTransport.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "core/sync/cloud/CloudFileNames.h"
#include "core/sync/cloud/CloudFolderStore.h"
#include "core/sync/cloud/CloudRecordCoding.h"
#include "core/sync/cloud/CloudRecords.h"
#include "core/sync/protocol/SyncCoding.h"
#include "core/text/LocalizedModule.h"

namespace meterwright {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

namespace {

// The account check is local file I/O; a folder that takes longer than this is a network share
// that is not answering, and a route that slow would not carry readings in time anyway.
constexpr auto accountCheckDeadline = std::chrono::seconds(10);
constexpr std::size_t ignoredFilesKept = 32;

SteadyClock::time_point deadlineAfter(double seconds) {
  auto now = SteadyClock::now();
  if (!(seconds > 0)) return now;
  // About thirty years: far enough to mean "no deadline", near enough not to overflow.
  if (seconds > 1e9) seconds = 1e9;
  return now + std::chrono::duration_cast<SteadyClock::duration>(Seconds(seconds));
}

std::string noAccountText() {
  // The account of the original wording is the container folder here.
  return L("cloud.noAccount",
           "No iCloud folder on this computer. Create it inside a folder your sync tool "
           "replicates and Meterwright can reach your other devices from anywhere.");
}

}  // namespace

struct CloudKitTransport::Impl {
  Impl(CloudKitTransport& owner, Uuid deviceID, fs::path container,
       std::shared_ptr<const Clock> clock, std::shared_ptr<FolderChangeWatch> watch)
      : owner(owner),
        deviceID(deviceID),
        container(container),
        clock(std::move(clock)),
        watch(std::move(watch)),
        store(std::move(container)) {}

  CloudKitTransport& owner;
  const Uuid deviceID;
  const fs::path container;
  const std::shared_ptr<const Clock> clock;
  const std::shared_ptr<FolderChangeWatch> watch;
  const CloudFolderStore store;

  // The availability state; never held across file I/O.
  mutable std::mutex stateLock;
  mutable std::condition_variable checkedChanged;
  bool running = false;
  bool checked = false;
  bool accountAvailable = false;
  std::optional<std::string> failure;
  // Counts start() calls, so a preparation that outlives a stop() cannot mark a later run checked.
  std::uint64_t generation = 0;

  // Whether the change watch runs; subscribeToChanges() and stop() start and stop it under this
  // lock, so a stop cannot slip between deciding to watch and starting to.
  std::mutex watchLock;
  bool watching = false;

  // Sends in progress.
  mutable std::mutex inFlightLock;
  mutable std::condition_variable inFlightChanged;
  long inFlight = 0;

  // The worker: runs the preparation and the sends one after another, in the order given, so two
  // sends to one device leave the later envelope.
  std::mutex queueLock;
  std::condition_variable queueChanged;
  std::deque<std::function<void()>> queue;
  bool quitting = false;
  std::thread worker;

  mutable std::mutex ignoredLock;
  std::deque<CloudIgnoredFile> ignored;

  bool isAvailable() const {
    std::lock_guard lock(stateLock);
    return running && accountAvailable;
  }

  void recordUnavailable(std::string text) {
    {
      std::lock_guard lock(stateLock);
      checked = true;
      accountAvailable = false;
      failure = std::move(text);
    }
    checkedChanged.notify_all();
  }

  void note(const std::string& fileName, std::string reason) {
    std::lock_guard lock(ignoredLock);
    std::erase_if(ignored, [&](const CloudIgnoredFile& file) { return file.fileName == fileName; });
    ignored.push_back({fileName, std::move(reason)});
    while (ignored.size() > ignoredFilesKept) ignored.pop_front();
  }

  // What a read of a record found that is not the record: missing is nothing to report; a bad
  // file is ignored and noted; a folder that cannot be read makes the route unavailable.
  void readFailed(std::string_view recordName, const CloudStoreProblem& problem) {
    if (problem.kind == CloudStoreProblem::Kind::missing) return;
    if (problem.isBadFile()) {
      note(CloudFileNames::fileName(recordName).value_or(std::string(recordName)), problem.text);
    } else {
      recordUnavailable(problem.text);
    }
  }

  void noteUnexpected(std::string_view recordName) {
    auto file = CloudFileNames::fileName(recordName).value_or(std::string(recordName));
    note(file, L("cloud.file.unexpected", "%@ does not hold what its name promises.",
                 (store.zoneFolder() / file).string()));
  }

  // Nothing when the zone has no such record or it could not be used (noted as above).
  std::optional<CloudRecord> fetchRecord(std::string_view recordName) {
    auto fetched = store.fetch(recordName);
    if (fetched.problem) readFailed(recordName, *fetched.problem);
    return std::move(fetched.record);
  }

  CloudRecord stamped(CloudRecord record) const {
    record.modifiedAt = clock->now();
    return record;
  }

  // False when the write failed, which leaves the route unavailable.
  bool savePairingRecord(std::string_view recordName, const std::optional<CloudRecord>& record) {
    if (!isAvailable()) return false;
    if (!record) return false;
    if (auto problem = store.save(recordName, stamped(*record))) {
      recordUnavailable(problem->text);
      return false;
    }
    return true;
  }

  // False when the worker is not running (the transport is stopped): the job is dropped.
  bool enqueue(std::function<void()> job) {
    {
      std::lock_guard lock(queueLock);
      if (!worker.joinable() || quitting) return false;
      queue.push_back(std::move(job));
    }
    queueChanged.notify_one();
    return true;
  }

  void runWorker() {
    for (;;) {
      std::function<void()> job;
      {
        std::unique_lock lock(queueLock);
        queueChanged.wait(lock, [&] { return quitting || !queue.empty(); });
        // Work queued before stop() still runs: a send in flight finishes, as a task would.
        if (queue.empty()) return;
        job = std::move(queue.front());
        queue.pop_front();
      }
      job();
    }
  }

  void stopWorker() {
    std::thread finished;
    {
      std::lock_guard lock(queueLock);
      quitting = true;
      finished = std::move(worker);
    }
    queueChanged.notify_all();
    if (finished.joinable()) {
      if (finished.get_id() == std::this_thread::get_id()) {
        finished.detach();
      } else {
        finished.join();
      }
    }
    std::lock_guard lock(queueLock);
    quitting = false;
  }

  void prepare(std::uint64_t run) {
    auto started = SteadyClock::now();
    auto problem = store.check();
    std::optional<std::string> text;
    if (problem) {
      text = problem->kind == CloudStoreProblem::Kind::missing ? noAccountText() : problem->text;
    } else if (SteadyClock::now() - started > accountCheckDeadline) {
      text = L("cloud.unreachable", "iCloud could not be reached. Trying again later.");
    }
    {
      std::lock_guard lock(stateLock);
      if (run != generation || !running) return;
      checked = true;
      accountAvailable = !text;
      failure = std::move(text);
    }
    checkedChanged.notify_all();
    if (problem) return;
    for (auto& stray : store.strayFiles(ignoredFilesKept)) note(stray.fileName, stray.reason);
    owner.fetch();
  }

  void deliver(const std::string& envelopeJson, const Uuid& senderID,
               const std::vector<Uuid>& deviceIDs, Date sentAt) {
    for (const auto& deviceID : deviceIDs) {
      auto record = stamped(CloudRecords::envelopeRecord(senderID, envelopeJson, sentAt));
      if (auto problem = store.save(CloudRecords::mailboxName(deviceID), record)) {
        {
          std::lock_guard lock(stateLock);
          checked = true;
          failure = problem->text;
        }
        checkedChanged.notify_all();
      }
    }
  }

  void finishSend() {
    {
      std::lock_guard lock(inFlightLock);
      --inFlight;
    }
    inFlightChanged.notify_all();
  }
};

fs::path CloudKitTransport::containerFolder(const FileLocations& locations,
                                            const Environment& environment) {
  if (auto value = environment(std::string(containerVariable).c_str());
      value && !value->empty() && fs::path(*value).is_absolute()) {
    return *value;
  }
  return locations.supportFolder() / "cloud" / std::string(containerID);
}

bool CloudKitTransport::isEntitled(const fs::path& container) {
  std::error_code error;
  return fs::is_directory(container, error);
}

std::optional<std::string> CloudKitTransport::containerEnvironment(const fs::path& container) {
  return container.string();
}

CloudKitTransport::CloudKitTransport(Uuid deviceID, fs::path container,
                                     std::shared_ptr<const Clock> clock,
                                     std::shared_ptr<FolderChangeWatch> watch)
    : impl_(std::make_unique<Impl>(*this, deviceID, std::move(container), std::move(clock),
                                   std::move(watch))) {}

CloudKitTransport::~CloudKitTransport() {
  stop();
}

bool CloudKitTransport::isAvailable() const {
  return impl_->isAvailable();
}

SyncResult<void> CloudKitTransport::start() {
  std::uint64_t run;
  {
    std::lock_guard lock(impl_->stateLock);
    impl_->running = true;
    run = ++impl_->generation;
  }
  {
    std::lock_guard lock(impl_->queueLock);
    if (!impl_->worker.joinable()) impl_->worker = std::thread([this] { impl_->runWorker(); });
  }
  impl_->enqueue([this, run] { impl_->prepare(run); });
  return {};
}

void CloudKitTransport::stop() {
  {
    std::lock_guard lock(impl_->stateLock);
    impl_->running = false;
    impl_->checked = false;
    impl_->accountAvailable = false;
  }
  impl_->checkedChanged.notify_all();
  {
    std::lock_guard lock(impl_->watchLock);
    if (std::exchange(impl_->watching, false)) impl_->watch->stop();
  }
  impl_->stopWorker();
}

void CloudKitTransport::send(const SyncEnvelope& envelope, const std::vector<Uuid>& deviceIDs) {
  if (!isAvailable()) return;
  auto json = SyncCoding::encode(envelope);
  if (!json) return;
  {
    std::lock_guard lock(impl_->inFlightLock);
    ++impl_->inFlight;
  }
  Date sentAt = impl_->clock->now();
  bool queued = impl_->enqueue(
      [this, json = std::move(*json), sender = envelope.senderID, deviceIDs, sentAt] {
        impl_->deliver(json, sender, deviceIDs, sentAt);
        impl_->finishSend();
      });
  if (!queued) impl_->finishSend();
}

std::optional<std::string> CloudKitTransport::unavailableReason() const {
  std::lock_guard lock(impl_->stateLock);
  if (!impl_->running) return L("cloud.notStarted", "Not started");
  if (!impl_->checked) {
    return L("cloud.checking", "Asking iCloud whether it can carry readings…");
  }
  if (impl_->accountAvailable) return std::nullopt;
  return impl_->failure.value_or(noAccountText());
}

bool CloudKitTransport::waitUntilChecked(double timeout) const {
  auto deadline = deadlineAfter(timeout);
  std::unique_lock lock(impl_->stateLock);
  impl_->checkedChanged.wait_until(lock, deadline, [&] { return impl_->checked; });
  return impl_->checked;
}

bool CloudKitTransport::waitUntilIdle(double timeout) const {
  auto deadline = deadlineAfter(timeout);
  std::unique_lock lock(impl_->inFlightLock);
  impl_->inFlightChanged.wait_until(lock, deadline, [&] { return impl_->inFlight < 1; });
  return impl_->inFlight < 1;
}

std::optional<CloudPairingRequest> CloudKitTransport::pendingRequest(Date now) {
  if (!isAvailable()) return std::nullopt;
  auto record = impl_->fetchRecord(CloudRecords::requestName);
  if (!record) return std::nullopt;
  if (!CloudRecords::requestFrom(*record)) {
    impl_->noteUnexpected(CloudRecords::requestName);
    return std::nullopt;
  }
  return CloudRecords::pendingRequestFrom(*record, now);
}

bool CloudKitTransport::grant(const CloudPairingGrant& grant, const Uuid& deviceID) {
  return impl_->savePairingRecord(CloudRecords::grantName(deviceID),
                                  CloudRecords::grantRecord(grant));
}

void CloudKitTransport::withdrawRequest() {
  if (!isAvailable()) return;
  impl_->store.remove(CloudRecords::requestName);
}

bool CloudKitTransport::askToPair(const CloudPairingRequest& request) {
  return impl_->savePairingRecord(CloudRecords::requestName, CloudRecords::requestRecord(request));
}

std::optional<CloudPairingGrant> CloudKitTransport::fetchGrant() {
  if (!isAvailable()) return std::nullopt;
  auto name = CloudRecords::grantName(impl_->deviceID);
  auto record = impl_->fetchRecord(name);
  if (!record) return std::nullopt;
  if (!CloudRecords::grantFrom(*record)) {
    impl_->noteUnexpected(name);
    return std::nullopt;
  }
  return CloudRecords::acceptedGrantFrom(*record);
}

void CloudKitTransport::fetch() {
  if (!isAvailable()) return;
  auto name = CloudRecords::mailboxName(impl_->deviceID);
  auto record = impl_->fetchRecord(name);
  if (!record) return;
  auto envelope = CloudRecords::envelopeFrom(*record);
  if (!envelope) {
    impl_->noteUnexpected(name);
    return;
  }
  if (onEnvelope) onEnvelope(*envelope);
}

void CloudKitTransport::subscribeToChanges() {
  if (!impl_->watch) return;
  std::lock_guard lock(impl_->watchLock);
  if (impl_->watching || !isAvailable()) return;
  auto mailbox = CloudFileNames::fileName(CloudRecords::mailboxName(impl_->deviceID));
  // A sync tool renames the finished file into place, so the mailbox's own name is enough; its
  // temporaries and conflict copies carry other names and are never read.
  impl_->watching =
      impl_->watch->start(impl_->store.zoneFolder(), [this, mailbox](const std::string& fileName) {
        if (fileName == mailbox) fetch();
      });
}

SyncResult<std::string> CloudKitTransport::selfTest() {
  const auto name = CloudRecords::selfTestName(Uuid::random());
  auto record = impl_->stamped(CloudRecords::selfTestRecord(impl_->deviceID, impl_->clock->now()));
  auto failed = [&](std::string text) -> SyncResult<std::string> {
    impl_->store.remove(name);
    return SyncError::transportFailed(std::move(text));
  };
  if (auto problem = impl_->store.save(name, record)) return failed(problem->text);
  auto fetched = impl_->store.fetch(name);
  if (fetched.problem) {
    return failed(fetched.problem->kind == CloudStoreProblem::Kind::missing
                      ? L("cloud.selfTest.vanished", "The record %@ was gone when read back.", name)
                      : fetched.problem->text);
  }
  // Compared in file form: dates come back rounded to the microsecond.
  if (CloudRecordCoding::encode(*fetched.record) != CloudRecordCoding::encode(record)) {
    return failed(L("cloud.selfTest.differs",
                    "The record %@ read back differs from what was written.", name));
  }
  if (auto problem = impl_->store.remove(name)) return SyncError::transportFailed(problem->text);
  return std::string("wrote a Envelope, read it back, and removed it");
}

std::vector<CloudIgnoredFile> CloudKitTransport::ignoredFiles() const {
  std::lock_guard lock(impl_->ignoredLock);
  return {impl_->ignored.begin(), impl_->ignored.end()};
}

const Uuid& CloudKitTransport::deviceID() const {
  return impl_->deviceID;
}

const fs::path& CloudKitTransport::container() const {
  return impl_->container;
}

}  // namespace meterwright
