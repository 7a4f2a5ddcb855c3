// What the synchronisation actions decide for one list entry, apart from
// carrying it out: pure functions of the entry's state and stamps, the
// masks' verdict and the holder rule. Action 1 and Action 2 (actions.h)
// gather these facts, ask for the choice and carry it out.
#pragma once

#include <cstdint>

namespace keldar {

// --- Action 1: carrier to object ------------------------------------------

// What Action 1 knows of an entry when it decides.
struct Action1Facts {
  std::uint8_t state = 0;     // the entry state S
  std::uint32_t object = 0;   // O: the object folder's file as scanned
  std::uint32_t carrier = 0;  // K: the carrier folder's file as scanned
  std::uint32_t record = 0;   // R: this computer's list stamp
  int me = 0;                 // this computer's index
  bool folder = false;        // a folder entry
  bool may_copy = false;      // the masks (or the force flag) allow copying
  bool may_delete = false;    // ... and deleting
  bool ask_replace = false;   // the first matching mask asks before replacing
  bool ask_delete = false;    // ... and before deleting
};

enum class Action1Step {
  kPass,          // nothing in transit: not examined
  kCopyGone,      // the carrier copy is gone: state 0, not examined
  kDamaged,       // a state that no computer writes: reported, left alone
  kLeave,         // this computer's own copy of a file deleted here: left to Action 2
  kNotPermitted,  // examined; the masks forbid it: nothing done or logged
  kInPlace,       // the object already has it (or lacks what a command deletes)
  kCopy,          // copy from the carrier without asking
  kAskCopy,       // ask, then copy (or decline the carrier's version)
  kDelete,        // delete from the object without asking
  kAskDelete,     // ask, then delete (or drop the command)
};

struct Action1Choice {
  Action1Step step = Action1Step::kPass;
  std::uint8_t state = 0;          // the working entry state (5 for an unnumbered carrier file)
  bool command = false;            // a delete command, not a copy
  bool warning = false;            // the question is the conflict prompt
  bool changed_here = false;       // O differs from R
  bool carrier_as_record = false;  // K equals R: an entry in step needs no log line
};

// A folder is never asked about: one that changed here or is newer here is
// in place. A delete command is state 0xFF only.
Action1Choice choose_action1(const Action1Facts& facts);

// --- Action 2: object to carrier ------------------------------------------

struct Action2Facts {
  std::uint8_t state = 0;
  std::uint32_t object = 0;
  std::uint32_t carrier = 0;
  std::uint32_t record = 0;
  int me = 0;
  std::uint8_t list_state = 0;  // this computer's list state
  bool force = false;
  bool may_copy = false;
  bool may_delete = false;
  // The holder rule (not the after-applying form) with the object stamp,
  // and, on a two-second object volume, with its daylight twin (the object
  // stamp with the daylight marker flipped); 0 where there is none.
  std::int16_t holder = 0;
  std::int16_t holder_of_twin = 0;
  bool two_second_volume = false;
  bool others_have = false;  // another computer has a list stamp for it
};

enum class Action2Step {
  kNothing,         // the entry stays as it is
  kTakeAsIs,        // R := O (copying not allowed here)
  kForget,          // R := 0 (deleting not allowed here)
  kDaylightTwin,    // the object stamp becomes its daylight twin, R := the twin
  kDesynchronised,  // another computer's version is to travel: "<n " is logged
  kInStep,          // the carrier holds this very version: R := O, "-- "
  kAskReplace,      // the carrier's copy is newer: ask before replacing it
  kCopy,            // copy to the carrier
  kDeleted,         // deleted here: carrier copy removed, a command where needed
};

struct Action2Choice {
  Action2Step step = Action2Step::kNothing;
  bool desynchronised = false;  // counted in "рассинхронизация"
  std::int16_t sender = 0;      // kDesynchronised: whose version is to travel
  // kDeleted: the carrier copy is to be deleted (not for a command that
  // waits already), and whether a delete command is written.
  bool delete_carrier_copy = false;
  bool write_command = false;
};

Action2Choice choose_action2_present(const Action2Facts& facts);
Action2Choice choose_action2_absent(const Action2Facts& facts);

}  // namespace keldar
