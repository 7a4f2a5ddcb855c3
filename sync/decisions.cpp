#include "sync/decisions.h"

#include "lists/file_list.h"
#include "lists/stamps.h"

namespace keldar {

Action1Choice choose_action1(const Action1Facts& f) {
  Action1Choice c;
  c.state = f.state;
  c.command = f.state == entry_state::kDelete;
  const std::uint8_t my_number = static_cast<std::uint8_t>(f.me + 1);
  if (f.state > entry_state::kUnknownOrigin && !c.command) {
    c.step = Action1Step::kDamaged;
    return c;
  }
  if (!c.command && f.state != entry_state::kNone && f.carrier == 0) {
    c.step = Action1Step::kCopyGone;
    c.state = entry_state::kNone;
    return c;
  }
  if (f.state == entry_state::kNone && f.carrier == 0) return c;
  if (!c.command && f.state == my_number && f.object == 0 && f.record != 0) {
    // The file was deleted here since this computer's own copy went out:
    // the deletion is newer. Action 2 turns it into a delete command;
    // taking the copy as in place would forget it.
    c.step = Action1Step::kLeave;
    return c;
  }
  if (f.state == entry_state::kNone) c.state = entry_state::kUnknownOrigin;

  c.changed_here = stamp_difference(f.object, f.record) != 0;
  const std::int32_t carrier_vs_object = stamp_difference(f.carrier, f.object);
  c.carrier_as_record = stamp_difference(f.carrier, f.record) == 0;
  if (!c.command) {
    if (!f.may_copy) {
      c.step = Action1Step::kNotPermitted;
    } else if (carrier_vs_object == 0 || c.carrier_as_record) {
      c.step = Action1Step::kInPlace;
    } else if (c.changed_here || carrier_vs_object < 0) {
      c.step = Action1Step::kAskCopy;
      c.warning = true;
    } else if (f.object != 0 && f.ask_replace) {
      c.step = Action1Step::kAskCopy;
    } else {
      c.step = Action1Step::kCopy;
    }
  } else if (!f.may_delete) {
    c.step = Action1Step::kNotPermitted;
  } else if (f.object == 0) {
    c.step = Action1Step::kInPlace;
  } else if (c.changed_here) {
    c.step = Action1Step::kAskCopy;
    c.warning = true;
  } else if (f.ask_delete) {
    c.step = Action1Step::kAskDelete;
  } else {
    c.step = Action1Step::kDelete;
  }
  if (f.folder && (c.step == Action1Step::kAskCopy || c.step == Action1Step::kAskDelete)) {
    // A folder's time changes whenever a file comes or goes in it: one that
    // changed here or is newer here is in place.
    c.step = Action1Step::kInPlace;
    c.warning = false;
  }
  return c;
}

Action2Choice choose_action2_present(const Action2Facts& f) {
  Action2Choice c;
  if (!f.may_copy) {
    c.step = Action2Step::kTakeAsIs;
    return c;
  }
  // A delete command waits for this file and it is unchanged here since
  // this computer's last synchronisation: the deletion could not be carried
  // out here yet, and the next Action 1 tries again. Publishing the file
  // would undo the deletion everywhere.
  if (!f.force && f.state == entry_state::kDelete && f.record != 0 &&
      stamp_difference(f.object, f.record) == 0) {
    return c;
  }
  const int my_number = f.me + 1;
  const bool changed_here = f.list_state > 1 && stamp_difference(f.object, f.record) != 0;
  if (!f.force && !changed_here) {
    // A stamp taken across a change of daylight saving time may differ from
    // the others in its daylight marker only.
    if (f.holder > 0 && f.two_second_volume && f.holder_of_twin == 0) {
      c.step = Action2Step::kDaylightTwin;
      return c;
    }
    if (f.holder != my_number) {
      if (f.holder > 0 && f.holder != f.state) {
        c.step = Action2Step::kDesynchronised;
        c.desynchronised = true;
        c.sender = f.holder;
      }
      return c;
    }
    c.desynchronised = true;
  }
  c.step = Action2Step::kCopy;
  if (f.carrier != 0 && !f.force) {
    const std::int32_t d = stamp_difference(f.object, f.carrier);
    if (d == 0) c.step = Action2Step::kInStep;
    if (d < 0) c.step = Action2Step::kAskReplace;
  }
  return c;
}

Action2Choice choose_action2_absent(const Action2Facts& f) {
  Action2Choice c;
  if (!f.may_delete) {
    c.step = Action2Step::kForget;
  } else if (f.record != 0) {
    c.step = Action2Step::kDeleted;
    c.delete_carrier_copy = f.state != entry_state::kDelete && f.carrier != 0;
    c.write_command = f.others_have;
    c.desynchronised = true;
  }
  return c;
}

}  // namespace keldar
