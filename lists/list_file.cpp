#include "lists/list_file.h"

#include <cstdio>

#include "platform/errors.h"
#include "platform/text.h"
#include "store/bytes.h"

namespace keldar {
namespace {

constexpr unsigned char kMagic = 0xE5;
constexpr std::size_t kHeaderSize = 5;
constexpr std::size_t kRecordSize = 19;

std::string list_path(const Carrier& carrier, const ObjectRecord& record) {
  return carrier.path(list_file_name(record.id()) + ".QRN");
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
  out += static_cast<char>(kMagic);
  for (auto state : list.states) out += static_cast<char>(state);
  for (const ListEntry& e : list.entries) {
    if (e.all_stamps_zero()) continue;
    for (auto stamp : e.list_stamps) append_u32(out, stamp);
    std::string_view name = e.name().substr(0, kMaxListName);
    append_u16(out, static_cast<std::uint16_t>(name.size()));
    out += static_cast<char>(e.state);
    out += name;
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
  if (!opened || data.empty() || static_cast<unsigned char>(data[0]) != kMagic) return 0;
  for (std::size_t k = 0; k < kComputers && 1 + k < data.size(); ++k) {
    list.states[k] = static_cast<std::uint8_t>(data[1 + k]);
  }
  if (data.size() < kHeaderSize) return 0;

  const Marking marking = run.marking(env.log.daylight());
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(data.data());
  std::size_t at = kHeaderSize;
  while (!env.stop.pending() && data.size() - at >= kRecordSize) {
    const std::uint8_t* record = bytes + at;
    std::size_t n = get_u16(record + 16);
    if (n > kMaxListName || data.size() - at - kRecordSize < n) break;
    std::string_view name(data.data() + at + kRecordSize, n);
    at += kRecordSize + n;

    long position = 0;
    ListEntry* e = list.find_or_add(name, 0, 0, marking, run.names, &position);
    if (e == nullptr) return -1;
    env.progress.show(position);
    for (int k = 0; k < kComputers; ++k) e->list_stamps[k] = get_u32(record + 4 * k);
    if (list.states[run.computer] == 0 && !name.empty() && name[0] == '\\') {
      e->list_stamps[run.computer] = 0;
      list.dirty = true;
    }
    e->state = record[18];
    if (!e->unsafe && !is_safe_relative_name(name)) {
      e->unsafe = true;
      env.log.line(cp1251("Недопустимое имя в списке ") + list_file_name(run.record.id()) +
                   cp1251(".QRN, не обрабатывается: ") + printable(name));
    }
  }
  return static_cast<long>(list.entries.size());
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
    if (code == err::kOk) code = env.fs.write_file(path, encode_list(list));
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
