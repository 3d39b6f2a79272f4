#include "desktop/readers/codex/CodexDirectSource.h"

#include <algorithm>
#include <chrono>

#include "core/json/JsonText.h"
#include "core/readers/codex/CodexRateLimits.h"
#include "desktop/readers/codex/CodexExecutable.h"
#include "desktop/text/DesktopText.h"
#include "platform/process/ChildProcess.h"

namespace meterwright {

namespace {

using json = nlohmann::json;

// The answers are a few kilobytes; a line this long without an end is not one of them.
constexpr std::size_t lineLimit = 4 << 20;

// Both requests in one write, without waiting for the initialize answer: the app-server takes
// them in order, and one round trip less keeps the reading short.
const std::string& requests() {
  static const std::string text =
      R"({"id":1,"jsonrpc":"2.0","method":"initialize","params":{"clientInfo":)"
      R"({"name":"meterwright","title":"Meterwright","version":"0.5.0"}}})"
      "\n"
      R"({"id":2,"jsonrpc":"2.0","method":"account/rateLimits/read","params":{}})"
      "\n";
  return text;
}

enum class LineVerdict { skip, answered };

// Only an object whose "id" is the integer 2 is the answer (not "2" and not 2.5: JSON-RPC ids are
// compared by value and type). Its "result", when it is an object, is what was asked for.
LineVerdict inspect(std::string_view line, std::optional<json>& result) {
  std::optional<json> message = JsonText::parse(line);
  if (!message || !message->is_object()) return LineVerdict::skip;
  auto id = message->find("id");
  if (id == message->end() || !id->is_number_integer() || id->get<std::int64_t>() != 2) {
    return LineVerdict::skip;
  }
  auto found = message->find("result");
  if (found != message->end() && found->is_object()) result = *found;
  return LineVerdict::answered;
}

}  // namespace

CodexDirectSource::CodexDirectSource(std::string name, ProviderDescriptor provider,
                                     ReaderContext context)
    : name_(std::move(name)), provider_(std::move(provider)), context_(std::move(context)) {
  if (!context_.clock) context_.clock = std::make_shared<SystemClock>();
}

std::string CodexDirectSource::name() const {
  return name_;
}

std::optional<SourceFailure> CodexDirectSource::lastFailure() const {
  std::lock_guard guard(lock_);
  return lastFailure_;
}

std::optional<json> CodexDirectSource::queryRateLimits(const std::string& executable,
                                                       double timeout,
                                                       const ReaderContext& context) {
  ChildProcess::Launch launch;
  launch.executable = executable;
  launch.arguments = {"app-server"};
  launch.environment = context.environment;
  launch.input = ChildProcess::Stream::pipe;
  launch.output = ChildProcess::Stream::pipe;
  // Never read: a pipe would fill up and stall a talkative child before it answers.
  launch.error = ChildProcess::Stream::nullDevice;
  std::optional<ChildProcess> child = ChildProcess::start(launch);
  if (!child) return std::nullopt;

  auto deadline = ChildProcess::deadlineAfter(timeout);
  // A child that has stopped reading is noticed by the missing answer, not here.
  child->writeInput(requests());

  std::optional<json> result;
  std::string buffer;
  child->readOutput(deadline, [&result, &buffer](std::string_view chunk) {
    std::size_t scanFrom = buffer.size();
    buffer.append(chunk);
    std::size_t lineStart = 0;
    for (std::size_t end; (end = buffer.find('\n', scanFrom)) != std::string::npos;) {
      if (inspect(std::string_view(buffer).substr(lineStart, end - lineStart), result) ==
          LineVerdict::answered) {
        return false;
      }
      lineStart = end + 1;
      scanFrom = lineStart;
    }
    buffer.erase(0, lineStart);
    return buffer.size() <= lineLimit;
  });

  child->closeInput();
  child->closeOutput();
  child->terminate(context.deadlines.terminationGrace);
  return result;
}

std::optional<Snapshot> CodexDirectSource::read() {
  auto fail = [this](SourceFailure failure) -> std::optional<Snapshot> {
    std::lock_guard guard(lock_);
    lastFailure_ = std::move(failure);
    return std::nullopt;
  };

  std::optional<std::string> executable =
      CodexExecutable::find(context_.locations, context_.environment);
  if (!executable) {
    return fail(
        {desktop::L("source.codex.notFound", "Codex CLI not found"),
         desktop::L("source.codex.notFound.hint", "Install Codex CLI or the Codex desktop app."),
         false});
  }
  std::optional<json> answer =
      queryRateLimits(*executable, context_.deadlines.codexExchange, context_);
  if (!answer) {
    return fail({desktop::L("source.codex.noAnswer", "Codex app-server did not answer"),
                 desktop::L("source.codex.noAnswer.hint",
                            "Run `codex login` in a terminal, then press Refresh."),
                 true});
  }
  CodexRateLimits::Reading reading = CodexRateLimits::read(*answer);
  if (reading.windows.empty()) {
    return fail({desktop::L("source.codex.noWindows", "Codex returned no usage windows"),
                 desktop::L("source.codex.noWindows.hint", "Sign in to Codex, then press Refresh."),
                 true});
  }
  {
    std::lock_guard guard(lock_);
    lastFailure_.reset();
  }

  Date now = context_.clock->now();
  ProviderSnapshot provider;
  provider.id = provider_.id;
  provider.name = provider_.displayName;
  provider.plan = reading.plan;
  provider.state = "live";
  provider.observedAt = now;
  provider.windows = std::move(reading.windows);

  Snapshot snapshot;
  snapshot.generatedAt = now;
  snapshot.providers.push_back(std::move(provider));
  snapshot.sourceName = "Codex";
  snapshot.sourcePath = *executable;
  return snapshot;
}

}  // namespace meterwright
