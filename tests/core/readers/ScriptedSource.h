#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "core/usage/SnapshotSource.h"

namespace meterwright::testing {

// A provider reader that answers from a script: each read() takes the next answer and repeats the
// last one once the script runs out. It counts reads, so tests see whether a wrapper reached it.
class ScriptedSource : public DiagnosableSource {
 public:
  struct Answer {
    std::optional<Snapshot> reading;
    std::optional<SourceFailure> failure;
  };

  explicit ScriptedSource(std::string name = "scripted") : name_(std::move(name)) {}

  void then(Answer answer) {
    std::lock_guard lock(mutex_);
    script_.push_back(std::move(answer));
  }
  void thenReading(Snapshot reading) { then({std::move(reading), std::nullopt}); }
  void thenFailure(std::string summary, SourceFailure::Kind kind = SourceFailure::Kind::failed) {
    then({std::nullopt, SourceFailure{summary, "", false, kind}});
  }
  int reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
  }

  std::string name() const override { return name_; }
  std::optional<Snapshot> read() override {
    std::lock_guard lock(mutex_);
    ++reads_;
    if (!script_.empty()) {
      current_ = std::move(script_.front());
      script_.pop_front();
    }
    return current_.reading;
  }
  std::optional<SourceFailure> lastFailure() const override {
    std::lock_guard lock(mutex_);
    return current_.failure;
  }

 private:
  std::string name_;
  mutable std::mutex mutex_;
  std::deque<Answer> script_;
  Answer current_;
  int reads_ = 0;
};

}  // namespace meterwright::testing
