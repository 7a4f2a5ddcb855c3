#include "store/mask_table.h"

#include <limits>

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {
namespace {

constexpr std::size_t kHeaderSize = 2;

}  // namespace

bool MaskRecord::set_pattern(std::string_view pattern) {
  if (pattern.size() > kMaxPattern || pattern.find('\0') != std::string_view::npos) return false;
  put_text(&bytes[0], kMaxPattern, pattern);
  return true;
}

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
  if (code != err::kOk || data.size() < kHeaderSize) return load_result::kReadError;
  std::int16_t count = get_i16(reinterpret_cast<const std::uint8_t*>(data.data()));
  if (count < 0) return load_result::kReadError;
  if (!fits_count<MaskRecord>(data, kHeaderSize, count)) return load_result::kDamaged;
  records_ = read_records<MaskRecord>(data, kHeaderSize, count);
  records_.push_back(MaskRecord{});
  damaged_ = false;
  return this->count();
}

std::string MaskTable::encode() const {
  std::string out;
  out.reserve(kHeaderSize + count() * MaskRecord::kSize);
  append_u16(out, static_cast<std::uint16_t>(count()));
  append_records(out, records_, count());
  return out;
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
