#include "desktop/readers/claude/ClaudeDirectSource.h"

#include <algorithm>
#include <vector>

#include "core/format/Format.h"
#include "core/format/Plan.h"
#include "core/json/JsonText.h"
#include "core/providers/PollingPolicy.h"
#include "core/providers/ProviderRegistry.h"
#include "core/settings/UserDefaults.h"
#include "desktop/readers/claude/ClaudeCredentialsFile.h"
#include "desktop/readers/claude/ClaudeExecutable.h"
#include "desktop/readers/claude/ClaudeSessionRenewer.h"
#include "desktop/readers/claude/ClaudeTokenStore.h"
#include "desktop/text/DesktopText.h"
#include "platform/process/ProcessRun.h"

namespace meterwright {

namespace {

// `claude auth status` prints a small JSON object; more than this is not that object.
constexpr std::size_t planOutputLimit = 64 * 1024;

// A Keychain query's status is process-wide, as on the Mac, where one failed query explains the
// failure of whichever reader made it.
std::mutex lastStatusLock;
int lastStatus = 0;

void recordStatus(int status) {
  std::lock_guard guard(lastStatusLock);
  lastStatus = status;
}

SourceFailure fromAPI(const ClaudeUsageAPI::Failure& failure) {
  auto kind =
      failure.isRateLimit() ? SourceFailure::Kind::rateLimited : SourceFailure::Kind::failed;
  return {failure.summary(), failure.hint(), failure.needsUserAction(), kind};
}

}  // namespace

ClaudeDirectSource::ClaudeDirectSource(bool allowPrompt, ReaderContext context,
                                       std::shared_ptr<ClaudeCredentialItems> items)
    : provider_(ProviderRegistry::claude()),
      allowPrompt_(allowPrompt),
      context_(std::move(context)),
      items_(std::move(items)),
      endpoint_(ClaudeUsageAPI::endpoint(context_.environment)) {
  if (!items_) {
    items_ = std::make_shared<ClaudeCredentialsFile>(
        ClaudeCredentialsFile::location(context_.locations, context_.environment));
  }
}

std::string ClaudeDirectSource::name() const {
  return "Claude Code \u2014 Anthropic API";
}

std::optional<SourceFailure> ClaudeDirectSource::lastFailure() const {
  std::lock_guard guard(failureLock_);
  return lastFailure_;
}

std::optional<Date> ClaudeDirectSource::sessionExpiry() const {
  std::lock_guard guard(credentialsLock_);
  return sessionExpiry_;
}

void ClaudeDirectSource::setFailure(std::optional<SourceFailure> failure) {
  std::lock_guard guard(failureLock_);
  lastFailure_ = std::move(failure);
}

int ClaudeDirectSource::lastReadStatus() {
  std::lock_guard guard(lastStatusLock);
  return lastStatus;
}

std::optional<Snapshot> ClaudeDirectSource::read() {
  // A long-lived token from an earlier version goes first; once Anthropic refuses it, it is
  // dropped for good and the sign-in of Claude Code takes over.
  if (context_.secrets) {
    if (auto token = ClaudeTokenStore::read(*context_.secrets, allowPrompt_)) {
      auto outcome = fetch(*token);
      if (auto* result = std::get_if<ClaudeUsageAPI::Result>(&outcome)) {
        setFailure(std::nullopt);
        return snapshot(*result, executablePlan());
      }
      const auto& failure = std::get<ClaudeUsageAPI::Failure>(outcome);
      if (failure.kind == ClaudeUsageAPI::Failure::Kind::http &&
          (failure.status == 401 || failure.status == 403)) {
        UserDefaults(context_.locations.userDefaultsFile()).set(rejectedTokenDefault, true);
        ClaudeTokenStore::remove(*context_.secrets);
      }
    }
  }

  auto signIn = currentCredentials();
  if (!signIn) {
    setFailure(missingCredentialsFailure(lastReadStatus(), allowPrompt_));
    return std::nullopt;
  }

  if (signIn->hasLapsed(context_.clock->now()) && allowPrompt_ && context_.renewer) {
    auto outcome = context_.renewer->renewIfDue(context_.deadlines.renewal);
    using Kind = ClaudeSessionRenewer::Outcome::Kind;
    if (outcome && outcome->kind == Kind::signedOut) {
      setFailure(SourceFailure{desktop::L("source.claude.signedOut", "Claude Code is signed out"),
                               PollingPolicy::signedOutHint(), true});
      return std::nullopt;
    }
    if (outcome && outcome->kind == Kind::renewed) {
      auto renewed = credentials(true, *items_, context_.clock->now());
      if (renewed && !renewed->hasLapsed(context_.clock->now())) {
        signIn = renewed;
        adopt(renewed);
      }
    }
  }

  // A lapsed token is never sent: the answer is known, and it would only cost a request.
  if (signIn->hasLapsed(context_.clock->now())) return lapsed(*signIn);

  auto outcome = fetch(signIn->accessToken);
  if (auto* failure = std::get_if<ClaudeUsageAPI::Failure>(&outcome)) {
    setFailure(fromAPI(*failure));
    return std::nullopt;
  }
  setFailure(std::nullopt);
  return snapshot(std::get<ClaudeUsageAPI::Result>(outcome), Plan::badge(signIn->subscriptionType));
}

ClaudeUsageAPI::Outcome ClaudeDirectSource::fetch(const std::string& token) {
  if (!context_.http) return ClaudeUsageAPI::Failure::http(0);
  return ClaudeUsageAPI::fetch(*context_.http, endpoint_, token, context_.deadlines.claudeRequest,
                               *context_.clock);
}

std::optional<Snapshot> ClaudeDirectSource::lapsed(const Credentials& credentials) {
  Date now = context_.clock->now();
  if (!credentials.hasRefreshToken) {
    setFailure(SourceFailure{desktop::L("source.claude.expired", "Claude Code sign-in expired"),
                             PollingPolicy::signedOutHint(), true});
    return std::nullopt;
  }
  std::string lapse = Format::relative(secondsBetween(*credentials.expiresAt, now));
  double wait = 0;
  if (context_.renewer) {
    double since = secondsBetween(context_.renewer->lastAttempt(), now);
    wait = std::max(0.0, ClaudeSessionRenewer::minimumSpacing - since);
  }
  std::string hint =
      wait == 0
          ? desktop::L(
                "source.claude.lapsed.renewing",
                "Meterwright is asking Claude Code to renew it. The numbers on screen are the "
                "last reading before it lapsed.")
          : desktop::L("source.claude.lapsed.waiting",
                       "Meterwright asks Claude Code to renew it by itself; the next attempt is in "
                       "%@. Using Claude Code renews it immediately.",
                       Format::relative(wait));
  setFailure(SourceFailure{
      desktop::L("source.claude.lapsed", "Claude Code's access token lapsed %@ ago", lapse), hint,
      false});
  return std::nullopt;
}

std::optional<ClaudeDirectSource::Credentials> ClaudeDirectSource::currentCredentials() {
  {
    std::lock_guard guard(credentialsLock_);
    // A minute of margin, so a token about to lapse is not sent; fresh ones are read instead.
    Date soon = addingSeconds(context_.clock->now(), 60);
    if (cachedCredentials_ && cachedCredentials_->expiresAt &&
        *cachedCredentials_->expiresAt > soon) {
      sessionExpiry_ = cachedCredentials_->expiresAt;
      return cachedCredentials_;
    }
  }
  auto fresh = credentials(allowPrompt_, *items_, context_.clock->now());
  adopt(fresh);
  return fresh;
}

void ClaudeDirectSource::adopt(const std::optional<Credentials>& credentials) {
  std::lock_guard guard(credentialsLock_);
  cachedCredentials_ = credentials;
  sessionExpiry_ = credentials ? credentials->expiresAt : std::nullopt;
}

std::optional<ClaudeDirectSource::Credentials> ClaudeDirectSource::credentials(
    bool allowPrompt, ClaudeCredentialItems& items, Date now) {
  std::vector<ClaudeCredentialItem> candidates;
  if (auto listed = items.list()) {
    for (auto& item : *listed) {
      if (item.service.starts_with(ClaudeCredentialItems::service)) candidates.push_back(item);
    }
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const ClaudeCredentialItem& a, const ClaudeCredentialItem& b) {
                     return a.modificationDate.value_or(Date::min()) >
                            b.modificationDate.value_or(Date::min());
                   });
  if (candidates.empty()) {
    candidates.push_back({std::string(ClaudeCredentialItems::service), std::nullopt});
  }

  std::optional<Credentials> latestLapsed;
  for (const auto& candidate : candidates) {
    SecretReadResult result = items.read(candidate.service, allowPrompt);
    recordStatus(result.status);
    if (result.status != SecretStatus::success || !result.item) continue;
    auto parsed = Credentials::parse(result.item->data);
    if (!parsed) continue;
    if (!parsed->hasLapsed(now)) return parsed;
    if (!latestLapsed || *parsed->expiresAt > *latestLapsed->expiresAt) latestLapsed = parsed;
  }
  return latestLapsed;
}

std::optional<ClaudeDirectSource::Credentials> ClaudeDirectSource::credentials(
    bool allowPrompt, const ReaderContext& context) {
  ClaudeCredentialsFile file(
      ClaudeCredentialsFile::location(context.locations, context.environment));
  return credentials(allowPrompt, file, context.clock->now());
}

SourceFailure ClaudeDirectSource::missingCredentialsFailure(int status, bool allowPrompt) {
  if (status == SecretStatus::itemNotFound) {
    return {
        desktop::L("source.claude.notSignedIn", "Claude Code has not signed in on this computer"),
        desktop::L("source.claude.notSignedIn.hint",
                   "Run `claude` in a terminal and sign in once. Meterwright reads the sign-in it "
                   "leaves behind; there is nothing to paste here."),
        true};
  }
  if (!allowPrompt) {
    return {
        desktop::L("source.claude.notAsked", "The keyring was not asked"),
        desktop::L("source.claude.notAsked.hint",
                   "This run was not allowed to show a prompt, so nothing was read. The app itself "
                   "does ask \u2014 open the Meterwright menu and press Refresh Now."),
        false};
  }
  if (status == SecretStatus::interactionNotAllowed || status == SecretStatus::authFailed ||
      status == SecretStatus::userCanceled) {
    return {desktop::L("source.claude.declined", "Keyring access was declined"),
            desktop::L("source.claude.declined.hint",
                       "Press Refresh Now and allow access when the keyring asks. Declining is not "
                       "remembered, so the prompt comes back every time until it is granted."),
            true};
  }
  return {
      desktop::L("source.claude.unreadable", "Claude Code credentials not readable"),
      desktop::L("source.claude.unreadable.hint",
                 "Sign in once with the Claude Code CLI, then allow access when the keyring asks. "
                 "(Keyring status %d)",
                 status),
      true};
}

std::optional<std::string> ClaudeDirectSource::executablePlan() {
  {
    std::lock_guard guard(planLock_);
    if (cachedPlan_) return *cachedPlan_;
  }
  std::optional<std::string> plan;
  if (auto executable = ClaudeExecutable::find(context_.locations, context_.environment)) {
    // Bounded in time and size: a `claude` that hangs or floods must not hold up the reading.
    auto run = runCollectingOutput(*executable, {"auth", "status"}, context_.environment,
                                   context_.deadlines.planQuery,
                                   context_.deadlines.terminationGrace, planOutputLimit);
    if (run && !run->timedOut && !run->outputTruncated) {
      auto status = JsonText::parse(run->standardOutput);
      if (status && status->is_object()) {
        auto type = status->find("subscriptionType");
        if (type != status->end() && type->is_string()) {
          plan = Plan::badge(type->get_ref<const std::string&>());
        }
      }
    }
  }
  std::lock_guard guard(planLock_);
  cachedPlan_ = plan;
  return plan;
}

Snapshot ClaudeDirectSource::snapshot(const ClaudeUsageAPI::Result& result,
                                      const std::optional<std::string>& plan) const {
  ProviderSnapshot reading;
  reading.id = provider_.id;
  reading.name = provider_.displayName;
  reading.plan = plan;
  reading.state = "live";
  reading.observedAt = result.observedAt;
  reading.windows = result.windows;
  return Snapshot{result.observedAt, {reading}, "Anthropic", endpoint_};
}

}  // namespace meterwright
