#include <cstdio>

#include "lists/compare.h"
#include "lists/list_file.h"
#include "lists/stamps.h"
#include "platform/text.h"
#include "sync/actions.h"
#include "sync/content_check.h"

namespace keldar {

long verify_copies(Env& env, const ObjectRun& run) {
  bool opened = false;
  if (load_list_file(env, run, opened) < 0) return -1;
  FileList& list = run.list;
  list.dirty = false;
  long examined = 0, checked = 0, damaged = 0, unrecorded = 0;
  for (std::size_t i = list.entries.size(); i-- > 0;) {
    if (env.stop.pending()) break;
    ListEntry& e = list.entries[i];
    env.progress.show(static_cast<long>(i));
    ++examined;
    if (e.unsafe || e.is_folder() || e.state == entry_state::kNone ||
        e.state == entry_state::kDelete) {
      continue;
    }
    // The copy's stamp as a scan would take it, nothing written back.
    const std::string path = run.carrier_path(e.name());
    if (stamp_now(env.fs, env.clock, path, run.exact_carrier(), env.log.daylight(),
                  e.carrier_stamp) != 0 ||
        e.carrier_stamp == 0) {
      continue;
    }
    const SumRecord* record = copy_sum(list, e);
    if (!record) {
      ++unrecorded;
      continue;
    }
    ++checked;
    ContentCheck check(record);
    const int code = env.fs.read_through(path, check);
    if (code == 0 && check.accept()) continue;
    ++damaged;
    log_marked(env.log, "ERC=", e.name());
    log_system_error(env.log, code != 0 ? code : kDamagedCopyCode);
  }
  env.progress.clear();
  env.log.line(env.stop.pending() ? cp1251("Проверка копий прервана ") + std::string(52, '-')
                                  : std::string(76, '-'));
  char line[200];
  std::snprintf(
      line, sizeof line,
      cp1251("Проверено копий на носителе %ld, повреждено %ld, без контрольной суммы %ld").c_str(),
      checked, damaged, unrecorded);
  env.log.line(line);
  return examined;
}

}  // namespace keldar
