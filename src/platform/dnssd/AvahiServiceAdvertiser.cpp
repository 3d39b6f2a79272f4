#include "platform/dnssd/AvahiServiceAdvertiser.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <avahi-common/timeval.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>

namespace meterwright {

namespace {

struct Service {
  std::string type;
  std::string name;
  std::uint16_t port = 0;
  bool operator==(const Service&) const = default;
};

// Renaming after a collision normally needs one step; the bound only stops a daemon that keeps
// answering "collision" from holding the loop thread forever.
constexpr int maximumRenames = 20;

std::string avahiText(int error) {
  return avahi_strerror(error);
}

}  // namespace

// The callers' threads and the loop thread share only what the mutex guards. The rest belongs to
// the loop thread: Avahi callbacks touch it (the threaded poll runs them with its own lock held),
// and the constructor and destructor only before the thread starts and after it stopped; so no
// caller ever takes the poll's lock or waits on a D-Bus call the loop is making.
struct AvahiServiceAdvertiser::Loop {
  explicit Loop(std::chrono::milliseconds retryDelay) : retryDelay(retryDelay) {}

  // Shared with the callers' threads.
  mutable std::mutex mutex;
  std::optional<Service> wanted;
  std::uint64_t version = 0;
  // What the loop last said about version `problemVersion` of `wanted`; until it has handled the
  // newest version there is nothing to say.
  std::optional<std::string> problemText;
  std::uint64_t problemVersion = 0;
  // Set once when the loop itself could not be set up; advertising then only reports this.
  std::optional<std::string> startFailure;

  // The loop thread's own.
  std::chrono::milliseconds retryDelay;
  AvahiThreadedPoll* poll = nullptr;
  int wakeFd = -1;
  AvahiTimeout* retryTimer = nullptr;
  bool retryPending = false;
  AvahiClient* client = nullptr;
  bool creatingClient = false;
  AvahiEntryGroup* group = nullptr;
  // What the group holds or is being made to hold; `committed` once it was handed to the daemon.
  std::optional<Service> target;
  std::uint64_t targetVersion = 0;
  std::string currentName;
  bool committed = false;
  std::optional<std::string> collisionNote;
  std::optional<std::string> condition;

  void start() {
    wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd < 0) {
      startFailure = "cannot start the Avahi client: " + std::string(std::strerror(errno));
      return;
    }
    poll = avahi_threaded_poll_new();
    if (!poll) {
      startFailure = "cannot start the Avahi client: " + avahiText(AVAHI_ERR_NO_MEMORY);
      return;
    }
    const AvahiPoll* api = avahi_threaded_poll_get(poll);
    // Created before the thread runs, so no lock is needed yet.
    AvahiWatch* watch = api->watch_new(api, wakeFd, AVAHI_WATCH_IN, &Loop::onWake, this);
    retryTimer = api->timeout_new(api, nullptr, &Loop::onRetry, this);
    if (!watch || !retryTimer || avahi_threaded_poll_start(poll) < 0) {
      startFailure = "cannot start the Avahi client's thread";
      avahi_threaded_poll_free(poll);
      poll = nullptr;
    }
  }

  void stop() {
    if (poll) {
      // The order Avahi asks for: stop the thread, free the client (which frees the group, and
      // closing its bus connection makes the daemon withdraw the service), then the poll with the
      // watch and timer it still holds.
      avahi_threaded_poll_stop(poll);
      if (client) avahi_client_free(client);
      avahi_threaded_poll_free(poll);
    }
    if (wakeFd >= 0) ::close(wakeFd);
  }

  void wake() {
    std::uint64_t one = 1;
    // A full counter (EAGAIN) already means a wake-up is pending.
    [[maybe_unused]] auto written = ::write(wakeFd, &one, sizeof one);
  }

  // -- loop thread --

  static void onWake(AvahiWatch*, int fd, AvahiWatchEvent, void* self) {
    std::uint64_t count = 0;
    [[maybe_unused]] auto got = ::read(fd, &count, sizeof count);
    static_cast<Loop*>(self)->update();
  }

  static void onRetry(AvahiTimeout*, void* self) { static_cast<Loop*>(self)->retry(); }

  static void onClientState(AvahiClient* client, AvahiClientState state, void* self) {
    static_cast<Loop*>(self)->clientChanged(client, state);
  }

  static void onGroupState(AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
    static_cast<Loop*>(self)->groupChanged(group, state);
  }

  void scheduleRetry(std::chrono::milliseconds delay) {
    timeval when{};
    avahi_elapse_time(&when, static_cast<unsigned>(delay.count()), 0);
    avahi_threaded_poll_get(poll)->timeout_update(retryTimer, &when);
    retryPending = true;
  }

  void cancelRetry() {
    avahi_threaded_poll_get(poll)->timeout_update(retryTimer, nullptr);
    retryPending = false;
  }

  void publish() {
    std::lock_guard lock(mutex);
    problemText = condition;
    problemVersion = targetVersion;
  }

  // Brings the daemon's view in line with what is wanted; safe to call at any time.
  void update() {
    takeWanted();
    if (!target) {
      condition.reset();
    } else if (!client && retryPending) {
      // Keep the reason until the retry.
    } else if (!client && !createClient()) {
      // createClient left the reason.
    } else {
      followClientState();
    }
    publish();
  }

  void takeWanted() {
    std::optional<Service> now;
    {
      std::lock_guard lock(mutex);
      now = wanted;
      targetVersion = version;
    }
    if (now == target) return;
    if (group && committed) avahi_entry_group_reset(group);
    committed = false;
    // A new service is tried at once rather than after a wait meant for the old one.
    cancelRetry();
    collisionNote.reset();
    target = now;
    if (target) currentName = target->name;
  }

  bool createClient() {
    int error = AVAHI_OK;
    creatingClient = true;
    // NO_FAIL: with the bus there but not the daemon, the client waits for it (CONNECTING).
    AvahiClient* made = avahi_client_new(avahi_threaded_poll_get(poll), AVAHI_CLIENT_NO_FAIL,
                                         &Loop::onClientState, this, &error);
    creatingClient = false;
    client = made;
    if (made) return true;
    group = nullptr;
    condition = "cannot reach avahi-daemon over the system bus: " + avahiText(error);
    scheduleRetry(retryDelay);
    return false;
  }

  void clientChanged(AvahiClient* changed, AvahiClientState state) {
    // The first call comes from inside avahi_client_new, before `client` is set.
    client = changed;
    if (creatingClient) return;
    if (state == AVAHI_CLIENT_S_REGISTERING || state == AVAHI_CLIENT_S_COLLISION) {
      // The daemon is (re)naming this host; it drops our records and we add them again once it
      // runs.
      if (group && committed) avahi_entry_group_reset(group);
      committed = false;
    } else if (state == AVAHI_CLIENT_FAILURE) {
      // The connection is gone and the daemon has dropped the records with it.
      committed = false;
    }
    update();
  }

  void followClientState() {
    switch (avahi_client_get_state(client)) {
      case AVAHI_CLIENT_CONNECTING:
        condition = "avahi-daemon is not running";
        break;
      case AVAHI_CLIENT_S_REGISTERING:
        condition = "avahi-daemon is still registering this computer's host name";
        break;
      case AVAHI_CLIENT_S_COLLISION:
        condition = "this computer's host name is taken on the local network";
        break;
      case AVAHI_CLIENT_FAILURE: {
        int error = avahi_client_errno(client);
        condition = error == AVAHI_ERR_DISCONNECTED
                        ? "avahi-daemon is not running"
                        : "the connection to avahi-daemon failed: " + avahiText(error);
        if (!retryPending) {
          // A daemon that went away (restart) is waited for at once by a fresh client.
          scheduleRetry(error == AVAHI_ERR_DISCONNECTED ? std::chrono::milliseconds(0)
                                                        : retryDelay);
        }
        break;
      }
      case AVAHI_CLIENT_S_RUNNING:
        if (!committed && !retryPending) registerService();
        break;
    }
  }

  void registerService() {
    if (!group) {
      group = avahi_entry_group_new(client, &Loop::onGroupState, this);
      if (!group) return refused(avahi_client_errno(client));
    }
    avahi_entry_group_reset(group);
    for (int renames = 0;; ++renames) {
      int result = avahi_entry_group_add_service_strlst(
          group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), currentName.c_str(),
          target->type.c_str(), nullptr, nullptr, target->port, nullptr);
      if (result == AVAHI_ERR_COLLISION && renames < maximumRenames) {
        rename();
        continue;
      }
      if (result < 0) return refused(result);
      break;
    }
    if (int result = avahi_entry_group_commit(group); result < 0) return refused(result);
    committed = true;
    condition = collisionNote;
  }

  void refused(int error) {
    if (group) avahi_entry_group_reset(group);
    committed = false;
    condition = "avahi-daemon refused the service: " + avahiText(error);
    // A name or type the daemon calls invalid stays invalid: trying it again is no use.
    bool invalid = error == AVAHI_ERR_INVALID_SERVICE_NAME ||
                   error == AVAHI_ERR_INVALID_SERVICE_TYPE || error == AVAHI_ERR_INVALID_PORT;
    if (!invalid) scheduleRetry(retryDelay);
  }

  // Another service on the network already has the name: announce under Avahi's next
  // alternative ("NAME #2") and say so, since devices look for the Mac under its own name.
  void rename() {
    char* next = avahi_alternative_service_name(currentName.c_str());
    if (!next) return;
    currentName = next;
    avahi_free(next);
    collisionNote = "another service on the local network is already called \"" + target->name +
                    "\" (another Meterwright with the same identity?); announced as \"" +
                    currentName + "\" instead";
  }

  void groupChanged(AvahiEntryGroup* changed, AvahiEntryGroupState state) {
    // As with the client, the first call comes from inside avahi_entry_group_new.
    group = changed;
    switch (state) {
      case AVAHI_ENTRY_GROUP_ESTABLISHED:
        condition = collisionNote;
        publish();
        break;
      case AVAHI_ENTRY_GROUP_COLLISION:
        if (!committed || !target) break;
        rename();
        committed = false;
        update();
        break;
      case AVAHI_ENTRY_GROUP_FAILURE:
        if (!committed || !client) break;
        refused(avahi_client_errno(client));
        publish();
        break;
      case AVAHI_ENTRY_GROUP_UNCOMMITED:
      case AVAHI_ENTRY_GROUP_REGISTERING:
        break;
    }
  }

  void retry() {
    retryPending = false;
    if (client && avahi_client_get_state(client) == AVAHI_CLIENT_FAILURE) {
      // A failed client never recovers; freeing it here rather than in its own callback.
      avahi_client_free(client);
      client = nullptr;
      group = nullptr;
      committed = false;
    }
    update();
  }
};

AvahiServiceAdvertiser::AvahiServiceAdvertiser(std::chrono::milliseconds retryDelay)
    : loop_(std::make_unique<Loop>(retryDelay)) {
  loop_->start();
}

AvahiServiceAdvertiser::~AvahiServiceAdvertiser() {
  loop_->stop();
}

void AvahiServiceAdvertiser::advertise(const std::string& type, const std::string& name,
                                       std::uint16_t port) {
  {
    std::lock_guard lock(loop_->mutex);
    Service service{type, name, port};
    if (loop_->wanted == service) return;
    loop_->wanted = std::move(service);
    ++loop_->version;
    if (loop_->startFailure) return;
  }
  loop_->wake();
}

void AvahiServiceAdvertiser::withdraw() {
  {
    std::lock_guard lock(loop_->mutex);
    if (!loop_->wanted) return;
    loop_->wanted.reset();
    ++loop_->version;
    if (loop_->startFailure) return;
  }
  loop_->wake();
}

std::optional<std::string> AvahiServiceAdvertiser::problem() const {
  std::lock_guard lock(loop_->mutex);
  if (!loop_->wanted) return std::nullopt;
  if (loop_->startFailure) return loop_->startFailure;
  if (loop_->problemVersion != loop_->version) return std::nullopt;
  return loop_->problemText;
}

}  // namespace meterwright
