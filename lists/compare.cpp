#include "lists/compare.h"

#include <cstdio>

#include "lists/masks.h"
#include "lists/scan.h"
#include "platform/text.h"

namespace keldar {

void log_marked(Log& log, std::string_view marker, std::string_view name) {
  std::string line(marker);
  line += name;
  log.line(line);
}

namespace {

struct Counts {
  long added = 0;
  long changed = 0;
  long deleted = 0;
};

// Logs what changed here in entry `e` since this computer's last
// synchronisation, and what the carrier holds for it.
void compare_entry(Env& env, const ObjectRun& run, const ListEntry& e, Counts& n) {
  const int k = run.computer;
  const bool to_carrier = run.record.copy_to_carrier(k);
  const bool from_carrier = run.record.copy_from_carrier(k);
  const MaskPermissions allowed = mask_permissions(run.masks, e.name(), run.force);
  const std::uint32_t o = e.object_stamp, c = e.carrier_stamp, l = e.list_stamps[k];
  if (to_carrier) {
    if (o != 0 && l != 0 && allowed.copy) {
      const std::int32_t d = stamp_difference(o, l);
      if (d != 0) {
        log_marked(env.log, d > 0 ? "> " : "< ", e.name());
        ++n.changed;
      }
    } else if (o != 0 && l == 0 && allowed.copy) {
      log_marked(env.log, "+ ", e.name());
      ++n.added;
    } else if (o == 0 && l != 0 && allowed.remove) {
      log_marked(env.log, "x ", e.name());
      ++n.deleted;
    }
  }
  if ((!to_carrier || o == l) && from_carrier) {
    if (c != 0 && e.state != k + 1) {
      if (allowed.copy) {
        char marker[8];
        std::snprintf(marker, sizeof marker, "%1i ",
                      static_cast<int>(static_cast<std::int8_t>(e.state)));
        log_marked(env.log, marker, e.name());
      }
    } else if (e.state == entry_state::kDelete && allowed.remove) {
      log_marked(env.log, "X ", e.name());
    }
  }
}

}  // namespace

long compare_object(Env& env, const ObjectRun& run) {
  Counts n;
  long examined = 0;
  if (run.computer >= 0) {
    FileList& list = run.list;
    const auto state = static_cast<std::int8_t>(list.states[run.computer]);
    if (state == 0 || state == 1) {
      env.log.line(cp1251("Первая обработка списка файлов на этом компьютере..."));
    } else if (state == 2 || state == 3) {
      env.log.line(cp1251("Сравнение списка файлов с предыдущей синхронизацией..."));
    }
    for (auto i = list.entries.size(); i-- > 0;) {
      if (env.stop.pending()) break;
      if (!list.entries[i].unsafe) compare_entry(env, run, list.entries[i], n);
      ++examined;
      env.progress.show(examined);
    }
  }
  env.progress.clear();
  if (env.stop.pending()) {
    env.log.line(
        cp1251("Сравнение объекта со списком прервано -------------------------------------"));
  } else {
    env.log.line(std::string(76, '-'));
  }
  char summary[160];
  std::snprintf(summary, sizeof summary, "%ld, %s %ld,", examined, cp1251("добавлено").c_str(),
                n.added);
  env.log.line(cp1251("Объект просмотрен, всего файлов ") + summary);
  std::snprintf(summary, sizeof summary, " %ld, %s %ld", n.changed, cp1251("удалено").c_str(),
                n.deleted);
  env.log.line(cp1251("изменено") + summary);
  return examined;
}

}  // namespace keldar
