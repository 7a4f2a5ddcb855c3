#include "sync/holder.h"

#include "lists/compare.h"

namespace keldar {

std::int16_t holder_rule(const ObjectRun& run, const ListEntry& entry, bool after_applying) {
  return holder_rule(run, entry, after_applying, entry.object_stamp);
}

std::int16_t holder_rule(const ObjectRun& run, const ListEntry& entry, bool after_applying,
                         std::uint32_t object_stamp) {
  const FileList& list = run.list;
  const ObjectRecord& record = run.record;
  auto accepts = [&](int k) { return run.force || record.copy_from_carrier(k); };
  auto sends = [&](int k) { return run.force || record.copy_to_carrier(k); };
  const int me = run.computer;
  const int state = entry.state;
  const bool copy_state = state >= 1 && state <= kComputers;

  int receiver = accepts(me) ? me : -1;
  int sender = sends(me) ? me : -1;
  if (copy_state) sender = state - 1;
  std::uint32_t newest = object_stamp;
  std::uint32_t oldest = 0x7FFFFFFF;
  int oldest_holder = -1;
  for (int k = 0; k < kComputers; ++k) {
    if (k == me || list.states[k] == 0) continue;
    const std::uint32_t stamp = entry.list_stamps[k];
    if (stamp_difference(stamp, newest) > 0) {
      newest = stamp;
      if (accepts(k)) receiver = k;
      if (sends(k)) sender = k;
    }
    // Only a computer that accepts copies can be the one that still needs
    // the newest version: one that does not accept them never receives it.
    if (accepts(k) && stamp_difference(stamp, oldest) < 0) {
      oldest = stamp;
      oldest_holder = k;
    }
  }
  if (after_applying && state == entry_state::kDelete) {
    return newest != 0 && receiver >= 0 && entry.list_stamps[receiver] != 0 ? -1 : 0;
  }
  if (stamp_difference(newest, oldest) == 0 || oldest_holder < 0 || sender < 0) return 0;
  if (copy_state &&
      stamp_difference(entry.list_stamps[sender], entry.list_stamps[state - 1]) == 0) {
    sender = state - 1;
  }
  if (stamp_difference(entry.list_stamps[sender], entry.list_stamps[oldest_holder]) > 0) {
    return static_cast<std::int16_t>(sender + 1);
  }
  return 0;
}

}  // namespace keldar
