#include "platform/power/SuspendPolicy.h"

#include <memory>

#include "platform/dbus/BusAddress.h"
#include "platform/dbus/BusCalls.h"

namespace meterwright {

namespace {

constexpr const char* logind = "org.freedesktop.login1";
constexpr const char* managerPath = "/org/freedesktop/login1";
constexpr const char* manager = "org.freedesktop.login1.Manager";

std::string stringProperty(GVariant* properties, const char* name) {
  const gchar* value = nullptr;
  if (!g_variant_lookup(properties, name, "&s", &value) || !value) return "";
  return value;
}

}  // namespace

bool SuspendPolicy::suspends(const std::string& action) {
  return action == "suspend" || action == "hibernate" || action == "hybrid-sleep" ||
         action == "suspend-then-hibernate" || action == "sleep";
}

void SuspendPolicy::read(const EnvironmentBlock& environment, double deadlineSeconds,
                         std::function<void(std::optional<SuspendPolicy>)> done) {
  BusCalls::connect(
      BusAddress::system(environment), deadlineSeconds,
      [deadlineSeconds, done](glib::Object<GDBusConnection> connection, std::string) {
        if (!connection) return done(std::nullopt);
        std::shared_ptr<GDBusConnection> bus(connection.release(), g_object_unref);
        BusCalls::call(
            bus.get(),
            {logind, managerPath, "org.freedesktop.DBus.Properties", "GetAll",
             g_variant_new("(s)", manager), G_VARIANT_TYPE("(a{sv})"), true},
            deadlineSeconds,
            [bus, deadlineSeconds, done](glib::Variant reply, glib::Error, GUnixFDList*) {
              if (!reply) return done(std::nullopt);
              glib::Variant properties(g_variant_get_child_value(reply.get(), 0));
              auto policy = std::make_shared<SuspendPolicy>();
              policy->idleAction = stringProperty(properties.get(), "IdleAction");
              policy->lidAction = stringProperty(properties.get(), "HandleLidSwitch");
              BusCalls::call(bus.get(),
                             {logind, managerPath, manager, "CanSuspend", nullptr,
                              G_VARIANT_TYPE("(s)"), true},
                             deadlineSeconds,
                             [policy, done](glib::Variant reply, glib::Error, GUnixFDList*) {
                               if (!reply) return done(std::nullopt);
                               const gchar* answer = nullptr;
                               g_variant_get(reply.get(), "(&s)", &answer);
                               policy->canSuspend = answer ? answer : "";
                               done(*policy);
                             });
            });
      });
}

}  // namespace meterwright
