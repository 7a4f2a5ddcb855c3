#include "store/object_table.h"

#include <limits>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

constexpr std::uint8_t kMagic = 0xE5;
constexpr std::size_t kHeaderSize = 5;
constexpr std::size_t kPathOffset = 11;
constexpr std::size_t kPathField = 512;

bool is_absent(int code) { return code == err::kFileNotFound || code == err::kPathNotFound; }

}  // namespace

ObjectRecord ObjectRecord::new_object() {
  ObjectRecord r;
  for (int k = 0; k < kComputerSlots; ++k) {
    r.set_copy_from_carrier(k, true);
    r.set_copy_to_carrier(k, true);
  }
  return r;
}

std::string ObjectRecord::path(int computer) const {
  return get_text(&bytes[kPathOffset + kPathField * computer], kPathField, kMaxPath);
}

bool ObjectRecord::set_path(int computer, std::string_view path) {
  if (path.size() > kMaxPath || path.find('\0') != std::string_view::npos) return false;
  put_text(&bytes[kPathOffset + kPathField * computer], kPathField, path);
  return true;
}

ObjectTable::ObjectTable() { clear(); }

void ObjectTable::clear() {
  damaged_ = false;
  next_id_ = 1;
  records_.assign(1, ObjectRecord::new_object());
}

std::int16_t ObjectTable::load(FileSystem& fs, const std::string& path) {
  clear();
  std::string data;
  int code = fs.read_file(path, data);
  if (is_absent(code)) {
    return fs.write_file(path, encode()) == err::kOk ? load_result::kCreated
                                                     : load_result::kCannotCreate;
  }
  damaged_ = true;  // until the file is taken whole
  if (code != err::kOk) return load_result::kReadError;
  if (data.empty() || static_cast<std::uint8_t>(data[0]) != kMagic) {
    return load_result::kVersionError;
  }
  if (data.size() < kHeaderSize) return load_result::kReadError;
  auto header = reinterpret_cast<const std::uint8_t*>(data.data());
  std::int16_t stored_count = get_i16(header + 1);
  if (stored_count < 0) return load_result::kReadError;
  if (!fits_count<ObjectRecord>(data, kHeaderSize, stored_count)) return load_result::kDamaged;
  records_ = read_records<ObjectRecord>(data, kHeaderSize, stored_count);
  records_.push_back(ObjectRecord::new_object());
  next_id_ = get_i16(header + 3);
  damaged_ = false;
  return count();
}

std::string ObjectTable::encode() const {
  std::string out;
  out.reserve(kHeaderSize + count() * ObjectRecord::kSize);
  out += static_cast<char>(kMagic);
  append_u16(out, static_cast<std::uint16_t>(count()));
  append_u16(out, static_cast<std::uint16_t>(next_id_));
  append_records(out, records_, count());
  return out;
}

int ObjectTable::save(FileSystem& fs, const std::string& path) const {
  if (damaged_) return err::kAccessDenied;
  return fs.write_file(path, encode());
}

bool ObjectTable::commit_new_object() {
  if (count() == std::numeric_limits<std::int16_t>::max()) return false;
  records_.push_back(ObjectRecord::new_object());
  return true;
}

std::string object_load_message(std::int16_t result) {
  switch (result) {
    case load_result::kDamaged:
      return cp1251("Файл SYNCOBJ.QRV поврежден");
    case load_result::kVersionError:
      return cp1251("Ошибка версии списка объектов SYNCOBJ.QRV");
    case load_result::kReadError:
      return cp1251("Ошибка чтения из файла SYNCOBJ.QRV");
    case load_result::kCannotCreate:
      return cp1251("Ошибка создания файла объектов синхронизации SYNCOBJ.QRV");
    case load_result::kCreated:
      return cp1251("Файл объектов синхронизации SYNCOBJ.QRV создан");
    default:
      return cp1251("Загружено из файла SYNCOBJ.QRV объектов синхронизации: ") + " " +
             std::to_string(result);
  }
}

}  // namespace keldar
