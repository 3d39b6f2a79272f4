#include "platform/power/PowerAssertion.h"

#include <gio/gunixfdlist.h>
#include <unistd.h>

#include "platform/dbus/BusAddress.h"
#include "platform/dbus/BusCalls.h"

namespace meterwright {

struct PowerAssertion::Inhibitor {
  Scheduler& scheduler;
  Options options;
  State state = State::released;
  int descriptor = -1;
  Scheduler::Token expiry = 0;
  // Moves on at every release, so an answer to an earlier request is not taken for a new one.
  unsigned generation = 0;

  Inhibitor(Scheduler& scheduler, Options options)
      : scheduler(scheduler), options(std::move(options)) {}
  ~Inhibitor() { close(); }

  void close() {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
  }

  void request(const std::shared_ptr<Inhibitor>& self) {
    state = State::requested;
    std::weak_ptr<Inhibitor> weak = self;
    unsigned asked = generation;
    // A connection per request: a held inhibitor is a descriptor, not a connection, and a system
    // bus that restarted meanwhile is simply found again.
    BusCalls::connect(BusAddress::system(options.environment), options.deadlineSeconds,
                      [weak, asked](glib::Object<GDBusConnection> connection, std::string) {
                        auto self = weak.lock();
                        if (!self || self->generation != asked) return;
                        if (!connection) {
                          self->state = State::refused;
                          return;
                        }
                        BusCalls::Method inhibit{
                            "org.freedesktop.login1",
                            "/org/freedesktop/login1",
                            "org.freedesktop.login1.Manager",
                            "Inhibit",
                            g_variant_new("(ssss)", "sleep", "Meterwright",
                                          "Meterwright is publishing a reading", "block"),
                            G_VARIANT_TYPE("(h)"),
                            /*autoStart=*/true};
                        BusCalls::call(
                            connection.get(), inhibit, self->options.deadlineSeconds,
                            [weak, asked](glib::Variant reply, glib::Error, GUnixFDList* fds) {
                              int descriptor = -1;
                              if (reply && fds) {
                                gint32 index = -1;
                                g_variant_get(reply.get(), "(h)", &index);
                                descriptor = g_unix_fd_list_get(fds, index, nullptr);
                              }
                              auto self = weak.lock();
                              if (!self || self->generation != asked) {
                                // Released (or gone) while logind was answering: let go at once.
                                if (descriptor >= 0) ::close(descriptor);
                                return;
                              }
                              self->descriptor = descriptor;
                              self->state = descriptor >= 0 ? State::held : State::refused;
                            },
                            /*wantsDescriptors=*/true);
                      });
  }
};

PowerAssertion::PowerAssertion(Scheduler& scheduler, Options options)
    : inhibitor_(std::make_shared<Inhibitor>(scheduler, std::move(options))) {}

PowerAssertion::~PowerAssertion() {
  inhibitor_->scheduler.cancel(inhibitor_->expiry);
}

void PowerAssertion::take(double cap) {
  auto& inhibitor = *inhibitor_;
  if (inhibitor.state != State::held && inhibitor.state != State::requested)
    inhibitor.request(inhibitor_);
  inhibitor.scheduler.cancel(inhibitor.expiry);
  // The destructor cancels it, so `this` outlives it.
  inhibitor.expiry = inhibitor.scheduler.after(cap, [this] { release(); });
}

void PowerAssertion::release() {
  auto& inhibitor = *inhibitor_;
  inhibitor.scheduler.cancel(inhibitor.expiry);
  inhibitor.expiry = 0;
  ++inhibitor.generation;
  inhibitor.close();
  inhibitor.state = State::released;
}

PowerAssertion::State PowerAssertion::state() const {
  return inhibitor_->state;
}

}  // namespace meterwright
