#include "lists/list_file.h"

#include <cstdio>

#include "format/list_file.h"
#include "format/time_value.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

std::string list_path(const Carrier& carrier, const ObjectRecord& record) {
  return carrier.path(list_file(record.id()));
}

std::string sum_path(const Carrier& carrier, const ObjectRecord& record) {
  return carrier.path(sum_file(record.id()));
}

// The sum records of a list of `entries` entries; a file longer than the
// records of that many entries could be is not read, and no more records
// than entries are taken.
void load_sums(Env& env, const ObjectRun& run, std::size_t entries) {
  const std::string path = sum_path(run.carrier, run.record);
  DirItem item;
  if (env.fs.item_info(path, item) != err::kOk || item.kind != ItemKind::kFile ||
      item.size > kSumHeaderSize + (entries + 1) * (kSumRecordSize + kMaxListName)) {
    return;
  }
  std::string data;
  if (env.fs.read_file(path, data) != err::kOk) return;
  for (SumRecord& record : decode_sum_file(data, entries + 1)) {
    std::string name = record.name;
    run.list.sums.insert_or_assign(std::move(name), std::move(record));
  }
}

// Writes the sum file of `list` (the records that still match their
// entries) or removes it when none is left; the error of writing it.
int write_sums(Env& env, Workspace& w, int index) {
  const FileList& list = w.lists.list(index);
  std::vector<SumRecord> kept;
  for (const ListEntry& e : list.entries) {
    const SumRecord* record = copy_sum(list, e);
    if (record && !e.all_stamps_zero()) kept.push_back(*record);
  }
  const std::string path = sum_path(w.carrier, w.objects.record(index));
  if (kept.empty()) {
    (void)env.fs.delete_file(path);
    return err::kOk;
  }
  const int code = env.fs.write_file(path, encode_sum_file(kept));
  if (code != err::kOk) (void)env.fs.delete_file(path);
  return code;
}

// A name as it may be shown in a log line: control characters as '?'.
std::string printable(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  return out;
}

}  // namespace

std::string encode_list(const FileList& list) {
  std::string out;
  append_list_header(out, list.states);
  for (const ListEntry& e : list.entries) {
    if (!e.all_stamps_zero()) append_list_record(out, {e.list_stamps, e.state, e.name()});
  }
  return out;
}

long load_list_file(Env& env, const ObjectRun& run, bool& opened) {
  FileList& list = run.list;
  list.reset();
  std::string data;
  const std::string path = list_path(run.carrier, run.record);
  int code = env.fs.read_file(path, data);
  opened = code == err::kOk;
  if (code != err::kOk && code != err::kFileNotFound && code != err::kPathNotFound) {
    // Taking it for a new list would forget every computer's stamps.
    env.log.line(cp1251("Ошибка чтения файла списка ") + path);
    log_system_error(env.log, code);
    list.unreadable = true;
    return 0;
  }
  const ListHeader header = decode_list_header(data);
  if (!opened || !header.magic) return 0;
  list.states = header.states;
  if (header.states_read < list.states.size()) return 0;

  const Marking marking = run.marking(env.log.daylight());
  const std::string_view body = std::string_view(data).substr(kListHeaderSize);
  ListRecord record;
  // Counted first: the entries and their index then take their room once.
  std::size_t count = 0;
  for (ListRecords counting(body); counting.next(record) == ListStep::kRecord;) ++count;
  if (!list.reserve(count + 1)) return -1;
  ListRecords records(body);
  while (!env.stop.pending() && records.next(record) == ListStep::kRecord) {
    const std::string_view name = record.name;
    long position = 0;
    ListEntry* e = list.find_or_add(name, 0, 0, marking, run.names, &position);
    if (e == nullptr) return -1;
    env.progress.show(position);
    e->list_stamps = record.stamps;
    if (list.states[run.computer] == 0 && !name.empty() && name[0] == '\\') {
      e->list_stamps[run.computer] = 0;
      list.dirty = true;
    }
    e->state = record.state;
    if (!e->unsafe && !is_safe_relative_name(name)) {
      e->unsafe = true;
      env.log.line(cp1251("Недопустимое имя в списке ") + list_file(run.record.id()) +
                   cp1251(", не обрабатывается: ") + printable(name));
    }
  }
  if (!env.stop.pending()) load_sums(env, run, list.entries.size());
  return static_cast<long>(list.entries.size());
}

const SumRecord* copy_sum(const FileList& list, const ListEntry& entry) {
  if (entry.carrier_stamp == 0 || list.sums.empty()) return nullptr;
  auto it = list.sums.find(entry.name());
  if (it == list.sums.end()) return nullptr;
  const SumRecord& record = it->second;
  // The daylight marker of a stamp is the run's: on either side of a change
  // of daylight saving time one copy has two stamps that differ in it alone.
  const bool same_stamp = ((record.carrier_stamp ^ entry.carrier_stamp) & ~kDaylightBit) == 0;
  return record.state == entry.state && same_stamp ? &record : nullptr;
}

bool write_lists(Env& env, Workspace& w) {
  if (!w.lists.held() || !w.lists.complete()) return true;
  // A list names only copies that are on the disk: a list whose copies
  // could not all be written out is not written either.
  const int flushed = env.fs.flush();
  // A carrier gone or replaced since start-up gets no list.
  if (!carrier_in_place(env, w.carrier)) return false;
  bool all_written = true;
  for (int i = 0; i < w.objects.count() && i < static_cast<int>(w.lists.size()); ++i) {
    FileList& list = w.lists.list(i);
    if (!list.dirty || list.unreadable) continue;
    const std::string path = list_path(w.carrier, w.objects.record(i));
    int code = flushed;
    if (code == err::kOk) {
      if (int sums = write_sums(env, w, i)) {
        env.log.line("ErrWr->" + sum_path(w.carrier, w.objects.record(i)));
        log_system_error(env.log, sums);
        all_written = false;
      }
      code = env.fs.write_file(path, encode_list(list));
    }
    std::string result;
    if (code == err::kOk) {
      long written = 0;
      for (const ListEntry& e : list.entries) written += e.all_stamps_zero() ? 0 : 1;
      char text[32];
      std::snprintf(text, sizeof text, "%5li", written);
      result = text;
      list.dirty = false;
    } else {
      // The old file is intact and the list stays dirty, so the next write
      // tries again.
      bool write_failed = code == err::kDiskFull || code == err::kIoDevice;
      result = write_failed ? "ErrWr" : "ErrOp";
      all_written = false;
    }
    env.log.line(result + "->" + path);
    if (code != err::kOk) log_system_error(env.log, code);
  }
  return all_written;
}

}  // namespace keldar
