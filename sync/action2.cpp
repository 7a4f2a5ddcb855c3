// Action 2: what changed in the current object on this computer goes onto
// the carrier. New and changed files are copied into the object's carrier
// folder, files deleted here become delete commands in the list, and this
// computer's list stamps are brought up to date.
#include <cstdint>
#include <cstdio>
#include <string>

#include "lists/compare.h"
#include "lists/masks.h"
#include "lists/stamps.h"
#include "platform/text.h"
#include "sync/actions.h"
#include "sync/decisions.h"
#include "sync/file_ops.h"
#include "sync/holder.h"

namespace keldar {
namespace {

constexpr const char* kCrLf = "\r\n";

// The counters of one pass, and what its copies learnt of the disk.
struct Counts {
  long examined = 0;
  long added = 0;
  long replaced = 0;
  long delete_commands = 0;
  long desynchronised = 0;
  CopyPass pass;
};

std::string time_text(Env& env, std::uint32_t value) {
  bool daylight_now = false;
  return timestamp_text(value, env.clock, daylight_now);
}

// The question before a file here replaces a newer copy on the carrier.
Answer ask_replace(Env& env, const ObjectRun& run, std::string_view name,
                   std::uint32_t object_stamp, std::uint32_t carrier_stamp) {
  std::string text = cp1251("Объект: ") + run.record.path(run.computer) + kCrLf;
  text += cp1251("Файл: ") + std::string(name) + kCrLf;
  text += cp1251("В компьютере: ") + time_text(env, object_stamp) + kCrLf;
  text += cp1251("На носителе: ") + time_text(env, carrier_stamp) + kCrLf;
  text += cp1251("Заменить файл на носителе из объекта?");
  return env.host.ask(text, cp1251("Копирование на носитель"), /*warning=*/false,
                      /*cancel=*/true);
}

// A folder that vanished or was emptied by mistake must not turn into delete
// commands for every computer without a word: when every file (two or more)
// that this computer had at its last synchronisation is gone, the user is
// asked once. Returns whether the deletions of this object may be carried.
bool deletions_confirmed(Env& env, const ObjectRun& run, const FileList& list) {
  const int me = run.computer;
  long had = 0;
  for (const ListEntry& e : list.entries) {
    if (e.unsafe || e.is_folder() || e.list_stamps[me] == 0) continue;
    if (e.object_stamp != 0) return true;
    ++had;
  }
  if (had < 2) return true;
  std::string text = cp1251("Объект: ") + run.record.path(me) + kCrLf;
  text += cp1251("Все файлы объекта, бывшие в нем при прошлой синхронизации, отсутствуют (") +
          std::to_string(had) + ")." + kCrLf;
  text += cp1251("Создать команды удаления на носителе?");
  return env.host.ask(text, cp1251("Копирование на носитель"), /*warning=*/false,
                      /*cancel=*/false) == Answer::kYes;
}

// What Action 2 knows of entry `index` when it decides.
Action2Facts facts_of(const ObjectRun& run, const FileList& list, std::size_t index,
                      const MaskPermissions& allowed) {
  const ListEntry& e = list.entries[index];
  Action2Facts f;
  f.state = e.state;
  f.object = e.object_stamp;
  f.carrier = e.carrier_stamp;
  f.me = run.computer;
  f.record = e.list_stamps[f.me];
  f.list_state = list.states[f.me];
  f.force = run.force;
  f.may_copy = allowed.copy;
  f.may_delete = allowed.remove;
  f.two_second_volume = !list.exact_object;
  if (f.object != 0) {
    f.holder = holder_rule(run, e, false);
    if (f.two_second_volume && f.holder > 0) {
      f.holder_of_twin = holder_rule(run, e, false, f.object ^ kDaylightBit);
    }
  } else {
    for (int c = 0; c < kComputers; ++c) {
      if (c != f.me && e.list_stamps[c] != 0) f.others_have = true;
    }
  }
  return f;
}

// Copies a file present here to the carrier. `s` and `r` are the working
// entry state and list stamp.
void publish(Env& env, const ObjectRun& run, std::size_t index, std::uint8_t& s, std::uint32_t& r,
             Counts& counts) {
  ListEntry& e = run.list.entries[index];
  const bool replacing = e.carrier_stamp != 0;
  const int code = copy_entry(env, run, index, /*towards_object=*/false, &counts.pass);
  if (code != 0) {
    log_marked(env.log, "EC=", e.name());
    log_system_error(env.log, code);
    return;
  }
  ++(replacing ? counts.replaced : counts.added);
  log_marked(env.log, replacing ? "=> " : "=+ ", e.name());
  s = static_cast<std::uint8_t>(run.computer + 1);
  r = e.object_stamp;
}

// One entry of a file present here.
void present_file(Env& env, const ObjectRun& run, std::size_t index, const Action2Choice& choice,
                  std::uint8_t& s, std::uint32_t& r, Counts& counts) {
  ListEntry& e = run.list.entries[index];
  if (choice.desynchronised) ++counts.desynchronised;
  switch (choice.step) {
    case Action2Step::kTakeAsIs:
      r = e.object_stamp;
      return;
    case Action2Step::kDaylightTwin:
      e.object_stamp ^= kDaylightBit;
      r = e.object_stamp;
      return;
    case Action2Step::kDesynchronised: {
      char marker[16];
      std::snprintf(marker, sizeof marker, "<%i ", choice.sender);
      log_marked(env.log, marker, e.name());
      return;
    }
    case Action2Step::kInStep:
      r = e.object_stamp;
      if (run.list.states[run.computer] < 3) log_marked(env.log, "-- ", e.name());
      return;
    case Action2Step::kAskReplace:
      switch (ask_replace(env, run, e.name(), e.object_stamp, e.carrier_stamp)) {
        case Answer::kYes:
          break;
        case Answer::kNo:
          r = e.object_stamp;
          log_marked(env.log, "RC ", e.name());
          return;
        case Answer::kCancel:
          env.stop.request();
          return;
      }
      [[fallthrough]];
    case Action2Step::kCopy:
      publish(env, run, index, s, r, counts);
      return;
    default:
      return;
  }
}

// One entry of a file absent here.
void absent_file(Env& env, const ObjectRun& run, std::size_t index, const Action2Choice& choice,
                 std::uint8_t& s, std::uint32_t& r, Counts& counts) {
  if (choice.step == Action2Step::kForget) r = 0;
  if (choice.step != Action2Step::kDeleted) return;
  std::string marker = "-- ";
  if (s != entry_state::kDelete) {
    marker = "=";
    if (choice.delete_carrier_copy) {
      marker = delete_entry(env, run, index, /*on_carrier=*/true, &counts.pass) == 0 ? "x" : "e";
    }
  }
  if (choice.write_command) {
    s = entry_state::kDelete;
    ++counts.delete_commands;
    marker += "x ";
  } else {
    marker += "- ";
  }
  ++counts.desynchronised;
  r = 0;
  log_marked(env.log, marker, run.list.entries[index].name());
}

}  // namespace

long action2(Env& env, const ObjectRun& run) {
  if (run.computer < 0 || run.computer >= kComputers) return -1;
  FileList& list = run.list;
  const int me = run.computer;
  Counts counts;

  const bool deletions = env.stop.pending() || deletions_confirmed(env, run, list);

  for (std::size_t i = list.entries.size(); i-- > 0;) {
    if (env.stop.pending()) break;
    ListEntry& e = list.entries[i];
    if (!e.unsafe && (deletions || e.object_stamp != 0)) {
      std::uint8_t s = e.state;
      std::uint32_t r = e.list_stamps[me];
      const MaskPermissions allowed = mask_permissions(run.masks, e.name(), run.force);
      const Action2Facts facts = facts_of(run, list, i, allowed);
      if (facts.object != 0) {
        present_file(env, run, i, choose_action2_present(facts), s, r, counts);
      } else {
        absent_file(env, run, i, choose_action2_absent(facts), s, r, counts);
      }
      ListEntry& done = list.entries[i];
      if (done.state != s || done.list_stamps[me] != r) {
        done.state = s;
        done.list_stamps[me] = r;
        list.dirty = true;
      }
    }
    env.progress.show(static_cast<long>(i));
    ++counts.examined;
  }

  env.progress.clear();
  const bool stopped = env.stop.pending();
  if (!deletions) env.log.line(cp1251("Удаление файлов объекта отложено"));
  if (stopped) {
    env.log.line(
        cp1251("Копирование на носитель прервано ------------------------------------------"));
  } else {
    env.log.line(std::string(76, '-'));
  }
  env.log.line(cp1251("Просмотрено файлов списка ") + std::to_string(counts.examined) +
               cp1251(", скопировано ") + std::to_string(counts.added + counts.replaced) +
               cp1251(", из них добавлено ") + std::to_string(counts.added) + ",");
  env.log.line(cp1251("создано команд удаления ") + std::to_string(counts.delete_commands) +
               cp1251(", рассинхронизация ") + std::to_string(counts.desynchronised));

  if (!stopped) list.raise_state(me, 3);
  return counts.examined;
}

}  // namespace keldar
