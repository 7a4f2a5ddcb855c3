// The etalon copy: this computer's object folder becomes the reference for
// the current object. Every entry in which another participating computer
// differs from it goes onto the carrier as this computer's version: a copy of
// the file, or a delete command for a file that is absent here. Nothing is
// asked and nothing already on the carrier is looked at.
#include <string>

#include "lists/compare.h"
#include "lists/masks.h"
#include "lists/scan.h"
#include "platform/text.h"
#include "sync/actions.h"
#include "sync/file_ops.h"
#include "sync/holder.h"

namespace keldar {

long etalon_copy(Env& env, const ObjectRun& run) {
  if (run.computer < 0 || run.computer >= kComputers) return -1;
  FileList& list = run.list;
  const int me = run.computer;
  long examined = 0, added = 0, delete_commands = 0, desynchronised = 0;
  list.dirty = true;
  CopyPass pass;

  for (std::size_t i = list.entries.size(); i-- > 0;) {
    if (env.stop.pending()) break;
    ListEntry& e = list.entries[i];
    if (!e.unsafe) {
      const std::uint32_t o = e.object_stamp;
      e.list_stamps[me] = o;
      e.state = entry_state::kNone;
      if (holder_rule(run, e, false) != 0) {
        const std::string name(e.name());
        const MaskPermissions allowed = mask_permissions(run.masks, name, run.force);
        const char* marker = "-- ";
        int code = 0;
        if (o != 0 && allowed.copy) {
          code = copy_entry(env, run, i, /*towards_object=*/false, &pass);
          if (code == 0) {
            ++added;
            marker = "=+ ";
            list.entries[i].state = static_cast<std::uint8_t>(me + 1);
          } else {
            marker = "EC=";
          }
        } else if (o == 0 && allowed.remove) {
          e.state = entry_state::kDelete;
          marker = "=x ";
          ++delete_commands;
        }
        log_marked(env.log, marker, name);
        log_system_error(env.log, code);
        ++desynchronised;
      }
    }
    env.progress.show(static_cast<long>(i));
    ++examined;
  }

  env.progress.clear();
  const bool stopped = env.stop.pending();
  if (stopped) {
    env.log.line(
        cp1251("Копирование на носитель прервано ------------------------------------------"));
  } else {
    env.log.line(std::string(76, '-'));
  }
  env.log.line(cp1251("Просмотрено файлов списка ") + std::to_string(examined) +
               cp1251(", добавлено на носитель ") + std::to_string(added) + ",");
  env.log.line(cp1251("создано команд удаления ") + std::to_string(delete_commands) +
               cp1251(", рассинхронизировано ") + std::to_string(desynchronised));
  if (!stopped) list.raise_state(me, 3);
  return examined;
}

}  // namespace keldar
