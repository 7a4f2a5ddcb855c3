// Status calls of a folder's items made ahead on a second thread while the
// items are visited in order on the caller's. On a warm cache a walk spends
// most of its time in these calls; with a helper taking the items ahead of
// the visitor, the visitor's own work overlaps them, and whichever thread
// is free asks the next item. The order of the items and what each one
// gives are those of asking each in turn.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/file_system.h"

namespace keldar::posix {

// What the status call of one item gave.
struct ItemStatus {
  int error = 0;  // errno of the call, 0 when it succeeded
  mode_t mode = 0;
  std::uint64_t size = 0;
  FileTime last_write = 0;
};

// Up to kCapacity items of one open folder, by name, and their status once
// asked. Filled by the visitor, asked by both threads.
class StatBatch {
 public:
  static constexpr std::size_t kCapacity = 1024;

  StatBatch();
  // Empties the batch for items of the open folder `folder_fd`.
  void clear(int folder_fd);
  void add(std::string_view name);
  std::size_t size() const { return starts_.size(); }
  bool full() const { return size() == kCapacity; }
  std::string_view name(std::size_t i) const;

 private:
  friend class StatAhead;
  struct Slot {
    ItemStatus status;
    std::atomic<bool> done{false};
  };
  // Asks item `i` and publishes its status.
  void ask(std::size_t i);
  // Claims the next item not yet claimed and asks it; false when none is left.
  bool ask_next();

  int fd_ = -1;
  std::string names_;  // each name NUL-terminated
  std::vector<std::uint32_t> starts_;
  std::unique_ptr<Slot[]> slots_;
  std::atomic<std::size_t> next_{0};  // the first item no thread has claimed
};

// The helper thread, started when a batch is first offered and ended with
// the object. Batches are offered innermost last: a folder listed while
// another one's items are visited is helped first.
class StatAhead {
 public:
  StatAhead() = default;
  StatAhead(const StatAhead&) = delete;
  StatAhead& operator=(const StatAhead&) = delete;
  ~StatAhead();

  // Offers `batch` to the helper; its items must not change until
  // withdraw(). Without a helper (a thread that cannot start) the visitor
  // asks every item itself.
  void offer(StatBatch& batch);
  // The status of item `i` of `batch`: this thread asks the unclaimed items
  // up to it, and later ones while the helper has it in hand. Items are
  // asked for in order; a batch never offered is asked item by item here.
  const ItemStatus& status(StatBatch& batch, std::size_t i);
  // Takes `batch` back: on return the helper no longer touches it.
  void withdraw(StatBatch& batch);

  // A batch offered for a scope when `worth` it, taken back at its end.
  class Offer {
   public:
    Offer(StatAhead& ahead, StatBatch& batch, bool worth)
        : ahead_(ahead), batch_(batch), offered_(worth) {
      if (offered_) ahead_.offer(batch_);
    }
    ~Offer() {
      if (offered_) ahead_.withdraw(batch_);
    }
    Offer(const Offer&) = delete;
    Offer& operator=(const Offer&) = delete;

   private:
    StatAhead& ahead_;
    StatBatch& batch_;
    bool offered_;
  };

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable work_;  // a batch offered or taken back, or the end
  std::condition_variable idle_;  // the helper put down the batch it held
  std::vector<StatBatch*> offered_;
  StatBatch* in_hand_ = nullptr;
  bool quit_ = false;
  bool no_thread_ = false;
  std::thread thread_;
};

}  // namespace keldar::posix
