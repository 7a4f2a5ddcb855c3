// Writes the seed corpora of the fuzz targets, made with the encoders:
// `seeds <folder>` writes <folder>/<target>/<name> for every target.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "format/earlier_release.h"
#include "format/list_file.h"
#include "platform/text.h"
#include "store/computer_table.h"
#include "store/mask_table.h"
#include "store/object_table.h"

using namespace keldar;
namespace fs = std::filesystem;

namespace {

fs::path root;

void seed(const std::string& target, const std::string& name, std::string_view data) {
  fs::create_directories(root / target);
  std::FILE* f = std::fopen((root / target / name).c_str(), "wb");
  if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size()) {
    std::perror(name.c_str());
    std::exit(1);
  }
  std::fclose(f);
}

std::string objects() {
  std::vector<ObjectRecord> records(2, ObjectRecord::new_object());
  records[0].set_id(7);
  records[0].set_allow_nested(true);
  (void)records[0].set_path(0, cp1251("C:\\Документы\\*.*"));
  (void)records[0].set_path(1, "/home/user/docs/*.txt");
  records[1].set_id(8);
  records[1].set_copy_to_carrier(2, false);
  (void)records[1].set_path(2, "D:\\WORK\\*.*");
  return encode_object_file(9, records);
}

std::string masks() {
  std::vector<MaskRecord> records(3);
  (void)records[0].set_pattern("*.TMP");
  (void)records[1].set_pattern(cp1251("ОТЧЁТ?.doc"));
  records[1].set_allow_copy(true);
  records[1].set_ask_before_replacing(true);
  (void)records[2].set_pattern("*.*");
  records[2].set_allow_copy(true);
  records[2].set_allow_delete(true);
  return encode_mask_file(records);
}

// Entry records of a list: the object folder, a file, a folder, a file in
// it with a Cyrillic name.
std::string entries() {
  std::string out;
  append_list_record(out, {{1623715200, 0, 0, 0}, 0, "\\"});
  append_list_record(out, {{1623715200 | 0x80000000u, 1623715202, 0, 0}, 2, "A.TXT"});
  append_list_record(out, {{0, 0, 1610668800, 0}, 0, cp1251("ПАПКА\\")});
  const std::string name = cp1251("ПАПКА\\Отчёт.doc");
  append_list_record(out, {{0, 1610668801, 0, 0}, 255, name});
  return out;
}

std::string list() {
  std::string out;
  append_list_header(out, {3, 2, 0, 255});
  return out + entries();
}

OldObjectRecord old_record(std::int16_t id) {
  OldObjectRecord r;
  put_i16(&r.bytes[0], id);
  r.bytes[2] = 1;
  put_text(&r.bytes[4], 512, cp1251("C:\\Документы\\*.*"));
  put_text(&r.bytes[4 + 512], 512, "/home/user/docs/*.*");
  put_u16(&r.bytes[2052], 3);
  put_u16(&r.bytes[2054], 0x0102);
  return r;
}

std::string old_table() {
  std::string out;
  append_u16(out, 2);
  append_u16(out, 9);
  append_records(out, std::span<const OldObjectRecord>(std::vector{old_record(7), old_record(8)}));
  return out;
}

std::string with_length(std::string_view table, std::string_view rest) {
  std::string out;
  append_u16(out, static_cast<std::uint16_t>(table.size()));
  return out + std::string(table) + std::string(rest);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: seeds <corpus folder>\n");
    return 2;
  }
  root = argv[1];

  seed("object_file", "two_objects", objects());
  seed("object_file", "empty", encode_object_file(1, {}));
  seed("object_file", "cut", objects().substr(0, 3000));

  seed("mask_file", "three_masks", masks());
  seed("mask_file", "empty", encode_mask_file({}));

  ComputerTable computers;
  computers.set(0, 0x12345678, "OFFICE");
  computers.set(1, 0x0BADF00D, cp1251("ДОМ"));
  seed("computer_file", "two_computers", computers.encode());
  seed("computer_file", "short", computers.encode().substr(0, 30));

  for (const char* target : {"list_file", "listtext"}) {
    seed(target, "four_entries", list());
    seed(target, "header_only", list().substr(0, kListHeaderSize));
    seed(target, "cut_name", list().substr(0, list().size() - 4));
  }

  const OldObjectRecord record = old_record(7);
  const std::string record_bytes(record.bytes.begin(), record.bytes.end());
  seed("earlier_release", "record_and_list", record_bytes + entries());
  seed("earlier_release", "table", old_table());

  seed("dataupgrade", "two_objects", with_length(old_table(), entries()));
  seed("dataupgrade", "no_lists", with_length(old_table(), ""));
  seed("dataupgrade", "current", with_length(objects(), ""));

  seed("wildcard", "extension", std::string("*.TXT\0report.txt", 16));
  seed("wildcard", "question", std::string("A?C*\0abcdef", 11));
  seed("wildcard", "star_at_end", std::string("REPORT*\0report", 14));
  seed("wildcard", "cyrillic", cp1251("ОТ*ЁТ") + '\0' + cp1251("ОТЧЁТ"));

  seed("text", "cp1251", cp1251("C:\\Папка\\Ёж №1.txt"));
  seed("text", "utf8", "\xD0\x9E\xD1\x82\xD1\x87\xD1\x91\xD1\x82 \xE2\x82\xAC \xF0\x9F\x98\x80");
  seed("text", "utf16", std::string("\x1F\x04\x30\x04\x3D\xD8\x00\xDE\x00\xD8", 10));
  return 0;
}
