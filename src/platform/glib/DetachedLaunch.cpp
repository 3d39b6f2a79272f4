#include "platform/glib/DetachedLaunch.h"

#include "platform/glib/GlibHandles.h"

namespace meterwright::DetachedLaunch {

bool start(const std::string& executable, const std::vector<std::string>& arguments,
           const EnvironmentBlock& environment) {
  std::vector<const char*> argv{executable.c_str()};
  for (const auto& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);
  std::vector<const char*> envp;
  for (const auto& entry : environment.entries()) envp.push_back(entry.c_str());
  envp.push_back(nullptr);

  glib::Object<GSubprocessLauncher> launcher(
      g_subprocess_launcher_new(static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_SILENCE |
                                                              G_SUBPROCESS_FLAGS_STDERR_SILENCE)));
  g_subprocess_launcher_set_environ(launcher.get(), const_cast<gchar**>(envp.data()));
  GError* error = nullptr;
  glib::Object<GSubprocess> child(
      g_subprocess_launcher_spawnv(launcher.get(), argv.data(), &error));
  glib::Error owned(error);
  return child != nullptr;
}

}  // namespace meterwright::DetachedLaunch
