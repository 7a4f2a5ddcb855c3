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

long compare_object(Context& ctx) {
  if (!ctx.lists.held()) (void)fill_all_lists(ctx);
  ctx.added = ctx.changed = ctx.deleted = 0;
  long examined = 0;
  if (ctx.lists.held() && ctx.current_object < static_cast<int>(ctx.lists.size()) &&
      ctx.computer >= 0) {
    FileList& list = ctx.list();
    const int k = ctx.computer;
    const auto state = static_cast<std::int8_t>(list.states[k]);
    if (state == 0 || state == 1) {
      ctx.log.line(cp1251("Первая обработка списка файлов на этом компьютере..."));
    } else if (state == 2 || state == 3) {
      ctx.log.line(cp1251("Сравнение списка файлов с предыдущей синхронизацией..."));
    }
    const bool to_carrier = ctx.object().copy_to_carrier(k);
    const bool from_carrier = ctx.object().copy_from_carrier(k);
    for (auto i = list.entries.size(); i-- > 0;) {
      if (!ctx.queue.running()) break;
      const ListEntry& e = list.entries[i];
      if (!e.unsafe) {
        MaskPermissions allowed = mask_permissions(ctx.masks, e.name(), ctx.force);
        const std::uint32_t o = e.object_stamp, c = e.carrier_stamp, l = e.list_stamps[k];
        if (to_carrier) {
          if (o != 0 && l != 0 && allowed.copy) {
            std::int32_t d = stamp_difference(o, l);
            if (d != 0) {
              log_marked(ctx.log, d > 0 ? "> " : "< ", e.name());
              ++ctx.changed;
            }
          } else if (o != 0 && l == 0 && allowed.copy) {
            log_marked(ctx.log, "+ ", e.name());
            ++ctx.added;
          } else if (o == 0 && l != 0 && allowed.remove) {
            log_marked(ctx.log, "x ", e.name());
            ++ctx.deleted;
          }
        }
        if ((!to_carrier || o == l) && from_carrier) {
          if (c != 0 && e.state != k + 1) {
            if (allowed.copy) {
              char marker[8];
              std::snprintf(marker, sizeof marker, "%1i ",
                            static_cast<int>(static_cast<std::int8_t>(e.state)));
              log_marked(ctx.log, marker, e.name());
            }
          } else if (e.state == entry_state::kDelete && allowed.remove) {
            log_marked(ctx.log, "X ", e.name());
          }
        }
      }
      ++examined;
      ctx.progress.show(examined);
    }
  }
  ctx.progress.clear();
  if (!ctx.queue.running()) {
    ctx.log.line(
        cp1251("Сравнение объекта со списком прервано -------------------------------------"));
  } else {
    ctx.log.line(std::string(76, '-'));
  }
  char summary[160];
  std::snprintf(summary, sizeof summary, "%ld, %s %ld,", examined, cp1251("добавлено").c_str(),
                ctx.added);
  ctx.log.line(cp1251("Объект просмотрен, всего файлов ") + summary);
  std::snprintf(summary, sizeof summary, " %ld, %s %ld", ctx.changed, cp1251("удалено").c_str(),
                ctx.deleted);
  ctx.log.line(cp1251("изменено") + summary);
  return examined;
}

}  // namespace keldar
