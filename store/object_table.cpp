#include "store/object_table.h"

#include <limits>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

bool is_absent(int code) { return code == err::kFileNotFound || code == err::kPathNotFound; }

}  // namespace

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
  ObjectFile file = decode_object_file(data);
  if (file.status != TableStatus::kOk) return load_result_of(file.status);
  records_ = std::move(file.records);
  records_.push_back(ObjectRecord::new_object());
  next_id_ = file.next_id;
  damaged_ = false;
  return count();
}

std::string ObjectTable::encode() const {
  return encode_object_file(next_id_, std::span(records_).first(count()));
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
