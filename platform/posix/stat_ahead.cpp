#include "platform/posix/stat_ahead.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

#include "platform/posix/posix_paths.h"

namespace keldar::posix {

StatBatch::StatBatch() : slots_(new Slot[kCapacity]) { starts_.reserve(kCapacity); }

void StatBatch::clear(int folder_fd) {
  for (std::size_t i = 0; i < size(); ++i) slots_[i].done.store(false, std::memory_order_relaxed);
  fd_ = folder_fd;
  names_.clear();
  starts_.clear();
  next_.store(0, std::memory_order_relaxed);
}

void StatBatch::add(std::string_view name) {
  starts_.push_back(static_cast<std::uint32_t>(names_.size()));
  names_.append(name);
  names_.push_back('\0');
}

std::string_view StatBatch::name(std::size_t i) const {
  const std::size_t end = i + 1 < starts_.size() ? starts_[i + 1] - 1 : names_.size() - 1;
  return std::string_view(names_).substr(starts_[i], end - starts_[i]);
}

void StatBatch::ask(std::size_t i) {
  ItemStatus& status = slots_[i].status;
  struct stat st;
  if (::fstatat(fd_, names_.c_str() + starts_[i], &st, AT_SYMLINK_NOFOLLOW) != 0) {
    status.error = errno;
  } else {
    status.error = 0;
    status.mode = st.st_mode;
    status.size = static_cast<std::uint64_t>(st.st_size);
    status.last_write = to_file_time(st.st_mtim);
  }
  slots_[i].done.store(true, std::memory_order_release);
}

bool StatBatch::ask_next() {
  const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
  if (i >= size()) return false;
  ask(i);
  return true;
}

StatAhead::~StatAhead() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  work_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void StatAhead::offer(StatBatch& batch) {
  {
    std::lock_guard lock(mutex_);
    if (no_thread_) return;
    try {
      if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
      offered_.push_back(&batch);
    } catch (...) {
      // No thread (or no room to offer it a batch): the visitor asks every
      // item itself, from now on.
      no_thread_ = true;
      offered_.clear();
      return;
    }
  }
  work_.notify_one();
}

const ItemStatus& StatAhead::status(StatBatch& batch, std::size_t i) {
  StatBatch::Slot& slot = batch.slots_[i];
  // While the helper asks item i, this thread asks the next unclaimed one
  // rather than wait idle.
  int spins = 0;
  while (!slot.done.load(std::memory_order_acquire)) {
    if (!batch.ask_next() && ++spins > 64) {
      std::this_thread::yield();  // the helper has it in hand, and may be off its core
    }
  }
  return slot.status;
}

void StatAhead::withdraw(StatBatch& batch) {
  std::unique_lock lock(mutex_);
  offered_.erase(std::remove(offered_.begin(), offered_.end(), &batch), offered_.end());
  work_.notify_one();  // the batch offered before it may have items left
  idle_.wait(lock, [&] { return in_hand_ != &batch; });
}

void StatAhead::run() {
  // Items are claimed one at a time; the offered batches are looked at
  // again after a few, so that a folder entered meanwhile is helped first.
  constexpr int kItemsBetweenLooks = 32;
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] {
      return quit_ || (!offered_.empty() && offered_.back()->next_.load(std::memory_order_relaxed) <
                                                offered_.back()->size());
    });
    if (quit_) return;
    StatBatch* batch = offered_.back();
    in_hand_ = batch;
    lock.unlock();
    for (int k = 0; k < kItemsBetweenLooks && batch->ask_next(); ++k) {
    }
    lock.lock();
    in_hand_ = nullptr;
    idle_.notify_all();
  }
}

}  // namespace keldar::posix
