#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace meterwright::testing {

// What callbacks reported from other threads, for the test thread to wait on with a deadline.
template <typename T>
class Journal {
 public:
  static constexpr std::chrono::seconds deadline{10};

  void add(T item) {
    {
      std::lock_guard guard(mutex_);
      items_.push_back(std::move(item));
    }
    changed_.notify_all();
  }

  bool waitFor(std::size_t count, std::chrono::seconds within = deadline) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, within, [&] { return items_.size() >= count; });
  }

  bool waitForItem(const T& item) {
    std::unique_lock guard(mutex_);
    return changed_.wait_for(guard, deadline, [&] {
      return std::find(items_.begin(), items_.end(), item) != items_.end();
    });
  }

  std::vector<T> items() const {
    std::lock_guard guard(mutex_);
    return items_;
  }

  std::size_t size() const {
    std::lock_guard guard(mutex_);
    return items_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<T> items_;
};

// Records the calling thread before the item, so a test that has waited for the item also sees
// the thread it came on.
template <typename T>
void addOnThisThread(Journal<T>& journal, T item, Journal<std::thread::id>& threads) {
  threads.add(std::this_thread::get_id());
  journal.add(std::move(item));
}

}  // namespace meterwright::testing
