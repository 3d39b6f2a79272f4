#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "core/time/Clock.h"

namespace meterwright {

// One record of the cloud folder, what a CloudKit record holds: its type, its typed fields and
// when it was last written. The record's name is the file's name, so it is not part of the value.
struct CloudRecord {
  // A byte string field, kept apart from text so the two cannot be confused on decoding.
  struct Bytes {
    std::string data;

    bool operator==(const Bytes&) const = default;
  };
  using Field = std::variant<std::string, Bytes, Date>;

  std::string recordType;
  std::map<std::string, Field, std::less<>> fields;
  Date modifiedAt;

  // The field of that name when it has that type.
  const std::string* text(std::string_view key) const { return get<std::string>(key); }
  const std::string* bytes(std::string_view key) const {
    auto field = get<Bytes>(key);
    return field ? &field->data : nullptr;
  }
  std::optional<Date> date(std::string_view key) const {
    auto field = get<Date>(key);
    return field ? std::optional<Date>(*field) : std::nullopt;
  }

  bool operator==(const CloudRecord&) const = default;

 private:
  template <typename T>
  const T* get(std::string_view key) const {
    auto found = fields.find(key);
    return found == fields.end() ? nullptr : std::get_if<T>(&found->second);
  }
};

}  // namespace meterwright
