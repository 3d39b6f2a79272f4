#pragma once

#include <optional>
#include <string>

#include "core/time/Clock.h"

namespace meterwright {

// One generic-password item, as the Mac's Keychain holds it: found by service and account, with a
// human-readable label and opaque bytes. Items carry tokens and keys, so their data must never
// reach a log, an error text or the screen.
struct SecretItem {
  std::string service;
  std::string account;
  std::string label;
  std::string data;  // raw bytes, not text
  Date modificationDate;

  bool operator==(const SecretItem&) const = default;
};

// The Keychain's status numbers, kept so the stores and their callers reason with the same codes
// on every platform (and so logs read the same as the Mac's).
namespace SecretStatus {
constexpr int success = 0;
constexpr int itemNotFound = -25300;
constexpr int duplicateItem = -25299;
// The item exists but reading it would need the user, and the caller forbade asking.
constexpr int interactionNotAllowed = -25308;
// The item exists but cannot be read: access refused, or its stored form is damaged.
constexpr int authFailed = -25293;
constexpr int userCanceled = -128;
// A value the store cannot hold, such as a service, account or label that is not UTF-8.
constexpr int invalidParameter = -50;
// A write that did not reach the disk.
constexpr int ioError = -36;
}  // namespace SecretStatus

struct SecretReadResult {
  int status = SecretStatus::itemNotFound;
  // Present exactly when status is success.
  std::optional<SecretItem> item;
};

// Where the program keeps secrets: the stored Claude token, the list of paired devices and the
// Mac's pairing key. Every call answers with a status instead of throwing; implementations may be
// called from several threads.
class SecretStore {
 public:
  virtual ~SecretStore() = default;

  // The item for service and account. `allowInteraction` says whether the store may ask the user
  // (unlock prompt, access dialog); without it a store that would need to ask answers
  // interactionNotAllowed.
  virtual SecretReadResult read(const std::string& service, const std::string& account,
                                bool allowInteraction = false) = 0;

  // Stores a new item, dated now (the item's own modificationDate is not used). duplicateItem when
  // one with that service and account exists already.
  virtual int add(const SecretItem& item) = 0;

  // Replaces the data and label of an existing item and dates it now. itemNotFound when missing.
  virtual int update(const std::string& service, const std::string& account,
                     const std::string& data, const std::string& label) = 0;

  // Deletes the item. itemNotFound when missing.
  virtual int remove(const std::string& service, const std::string& account) = 0;
};

}  // namespace meterwright
