// democarrier CARRIER SAMPLES: makes sample folders under SAMPLES and puts
// two objects whose folders they are on this computer, and three masks, into
// the tables of CARRIER. This computer must already be in the carrier's
// computer table (run keldar there once first).
#include <iostream>
#include <string>

#include "format/bytes.h"
#include "platform/errors.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_system.h"
#include "platform/text.h"
#include "store/computer_table.h"
#include "store/mask_table.h"
#include "store/object_table.h"

namespace {

using namespace keldar;

struct SampleFile {
  const char* path;  // UTF-8, below SAMPLES
  const char* text;
};

constexpr SampleFile kSamples[] = {
    {"Документы/Отчёт за квартал.txt", "Выручка выросла на 4%.\n"},
    {"Документы/План.txt", "1. Проверить носитель\n2. Синхронизировать\n"},
    {"Документы/Архив/Отчёт 2025.txt", "Прошлый год.\n"},
    {"Проекты/README.txt", "Project notes\n"},
    {"Проекты/Черновик.bak", "old\n"},
};

int fail(const std::string& what) {
  std::cerr << "democarrier: " << what << '\n';
  return 1;
}

// The slot of this computer in the carrier's computer table, or -1.
int this_computer(FileSystem& fs, System& system, const std::string& carrier) {
  std::string table_bytes, id_bytes;
  if (fs.read_file(carrier + "/" + kComputerFileName, table_bytes) != err::kOk) return -1;
  if (fs.read_file(system.identification_file('C'), id_bytes) != err::kOk || id_bytes.size() < 4) {
    return -1;
  }
  ComputerTable table;
  table.decode(table_bytes);
  std::uint32_t id = get_u32(reinterpret_cast<const std::uint8_t*>(id_bytes.data()));
  int slot = table.find_slot(id);
  return slot >= 0 && table.id(slot) == id ? slot : -1;
}

int make_folders(FileSystem& fs, const std::string& path) {
  for (std::size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      int code = fs.create_folder(path.substr(0, i));
      if (code != err::kOk && code != err::kAlreadyExists) return code;
    }
  }
  return err::kOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return fail("usage: democarrier CARRIER SAMPLES");
  auto carrier = from_utf8(argv[1]);
  auto samples = from_utf8(argv[2]);
  if (!carrier || !samples) return fail("paths must be Windows-1251 text");
  PosixFileSystem fs;
  PosixSystem system;
  int slot = this_computer(fs, system, *carrier);
  if (slot < 0) return fail("this computer is not in the carrier's computer table");

  for (const auto& sample : kSamples) {
    std::string path = *samples + "/" + cp1251(sample.path);
    int code = make_folders(fs, path.substr(0, path.rfind('/')));
    if (code == err::kOk) code = fs.write_file(path, cp1251(sample.text));
    if (code != err::kOk)
      return fail(std::string("cannot write ") + sample.path + ": " +
                  to_utf8_lossy(error_line(code)));
  }

  ObjectTable objects;
  std::string objects_path = *carrier + "/" + kObjectFileName;
  if (objects.load(fs, objects_path) < 0 && objects.count() != 0)
    return fail("cannot read SYNCOBJ.QRV");
  const char* folders[] = {"Документы", "Проекты"};
  for (int i = 0; i < 2; ++i) {
    ObjectRecord& r = objects.new_object();
    r.set_id(objects.next_id());
    r.set_allow_nested(i == 0);
    if (!r.set_path(slot, *samples + "/" + cp1251(folders[i]) + "/*.*"))
      return fail("path too long");
    objects.set_next_id(static_cast<std::int16_t>(objects.next_id() + 1));
    if (!objects.commit_new_object()) return fail("object table full");
  }
  if (int code = objects.save(fs, objects_path); code != err::kOk) {
    return fail("cannot write SYNCOBJ.QRV: " + to_utf8_lossy(error_line(code)));
  }

  MaskTable masks;
  std::string masks_path = *carrier + "/" + kMaskFileName;
  (void)masks.load(fs, masks_path);
  struct {
    const char* pattern;
    bool copy, remove, ask_replace, ask_delete;
  } mask_samples[] = {{"*.bak", false, true, false, false},
                      {"*.doc", true, true, true, true},
                      {"*.*", true, true, false, true}};
  for (const auto& m : mask_samples) {
    MaskRecord& r = masks.record(masks.count());
    (void)r.set_pattern(m.pattern);
    r.set_allow_copy(m.copy);
    r.set_allow_delete(m.remove);
    r.set_ask_before_replacing(m.ask_replace);
    r.set_ask_before_deleting(m.ask_delete);
    if (!masks.insert_template_at(masks.count())) return fail("mask table full");
  }
  if (int code = masks.save(fs, masks_path); code != err::kOk) {
    return fail("cannot write MASKS.QRV: " + to_utf8_lossy(error_line(code)));
  }
  std::cout << "demo carrier ready: 2 objects, " << masks.count() << " masks\n";
  return 0;
}
