#include "core/text/LocalizedModule.h"

#include <algorithm>

#include "core/text/Localization.h"

namespace meterwright {

namespace {

std::mutex& registryMutex() {
  static std::mutex mutex;
  return mutex;
}

std::vector<LocalizedModule*>& registry() {
  static std::vector<LocalizedModule*> modules;
  return modules;
}

}  // namespace

LocalizedModule::LocalizedModule(const StringBundle& bundle) : bundle_(bundle) {
  std::lock_guard lock(registryMutex());
  registry().push_back(this);
}

LocalizedModule::~LocalizedModule() {
  std::lock_guard lock(registryMutex());
  std::erase(registry(), this);
}

void LocalizedModule::chooseAgainEverywhere() {
  std::lock_guard lock(registryMutex());
  for (LocalizedModule* module : registry()) module->choose(std::nullopt);
}

std::shared_ptr<const StringCatalog> LocalizedModule::catalog() {
  std::lock_guard lock(mutex_);
  if (!catalog_) {
    catalog_ = std::make_shared<const StringCatalog>(bundle_, Localization::launchLanguages());
  }
  return catalog_;
}

std::string LocalizedModule::text(std::string_view key, std::string_view english) {
  return catalog()->text(key, english);
}

std::string LocalizedModule::language() {
  return catalog()->language();
}

void LocalizedModule::choose(std::optional<std::vector<std::string>> languages) {
  std::lock_guard lock(mutex_);
  if (languages) {
    catalog_ = std::make_shared<const StringCatalog>(bundle_, *languages);
  } else {
    catalog_.reset();
  }
}

LocalizedModule& coreText() {
  static LocalizedModule module(coreStringBundle());
  return module;
}

}  // namespace meterwright
