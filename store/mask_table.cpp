#include "store/mask_table.h"

#include <limits>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {

MaskTable::MaskTable() { clear(); }

void MaskTable::clear() {
  damaged_ = false;
  records_.assign(1, MaskRecord{});
}

std::int16_t MaskTable::load(FileSystem& fs, const std::string& path) {
  clear();
  std::string data;
  int code = fs.read_file(path, data);
  if (code == err::kFileNotFound || code == err::kPathNotFound) {
    return fs.write_file(path, encode()) == err::kOk ? load_result::kCreated
                                                     : load_result::kCannotCreate;
  }
  damaged_ = true;  // until the file is taken whole
  if (code != err::kOk) return load_result::kReadError;
  MaskFile file = decode_mask_file(data);
  if (file.status != TableStatus::kOk) return load_result_of(file.status);
  records_ = std::move(file.records);
  records_.push_back(MaskRecord{});
  damaged_ = false;
  return count();
}

std::string MaskTable::encode() const {
  return encode_mask_file(std::span(records_).first(count()));
}

int MaskTable::save(FileSystem& fs, const std::string& path) const {
  if (damaged_) return err::kAccessDenied;
  return fs.write_file(path, encode());
}

bool MaskTable::insert_template_at(int position) {
  if (count() == std::numeric_limits<std::int16_t>::max() || position < 0 || position > count()) {
    return false;
  }
  MaskRecord added = records_.back();
  records_.pop_back();
  records_.insert(records_.begin() + position, added);
  records_.push_back(MaskRecord{});
  return true;
}

std::string mask_load_message(std::int16_t result) {
  switch (result) {
    case load_result::kDamaged:
      return cp1251("Файл MASKS.QRV поврежден");
    case load_result::kReadError:
      return cp1251("Ошибка чтения из файла MASKS.QRV");
    case load_result::kCannotCreate:
      return cp1251("Ошибка создания файла списка масок MASKS.QRV");
    case load_result::kCreated:
      return cp1251("Файл списка масок MASKS.QRV создан");
    default:
      return cp1251("Загружено из файла MASKS.QRV масок имен файлов: ") + " " +
             std::to_string(result);
  }
}

}  // namespace keldar
