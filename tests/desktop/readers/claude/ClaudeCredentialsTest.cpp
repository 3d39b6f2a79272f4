#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "desktop/readers/claude/ClaudeCredentials.h"
#include "desktop/readers/claude/ClaudeCredentialsFile.h"
#include "desktop/readers/claude/ClaudeDirectSource.h"
#include "support/TemporaryFolder.h"

namespace meterwright {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::writeFile;

const Date now = dateFromUnixSeconds(1'740'821'400);

std::string signIn(const std::string& token, std::optional<double> expiresAtMilliseconds,
                   const std::string& extra = R"(, "refreshToken": "fake-refresh")") {
  std::string expiry =
      expiresAtMilliseconds ? R"(, "expiresAt": )" + std::to_string(*expiresAtMilliseconds) : "";
  return R"({"claudeAiOauth": {"accessToken": ")" + token + "\"" + expiry + extra + "}}";
}

double millisecondsAt(Date date) {
  return secondsBetween(Date{}, date) * 1000;
}

TEST(ClaudeCredentialsParse, ReadsTheFourMembersItUsesAndTakesOddOptionalOnesAsAbsent) {
  EXPECT_EQ(ClaudeCredentials::parse(R"({"claudeAiOauth": {"accessToken": "fake-access",
      "refreshToken": "fake-refresh", "expiresAt": 1740821400500, "scopes": ["user:inference"],
      "subscriptionType": "max"}, "mcpOAuth": {}})"),
            (ClaudeCredentials{"fake-access", "max", now + std::chrono::milliseconds(500), true}));
  for (const char* odd : {R"({"claudeAiOauth": {"accessToken": "fake-access", "refreshToken": "",
                              "expiresAt": "soon", "subscriptionType": 5}})",
                          R"({"claudeAiOauth": {"accessToken": "fake-access",
                              "refreshToken": null, "expiresAt": null}})"}) {
    EXPECT_EQ(ClaudeCredentials::parse(odd),
              (ClaudeCredentials{"fake-access", std::nullopt, std::nullopt, false}));
  }
}

TEST(ClaudeCredentialsParse, WithoutAUsableAccessTokenThereAreNoCredentials) {
  for (const char* text :
       {"", "not json", R"({"claudeAiOauth": {"accessToken": "fake-acc)", "[]",
        R"({"accessToken": "fake-access"})", R"({"claudeAiOauth": "fake-access"})",
        R"({"claudeAiOauth": {}})", R"({"claudeAiOauth": {"accessToken": ""}})",
        R"({"claudeAiOauth": {"accessToken": 42}})",
        R"({"claudeAiOauth": {"accessToken": "fake\r\nX-Injected: 1"}})"}) {
    EXPECT_EQ(ClaudeCredentials::parse(text), std::nullopt) << text;
  }
}

TEST(ClaudeCredentialsParse, ExtremeExpiriesStayWithinTheDateRange) {
  for (double milliseconds : {1e300, -1e300}) {
    auto parsed = ClaudeCredentials::parse(signIn("fake", milliseconds));
    ASSERT_TRUE(parsed && parsed->expiresAt);
    EXPECT_EQ(parsed->hasLapsed(now), milliseconds < 0);
  }
}

class ClaudeCredentialsFileTest : public ::testing::Test {
 protected:
  fs::path file() const { return temp.path() / "claude" / ".credentials.json"; }
  SecretReadResult read() {
    ClaudeCredentialsFile items(file());
    return items.read("Claude Code-credentials", false);
  }

  TemporaryFolder temp;
};

TEST_F(ClaudeCredentialsFileTest, IsOneItemDatedByTheFile) {
  ClaudeCredentialsFile items(file());
  EXPECT_EQ(items.list(), std::vector<ClaudeCredentialItem>{});
  writeFile(file(), signIn("fake-access", std::nullopt));
  struct timespec times[2] = {{1'740'821'400, 250'000'000}, {1'740'821'400, 250'000'000}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file().c_str(), times, 0), 0);
  std::vector<ClaudeCredentialItem> expected = {
      {"Claude Code-credentials", now + std::chrono::milliseconds(250)}};
  EXPECT_EQ(items.list(), expected);

  EXPECT_EQ(read().item, (SecretItem{"Claude Code-credentials", "", "Claude Code-credentials",
                                     signIn("fake-access", std::nullopt),
                                     now + std::chrono::milliseconds(250)}));
  EXPECT_EQ(items.read("Claude Code-credentials-2", false).status, SecretStatus::itemNotFound);
}

TEST_F(ClaudeCredentialsFileTest, MissingIsNotFoundAndUnreadableIsAuthorisationFailed) {
  EXPECT_EQ(read().status, SecretStatus::itemNotFound);

  fs::create_directories(file());
  EXPECT_EQ(read().status, SecretStatus::authFailed);
  fs::remove(file());

  ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0);  // would block a plain open
  EXPECT_EQ(read().status, SecretStatus::authFailed);
  fs::remove(file());

  writeFile(file(), std::string(ClaudeCredentialsFile::sizeLimit + 1, ' '));
  EXPECT_EQ(read().status, SecretStatus::authFailed);
  EXPECT_FALSE(read().item);
}

class FakeItems : public ClaudeCredentialItems {
 public:
  struct Stored {
    std::optional<Date> modified;
    int status = SecretStatus::success;
    std::string data;
  };
  std::map<std::string, Stored> items;
  bool listingFails = false;
  std::vector<std::string> reads;
  std::vector<bool> interaction;

  std::optional<std::vector<ClaudeCredentialItem>> list() override {
    if (listingFails) return std::nullopt;
    std::vector<ClaudeCredentialItem> result;
    for (const auto& [service, stored] : items) result.push_back({service, stored.modified});
    return result;
  }
  SecretReadResult read(const std::string& service, bool allowInteraction) override {
    reads.push_back(service);
    interaction.push_back(allowInteraction);
    auto found = items.find(service);
    if (found == items.end()) return {SecretStatus::itemNotFound, std::nullopt};
    if (found->second.status != SecretStatus::success) return {found->second.status, std::nullopt};
    return {SecretStatus::success, SecretItem{service, "", "", found->second.data, now}};
  }
};

std::optional<std::string> tokenOf(const std::optional<ClaudeCredentials>& credentials) {
  return credentials ? std::optional(credentials->accessToken) : std::nullopt;
}

TEST(ClaudeCredentialsChoice, TheNewestItemThatHasNotLapsedWins) {
  FakeItems store;
  double hourAhead = millisecondsAt(addingSeconds(now, 3600));
  double hourAgo = millisecondsAt(addingSeconds(now, -3600));
  store.items["Claude Code-credentials"] = {addingSeconds(now, -60), 0, signIn("older", hourAhead)};
  store.items["Claude Code-credentials-abc"] = {now, 0, signIn("newer-lapsed", hourAgo)};
  store.items["Other-credentials"] = {addingSeconds(now, 60), 0, signIn("foreign", hourAhead)};
  EXPECT_EQ(tokenOf(ClaudeDirectSource::credentials(true, store, now)), "older");
  EXPECT_EQ(store.reads,
            (std::vector<std::string>{"Claude Code-credentials-abc", "Claude Code-credentials"}));
  EXPECT_EQ(store.interaction, (std::vector<bool>{true, true}));

  store.items["Claude Code-credentials-abc"].data = signIn("newer", std::nullopt);
  store.reads.clear();
  EXPECT_EQ(tokenOf(ClaudeDirectSource::credentials(false, store, now)), "newer");
  EXPECT_EQ(store.reads, std::vector<std::string>{"Claude Code-credentials-abc"});
  EXPECT_EQ(store.interaction.back(), false);
}

TEST(ClaudeCredentialsChoice, WhenAllHaveLapsedTheLatestExpiryWins) {
  FakeItems store;
  store.items["Claude Code-credentials"] = {now, 0,
                                            signIn("lapsed-last", millisecondsAt(now) - 1000)};
  store.items["Claude Code-credentials-2"] = {addingSeconds(now, -10), 0,
                                              signIn("lapsed-first", millisecondsAt(now) - 9000)};
  store.items["Claude Code-credentials-3"] = {std::nullopt, 0, "{damaged"};
  EXPECT_EQ(tokenOf(ClaudeDirectSource::credentials(true, store, now)), "lapsed-last");
  EXPECT_EQ(store.reads.size(), 3u);
  EXPECT_EQ(store.reads.back(), "Claude Code-credentials-3");  // undated sorts last
}

TEST(ClaudeCredentialsChoice, TheLastQueryStatusIsKeptForTheFailureText) {
  FakeItems store;
  store.items["Claude Code-credentials-x"] = {now, SecretStatus::userCanceled, ""};
  EXPECT_EQ(ClaudeDirectSource::credentials(true, store, now), std::nullopt);
  EXPECT_EQ(ClaudeDirectSource::lastReadStatus(), SecretStatus::userCanceled);

  store.listingFails = true;  // then only the plain service name is tried
  store.reads.clear();
  EXPECT_EQ(ClaudeDirectSource::credentials(true, store, now), std::nullopt);
  EXPECT_EQ(store.reads, std::vector<std::string>{"Claude Code-credentials"});
  EXPECT_EQ(ClaudeDirectSource::lastReadStatus(), SecretStatus::itemNotFound);
}

TEST(ClaudeCredentialsChoice, FailureTextFollowsStatusAndPromptPermission) {
  struct Case {
    int status;
    bool allowPrompt;
    std::string summary;
    bool needsUser;
  };
  const std::string absent = "Claude Code has not signed in on this computer",
                    declined = "Keyring access was declined",
                    notAsked = "The keyring was not asked",
                    unreadable = "Claude Code credentials not readable";
  const Case cases[] = {{-25300, true, absent, true},    {-25300, false, absent, true},
                        {-25308, true, declined, true},  {-25293, true, declined, true},
                        {-128, true, declined, true},    {-36, true, unreadable, true},
                        {-25293, false, notAsked, false}};
  for (const Case& each : cases) {
    auto failure = ClaudeDirectSource::missingCredentialsFailure(each.status, each.allowPrompt);
    EXPECT_EQ(failure.summary, each.summary) << each.status << " " << each.allowPrompt;
    EXPECT_EQ(failure.needsUserAction, each.needsUser) << each.status << " " << each.allowPrompt;
  }
  EXPECT_EQ(ClaudeDirectSource::missingCredentialsFailure(-36, true).hint,
            "Sign in once with the Claude Code CLI, then allow access when the keyring asks. "
            "(Keyring status -36)");
}

}  // namespace
}  // namespace meterwright
