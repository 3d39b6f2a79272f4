#pragma once

#include <optional>
#include <utility>
#include <variant>

#include "core/sync/protocol/SyncError.h"

namespace meterwright {

// The outcome of a sync operation that can fail: a value or the SyncError that stopped it.
// value() and error() require the matching state (check ok() first).
template <typename T>
class SyncResult {
 public:
  SyncResult(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  SyncResult(SyncError error) : state_(std::in_place_index<1>, std::move(error)) {}

  bool ok() const { return state_.index() == 0; }
  explicit operator bool() const { return ok(); }

  const T& value() const& { return std::get<0>(state_); }
  T& value() & { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const SyncError& error() const { return std::get<1>(state_); }

  bool operator==(const SyncResult&) const = default;

 private:
  std::variant<T, SyncError> state_;
};

// For operations that only succeed or fail.
template <>
class SyncResult<void> {
 public:
  SyncResult() = default;
  SyncResult(SyncError error) : error_(std::move(error)) {}

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  const SyncError& error() const { return *error_; }

  bool operator==(const SyncResult&) const = default;

 private:
  std::optional<SyncError> error_;
};

}  // namespace meterwright
