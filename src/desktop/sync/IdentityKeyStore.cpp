#include "desktop/sync/IdentityKeyStore.h"

namespace meterwright::IdentityKeyStore {

std::optional<std::string> read(SecretStore& secrets) {
  SecretReadResult result = secrets.read(std::string(service), std::string(account), false);
  if (result.status != SecretStatus::success || !result.item) return std::nullopt;
  return result.item->data;
}

void save(SecretStore& secrets, std::string_view keyData) {
  secrets.remove(std::string(service), std::string(account));
  secrets.add(SecretItem{
      std::string(service), std::string(account), std::string(label), std::string(keyData), {}});
}

}  // namespace meterwright::IdentityKeyStore
