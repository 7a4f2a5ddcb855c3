// The file operations of the synchronisation actions: copying one list
// entry between the object folder and the carrier folder, deleting it on
// either side, and keeping folder times.
//
// Result codes: 0 success; kNoSpaceCode (0x7FFF) not enough space; another
// value is the platform's error code; kChangedSinceScan when a file of the
// object folder that was to be replaced or deleted is no longer what the
// scan saw; kDamagedCopyCode when a carrier copy brought to the object
// folder is not, byte for byte, the copy recorded in the sum file (the
// object's file then stays as it was).
//
// Nothing is copied from or to a carrier gone or replaced since start-up
// (21, see carrier_in_place), and neither the carrier folder nor the object
// folder is ever made: a missing one gives 3.
//
// An entry whose name may not be used to build a path gives 123 (invalid
// name); a path on which an existing item inside the object folder or the
// object's carrier folder (that folder itself included) is a symbolic link
// or a device gives 5 (access denied). Both touch nothing.
//
// A file is copied to a temporary beside its destination and renamed over
// it, so until then the old file keeps its clusters: the free-space check
// asks for the whole new size plus the reserve, and a free-space query that
// fails counts as not enough space.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "lists/run.h"

namespace keldar {

inline constexpr int kChangedSinceScan = 0x7FFE;

// What the copies of one pass over a list have learnt of the disk, so that
// each copy asks only what it does not know yet: the times of the folders
// whose times the pass keeps while it changes their entries, and the free
// space of each destination folder, counted down by what the pass writes.
// A figure older than two seconds, or one that leaves less than a slack (a
// thirty-second of it) beyond a copy's need, is asked anew, so every
// refusal rests on a fresh query. Whether a folder is a link is never
// remembered: each copy asks it of every component.
// Made anew for each pass.
class CopyPass {
 public:
  struct Space {
    std::uint64_t clusters = 0;
    std::uint64_t cluster_size = 0;
    std::uint64_t slack = 0;
    std::int64_t taken = 0;  // the clock's time of the query
  };

  // A folder was removed: no folder's times are known any more.
  void forget_folder_times() { times_.clear(); }
  const FileTimes* folder_times(const std::string& folder) const;
  void set_folder_times(const std::string& folder, const FileTimes& times) {
    times_[folder] = times;
  }
  // The pass gave `folder` other times.
  void forget_times(const std::string& folder) { times_.erase(folder); }
  Space* space(const std::string& folder);
  void set_space(const std::string& folder, const Space& space) { spaces_[folder] = space; }
  // `bytes` were written to a destination: every figure is counted down,
  // as the volume that took them is not told apart.
  void wrote(std::uint64_t bytes);

 private:
  std::map<std::string, FileTimes> times_;
  std::map<std::string, Space> spaces_;
};

// Copies the three times of folder `source` to folder `destination` (both
// ending in a separator).
int copy_folder_times(Env& env, const std::string& destination, const std::string& source);

// Copies entry `index` of the current object's list towards the object
// folder (from the carrier) or towards the carrier, creating missing
// folders inside them top-down, checking free space (4 clusters of
// reserve; none on a volume that does not tell its size), keeping
// parent folder times on exact-time volumes, and setting the destination
// stamp of the entry from the source stamp. The entry state is the
// caller's. A copy put on the carrier is hashed as it is written and its
// sum record made with this computer's state (the state its callers give
// it); a copy brought from the carrier that has a record (copy_sum) is
// verified against it before it takes the object file's place. Never writes outside the two
// folders, never through a link, and never replaces an object file that changed since the scan.
// `pass`, when given, carries what earlier copies of the pass learnt.
int copy_entry(Env& env, const ObjectRun& run, std::size_t index, bool towards_object,
               CopyPass* pass = nullptr);

// Deletes entry `index` on the carrier or in the object folder; its carrier
// or object stamp becomes 0. A file already gone counts as deleted.
// `pass` as for copy_entry; a folder removed makes it forget the folders.
int delete_entry(Env& env, const ObjectRun& run, std::size_t index, bool on_carrier,
                 CopyPass* pass = nullptr);

// The stamp that the object folder's item of entry `index` has now, as a
// scan would take and mark it (read only: nothing is written back); 0 when
// it does not exist. Else the error code of reading its times.
int object_stamp_now(Env& env, const ObjectRun& run, std::size_t index, std::uint32_t& stamp);

// Whether the object folder's file of entry `index` still has the stamp the
// scan saw (a missing file matches an object stamp of 0).
bool unchanged_since_scan(Env& env, const ObjectRun& run, std::size_t index);

}  // namespace keldar
