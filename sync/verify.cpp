#include <cstdio>

#include "lists/compare.h"
#include "lists/list_file.h"
#include "platform/text.h"
#include "sync/actions.h"
#include "sync/content_check.h"

namespace keldar {

long verify_copies(Env& env, const ObjectRun& run) {
  const FileList& list = run.list;
  long examined = 0, checked = 0, damaged = 0, unrecorded = 0;
  for (std::size_t i = list.entries.size(); i-- > 0;) {
    if (env.stop.pending()) break;
    const ListEntry& e = list.entries[i];
    env.progress.show(static_cast<long>(i));
    ++examined;
    if (e.unsafe || e.carrier_stamp == 0 || e.is_folder()) continue;
    const SumRecord* record = copy_sum(list, e, run.exact_carrier());
    if (!record) {
      ++unrecorded;
      continue;
    }
    ++checked;
    ContentCheck check(record);
    const int code = env.fs.read_through(run.carrier_path(e.name()), check);
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
