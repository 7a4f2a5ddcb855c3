// The choices of Action 1 and Action 2 for one entry, as tables of cases.
#include "sync/decisions.h"

#include <gtest/gtest.h>

#include <string>

namespace keldar {
namespace {

constexpr std::uint32_t T0 = 1000000, T1 = 1000100, T2 = 1000200;
constexpr std::uint8_t kCmd = 0xFF;

using S1 = Action1Step;

struct Action1Case {
  const char* what;
  Action1Facts facts;
  S1 step;
  bool warning = false;
  std::uint8_t state = 0;  // the working state afterwards
};

Action1Facts file(std::uint8_t state, std::uint32_t o, std::uint32_t k, std::uint32_t r) {
  Action1Facts f;
  f.state = state;
  f.object = o;
  f.carrier = k;
  f.record = r;
  f.me = 0;
  f.may_copy = f.may_delete = true;
  return f;
}
Action1Facts with(Action1Facts f, void (*change)(Action1Facts&)) {
  change(f);
  return f;
}

TEST(DecisionsTest, Action1ChoosesByStateStampsMasksAndKind) {
  const Action1Case cases[] = {
      {"nothing in transit", file(0, T0, 0, T0), S1::kPass},
      {"the carrier copy is gone", file(2, T0, 0, T0), S1::kCopyGone},
      {"a damaged state", file(6, T0, T1, T0), S1::kDamaged, false, 6},
      {"a damaged state in the upper half", file(200, T0, T1, T0), S1::kDamaged, false, 200},
      {"own copy of a file deleted here", file(1, 0, T1, T1), S1::kLeave, false, 1},
      {"an unnumbered carrier file is copied", file(0, 0, T1, 0), S1::kCopy, false, 5},
      {"a newer copy over an unchanged file", file(2, T0, T1, T0), S1::kCopy, false, 2},
      {"in place: the carrier equals the object", file(2, T1, T1, T0), S1::kInPlace, false, 2},
      {"in place: the carrier equals the record", file(2, T2, T1, T1), S1::kInPlace, false, 2},
      {"changed here: the conflict prompt", file(2, T1, T2, T0), S1::kAskCopy, true, 2},
      {"deleted here, newer on the carrier", file(2, 0, T2, T0), S1::kAskCopy, true, 2},
      {"older on the carrier: the conflict prompt", file(2, T1, T0, T1), S1::kAskCopy, true, 2},
      {"older carrier, changed record", file(2, T1, T0, T2), S1::kAskCopy, true, 2},
      {"the mask asks before replacing",
       with(file(2, T0, T1, T0), [](Action1Facts& f) { f.ask_replace = true; }), S1::kAskCopy,
       false, 2},
      {"a new file is never asked about by the mask",
       with(file(2, 0, T1, 0), [](Action1Facts& f) { f.ask_replace = true; }), S1::kCopy, false, 2},
      {"copying not permitted",
       with(file(0, T0, T1, T0), [](Action1Facts& f) { f.may_copy = false; }), S1::kNotPermitted,
       false, 5},
      {"a command deletes an unchanged file", file(kCmd, T0, 0, T0), S1::kDelete, false, kCmd},
      {"a command for a file already gone", file(kCmd, 0, 0, T0), S1::kInPlace, false, kCmd},
      {"a command against a change here", file(kCmd, T1, 0, T0), S1::kAskCopy, true, kCmd},
      {"the mask asks before deleting",
       with(file(kCmd, T0, 0, T0), [](Action1Facts& f) { f.ask_delete = true; }), S1::kAskDelete,
       false, kCmd},
      {"deleting not permitted",
       with(file(kCmd, T0, 0, T0), [](Action1Facts& f) { f.may_delete = false; }),
       S1::kNotPermitted, false, kCmd},
      {"a folder that changed here is in place",
       with(file(2, T1, T2, T0), [](Action1Facts& f) { f.folder = true; }), S1::kInPlace, false, 2},
      {"a folder newer here is in place",
       with(file(2, T2, T1, T2), [](Action1Facts& f) { f.folder = true; }), S1::kInPlace, false, 2},
      {"a command for a folder changed here",
       with(file(kCmd, T1, 0, T0), [](Action1Facts& f) { f.folder = true; }), S1::kInPlace, false,
       kCmd},
      {"a folder missing here is made",
       with(file(2, 0, T1, 0), [](Action1Facts& f) { f.folder = true; }), S1::kCopy, false, 2},
  };
  for (const Action1Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Action1Choice choice = choose_action1(c.facts);
    EXPECT_EQ(choice.step, c.step);
    EXPECT_EQ(choice.warning, c.warning);
    if (c.step != S1::kPass && c.step != S1::kCopyGone) {
      EXPECT_EQ(choice.state, c.state);
    }
    EXPECT_EQ(choice.command, c.facts.state == kCmd);
  }
  EXPECT_EQ(choose_action1(file(3, T0, 0, T0)).state, 0) << "a gone copy resets the state";
}

using S2 = Action2Step;

struct Action2Case {
  const char* what;
  Action2Facts facts;
  S2 step;
  bool desynchronised = false;
};

Action2Facts here(std::uint8_t state, std::uint32_t o, std::uint32_t k, std::uint32_t r,
                  std::int16_t holder = 0) {
  Action2Facts f;
  f.state = state;
  f.object = o;
  f.carrier = k;
  f.record = r;
  f.me = 0;
  f.list_state = 3;
  f.may_copy = f.may_delete = true;
  f.holder = holder;
  return f;
}
Action2Facts with(Action2Facts f, void (*change)(Action2Facts&)) {
  change(f);
  return f;
}

TEST(DecisionsTest, Action2ChoosesForFilesPresentHere) {
  const Action2Case cases[] = {
      {"copying not permitted",
       with(here(0, T1, 0, T0), [](Action2Facts& f) { f.may_copy = false; }), S2::kTakeAsIs},
      {"changed here: copied", here(0, T1, 0, T0), S2::kCopy},
      {"changed here, the carrier holds it already", here(1, T1, T1, T0), S2::kInStep},
      {"changed here, the carrier's copy is newer", here(2, T1, T2, T0), S2::kAskReplace},
      {"changed here, an older copy on the carrier", here(2, T1, T0, T0), S2::kCopy},
      {"a first scan is no change",
       with(here(0, T1, 0, T0), [](Action2Facts& f) { f.list_state = 1; }), S2::kNothing},
      {"unchanged and in step everywhere", here(0, T0, 0, T0), S2::kNothing},
      {"unchanged, the holder rule names this computer", here(0, T0, 0, T0, 1), S2::kCopy, true},
      {"unchanged, another computer's version is to travel", here(0, T0, 0, T0, 3),
       S2::kDesynchronised, true},
      {"unchanged, that version is on the carrier already", here(3, T0, T1, T0, 3), S2::kNothing},
      {"a daylight twin in step on a two-second volume",
       with(here(0, T0, 0, T0, 1),
            [](Action2Facts& f) {
              f.two_second_volume = true;
              f.holder_of_twin = 0;
            }),
       S2::kDaylightTwin},
      {"the twin does not help",
       with(here(0, T0, 0, T0, 1),
            [](Action2Facts& f) {
              f.two_second_volume = true;
              f.holder_of_twin = 1;
            }),
       S2::kCopy, true},
      {"a waiting command for a file unchanged here", here(kCmd, T0, 0, T0, 1), S2::kNothing},
      {"the force flag copies over an equal carrier copy",
       with(here(kCmd, T0, T0, T0), [](Action2Facts& f) { f.force = true; }), S2::kCopy},
  };
  for (const Action2Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Action2Choice choice = choose_action2_present(c.facts);
    EXPECT_EQ(choice.step, c.step);
    EXPECT_EQ(choice.desynchronised, c.desynchronised);
    if (c.step == S2::kDesynchronised) {
      EXPECT_EQ(choice.sender, c.facts.holder);
    }
  }
}

TEST(DecisionsTest, Action2ChoosesForFilesAbsentHere) {
  struct Case {
    const char* what;
    Action2Facts facts;
    S2 step;
    bool delete_carrier_copy, write_command;
  };
  const Case cases[] = {
      {"deleting not permitted",
       with(here(0, 0, 0, T0), [](Action2Facts& f) { f.may_delete = false; }), S2::kForget, false,
       false},
      {"never had it", here(0, 0, 0, 0), S2::kNothing, false, false},
      {"deleted here, the others have it",
       with(here(0, 0, 0, T0), [](Action2Facts& f) { f.others_have = true; }), S2::kDeleted, false,
       true},
      {"deleted here, nobody else has it", here(0, 0, 0, T0), S2::kDeleted, false, false},
      {"deleted here, a copy waits on the carrier",
       with(here(2, 0, T1, T0), [](Action2Facts& f) { f.others_have = true; }), S2::kDeleted, true,
       true},
      {"the command waits already",
       with(here(kCmd, 0, T1, T0), [](Action2Facts& f) { f.others_have = true; }), S2::kDeleted,
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const Action2Choice choice = choose_action2_absent(c.facts);
    EXPECT_EQ(choice.step, c.step);
    EXPECT_EQ(choice.delete_carrier_copy, c.delete_carrier_copy);
    EXPECT_EQ(choice.write_command, c.write_command);
    EXPECT_EQ(choice.desynchronised, c.step == S2::kDeleted);
  }
}

}  // namespace
}  // namespace keldar
