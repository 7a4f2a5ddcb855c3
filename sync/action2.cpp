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
#include "sync/file_ops.h"
#include "sync/holder.h"

namespace keldar {
namespace {

constexpr const char* kCrLf = "\r\n";

struct Counts {
  long examined = 0;
  long added = 0;
  long replaced = 0;
  long delete_commands = 0;
  long desynchronised = 0;
};

std::string time_text(Context& ctx, std::uint32_t value) {
  bool daylight_now = false;
  return timestamp_text(value, ctx.clock, daylight_now);
}

// The question before a file here replaces a newer copy on the carrier.
Answer ask_replace(Context& ctx, std::string_view name, std::uint32_t object_stamp,
                   std::uint32_t carrier_stamp) {
  std::string text = cp1251("Объект: ") + ctx.object().path(ctx.computer) + kCrLf;
  text += cp1251("Файл: ") + std::string(name) + kCrLf;
  text += cp1251("В компьютере: ") + time_text(ctx, object_stamp) + kCrLf;
  text += cp1251("На носителе: ") + time_text(ctx, carrier_stamp) + kCrLf;
  text += cp1251("Заменить файл на носителе из объекта?");
  return ctx.host.ask(text, cp1251("Копирование на носитель"), /*warning=*/false,
                      /*cancel=*/true);
}

// A folder that vanished or was emptied by mistake must not turn into delete
// commands for every computer without a word: when every file (two or more)
// that this computer had at its last synchronisation is gone, the user is
// asked once. Returns whether the deletions of this object may be carried.
bool deletions_confirmed(Context& ctx, const FileList& list) {
  const int me = ctx.computer;
  long had = 0;
  for (const ListEntry& e : list.entries) {
    if (e.unsafe || e.is_folder() || e.list_stamps[me] == 0) continue;
    if (e.object_stamp != 0) return true;
    ++had;
  }
  if (had < 2) return true;
  std::string text = cp1251("Объект: ") + ctx.object().path(me) + kCrLf;
  text += cp1251("Все файлы объекта, бывшие в нем при прошлой синхронизации, отсутствуют (") +
          std::to_string(had) + ")." + kCrLf;
  text += cp1251("Создать команды удаления на носителе?");
  return ctx.host.ask(text, cp1251("Копирование на носитель"), /*warning=*/false,
                      /*cancel=*/false) == Answer::kYes;
}

// One entry of a file present here. `s` and `r` are the working entry state
// and list stamp.
void present_file(Context& ctx, FileList& list, std::size_t index, const MaskPermissions& allowed,
                  std::uint8_t& s, std::uint32_t& r, Counts& counts) {
  const int me = ctx.computer;
  const int my_number = me + 1;
  ListEntry& e = list.entries[index];
  std::uint32_t o = e.object_stamp;
  const std::uint32_t k = e.carrier_stamp;
  const std::string name(e.name());

  if (!allowed.copy) {
    r = o;
    return;
  }
  // A delete command waits for this file and it is unchanged here since this
  // computer's last synchronisation: the deletion could not be carried out
  // here yet, and the next Action 1 tries again. Publishing the file would
  // undo the deletion everywhere.
  if (!ctx.force && s == entry_state::kDelete && r != 0 && stamp_difference(o, r) == 0) return;
  const bool changed_here = list.states[me] > 1 && stamp_difference(o, r) != 0;
  if (!ctx.force && !changed_here) {
    int h = holder_rule(ctx, list, e, false);
    if (h > 0 && !list.exact_object) {
      // A stamp taken across a change of daylight saving time may differ from
      // the others in its daylight marker only.
      e.object_stamp ^= kDaylightBit;
      if (holder_rule(ctx, list, e, false) == 0) {
        h = 0;
        o = r = e.object_stamp;
      } else {
        e.object_stamp ^= kDaylightBit;
      }
    }
    if (h != my_number) {
      if (h <= 0 || h == s) return;
      char marker[16];
      std::snprintf(marker, sizeof marker, "<%i ", h);
      ++counts.desynchronised;
      log_marked(ctx.log, marker, name);
      return;
    }
    ++counts.desynchronised;
  }

  // Publish.
  bool copy = k == 0 || ctx.force;
  if (!copy) {
    const std::int32_t d = stamp_difference(o, k);
    if (d == 0) {
      r = o;
      if (list.states[me] < 3) log_marked(ctx.log, "-- ", name);
      return;
    }
    if (d < 0) {
      switch (ask_replace(ctx, name, o, k)) {
        case Answer::kYes:
          break;
        case Answer::kNo:
          r = o;
          log_marked(ctx.log, "RC ", name);
          return;
        case Answer::kCancel:
          ctx.queue.request_stop();
          return;
      }
    }
  }

  // Copy.
  const int code = copy_entry(ctx, index, /*towards_object=*/false);
  if (code != 0) {
    log_marked(ctx.log, "EC=", name);
    log_system_error(ctx.log, code);
    return;
  }
  if (k != 0) {
    ++counts.replaced;
    log_marked(ctx.log, "=> ", name);
  } else {
    ++counts.added;
    log_marked(ctx.log, "=+ ", name);
  }
  s = static_cast<std::uint8_t>(my_number);
  r = o;
}

// One entry of a file absent here.
void absent_file(Context& ctx, FileList& list, std::size_t index, const MaskPermissions& allowed,
                 std::uint8_t& s, std::uint32_t& r, Counts& counts) {
  const int me = ctx.computer;
  if (!allowed.remove) {
    r = 0;
    return;
  }
  if (r == 0) return;
  std::string marker = "-- ";
  if (s != entry_state::kDelete) {
    if (list.entries[index].carrier_stamp != 0) {
      marker = delete_entry(ctx, index, /*on_carrier=*/true) == 0 ? "x" : "e";
    } else {
      marker = "=";
    }
  }
  const ListEntry& e = list.entries[index];
  bool others_have = false;
  for (int c = 0; c < kComputers; ++c) {
    if (c != me && e.list_stamps[c] != 0) others_have = true;
  }
  if (others_have) {
    s = entry_state::kDelete;
    ++counts.delete_commands;
    marker += "x ";
  } else {
    marker += "- ";
  }
  ++counts.desynchronised;
  r = 0;
  log_marked(ctx.log, marker, e.name());
}

}  // namespace

long action2(Context& ctx) {
  if (!ctx.lists.held() || ctx.computer < 0 || ctx.computer >= kComputers ||
      ctx.current_object < 0 || ctx.current_object >= static_cast<int>(ctx.lists.size())) {
    return -1;
  }
  FileList& list = ctx.list();
  const int me = ctx.computer;
  Counts counts;

  const bool deletions = !ctx.queue.running() || deletions_confirmed(ctx, list);

  for (std::size_t i = list.entries.size(); i-- > 0;) {
    if (!ctx.queue.running()) break;
    ListEntry& e = list.entries[i];
    if (!e.unsafe && (deletions || e.object_stamp != 0)) {
      std::uint8_t s = e.state;
      std::uint32_t r = e.list_stamps[me];
      const MaskPermissions allowed = mask_permissions(ctx.masks, e.name(), ctx.force);
      if (e.object_stamp != 0) {
        present_file(ctx, list, i, allowed, s, r, counts);
      } else {
        absent_file(ctx, list, i, allowed, s, r, counts);
      }
      ListEntry& done = list.entries[i];
      if (done.state != s || done.list_stamps[me] != r) {
        done.state = s;
        done.list_stamps[me] = r;
        list.dirty = true;
      }
    }
    ctx.progress.show(static_cast<long>(i));
    ++counts.examined;
  }

  ctx.progress.clear();
  const bool stopped = !ctx.queue.running();
  if (!deletions) ctx.log.line(cp1251("Удаление файлов объекта отложено"));
  if (stopped) {
    ctx.log.line(
        cp1251("Копирование на носитель прервано ------------------------------------------"));
  } else {
    ctx.log.line(std::string(76, '-'));
  }
  ctx.log.line(cp1251("Просмотрено файлов списка ") + std::to_string(counts.examined) +
               cp1251(", скопировано ") + std::to_string(counts.added + counts.replaced) +
               cp1251(", из них добавлено ") + std::to_string(counts.added) + ",");
  ctx.log.line(cp1251("создано команд удаления ") + std::to_string(counts.delete_commands) +
               cp1251(", рассинхронизация ") + std::to_string(counts.desynchronised));

  if (!stopped) list.raise_state(me, 3);
  return counts.examined;
}

}  // namespace keldar
