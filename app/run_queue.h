// The run queue: up to three operations run one after the other on one
// object or on all of them. Slot 0 holds the one being executed; setting it
// to 0 is the stop request, which every loop polls.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>

#include "lists/run.h"

namespace keldar {

// Operation codes of the run queue.
namespace op {
inline constexpr std::int16_t kNone = 0;
inline constexpr std::int16_t kCompare = 1;
inline constexpr std::int16_t kEtalon = 2;
inline constexpr std::int16_t kAction2 = 3;
inline constexpr std::int16_t kAction1 = 4;
inline constexpr std::int16_t kFill = 5;
inline constexpr std::int16_t kDeleteTree = 6;
inline constexpr std::int16_t kVerify = 7;  // the carrier copies checked, nothing written
}  // namespace op

class RunQueue : public StopRequest {
 public:
  void set(std::int16_t first, std::int16_t second = 0, std::int16_t third = 0) {
    slots_[1] = second;
    slots_[2] = third;
    slots_[0] = first;
  }
  std::int16_t current() const { return slots_[0]; }
  std::int16_t next() const { return slots_[1]; }
  bool running() const { return slots_[0] != 0; }
  // Whether one of the three slots holds `operation`.
  bool holds(std::int16_t operation) const {
    for (const auto& slot : slots_) {
      if (slot == operation) return true;
    }
    return false;
  }
  // Whether the run changes files: anything but a Compare or a check of
  // the carrier copies. Only such runs remove the leftovers of a killed run.
  bool writes() const { return running() && !holds(op::kCompare) && !holds(op::kVerify); }
  void request_stop() { slots_[0] = 0; }
  // Slot 0 itself, for a signal handler's stop request (lock-free).
  std::atomic<std::int16_t>& stop_slot() { return slots_[0]; }
  // slot 0 = slot 1, slot 1 = slot 2, slot 2 = 0.
  void shift() {
    slots_[0] = slots_[1].load();
    slots_[1] = slots_[2].load();
    slots_[2] = 0;
  }

  // The stop request as the operations see it.
  bool pending() const override { return !running(); }
  void request() override { request_stop(); }

 private:
  std::array<std::atomic<std::int16_t>, 3> slots_{};
};

}  // namespace keldar
