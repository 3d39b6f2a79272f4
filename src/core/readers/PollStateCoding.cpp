#include "core/readers/PollStateCoding.h"

#include "core/json/JsonObjectReader.h"
#include "core/json/JsonText.h"
#include "core/time/Iso8601.h"

namespace meterwright::PollStateCoding {

namespace {

using json = nlohmann::json;
using ordered_json = nlohmann::ordered_json;

// More failures in a row than a provider could see in decades of half-hourly attempts.
constexpr int mostFailures = 1'000'000;

void putDate(ordered_json& object, const char* key, Date date) {
  if (date != Date::min()) object[key] = Iso8601::format(date);
}

// The distant past when absent; nothing when present but not a date.
std::optional<Date> date(JsonObjectReader& reader, const char* key) {
  auto text = reader.string(key);
  if (!text) return Date::min();
  return Iso8601::parse(*text);
}

const char* kindName(SourceFailure::Kind kind) {
  return kind == SourceFailure::Kind::rateLimited ? "rateLimited" : "failed";
}

std::optional<SourceFailure> failureFromJson(const json& value) {
  JsonObjectReader reader(value);
  SourceFailure failure;
  failure.summary = reader.requiredString("summary").value_or("");
  failure.hint = reader.string("hint").value_or("");
  failure.needsUserAction = reader.boolean("needsUserAction").value_or(false);
  // A kind this version does not know is an ordinary failure.
  if (reader.string("kind") == "rateLimited") failure.kind = SourceFailure::Kind::rateLimited;
  if (!reader.ok()) return std::nullopt;
  return failure;
}

}  // namespace

std::optional<std::string> encode(const PollState& state, std::string_view provider) {
  ordered_json object = ordered_json::object();
  object["version"] = version;
  object["provider"] = provider;
  putDate(object, "lastAttempt", state.lastAttempt);
  putDate(object, "retryAfter", state.retryAfter);
  object["failureStreak"] = state.failureStreak;
  object["rateLimited"] = state.rateLimited;
  if (state.lastFailure) {
    object["lastFailure"] = {{"kind", kindName(state.lastFailure->kind)},
                             {"summary", state.lastFailure->summary},
                             {"hint", state.lastFailure->hint},
                             {"needsUserAction", state.lastFailure->needsUserAction}};
  }
  if (state.lastReadingObservedAt) {
    putDate(object, "lastReadingObservedAt", *state.lastReadingObservedAt);
  }
  putDate(object, "lastRenewalAttempt", state.lastRenewalAttempt);
  return JsonText::compact(object);
}

std::optional<PollState> decode(std::string_view text, std::string_view provider) {
  auto value = JsonText::parse(text);
  if (!value) return std::nullopt;
  JsonObjectReader reader(*value);
  if (reader.requiredInteger("version") != version) return std::nullopt;
  if (reader.requiredString("provider") != provider) return std::nullopt;

  PollState state;
  auto lastAttempt = date(reader, "lastAttempt");
  auto retryAfter = date(reader, "retryAfter");
  auto renewal = date(reader, "lastRenewalAttempt");
  if (!lastAttempt || !retryAfter || !renewal) return std::nullopt;
  state.lastAttempt = *lastAttempt;
  state.retryAfter = *retryAfter;
  state.lastRenewalAttempt = *renewal;
  state.failureStreak = reader.integer("failureStreak").value_or(0);
  if (state.failureStreak < 0 || state.failureStreak > mostFailures) return std::nullopt;
  state.rateLimited = reader.boolean("rateLimited").value_or(false);
  if (const json* failure = reader.member("lastFailure")) {
    state.lastFailure = failureFromJson(*failure);
    if (!state.lastFailure) return std::nullopt;
  }
  if (reader.string("lastReadingObservedAt")) {
    auto observed = date(reader, "lastReadingObservedAt");
    if (!observed) return std::nullopt;
    state.lastReadingObservedAt = *observed;
  }
  if (!reader.ok()) return std::nullopt;
  return state;
}

}  // namespace meterwright::PollStateCoding
