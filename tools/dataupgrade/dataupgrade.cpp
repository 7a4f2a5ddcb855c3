#include "tools/dataupgrade/dataupgrade.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>

namespace keldar::dataupgrade {
namespace {

namespace fs = std::filesystem;

constexpr char kMagic = static_cast<char>(0xE5);
constexpr std::size_t kRecordSize = 2060;  // old and current object records alike
constexpr std::size_t kOldHeaderSize = 4;  // count, next object id
constexpr std::size_t kHeaderSize = 5;     // magic, count, next object id
constexpr std::size_t kPathsSize = 4 * 512;
constexpr std::size_t kOldPathsAt = 4;
constexpr std::size_t kPathsAt = 11;
constexpr std::size_t kOldListStatesAt = 2052;
constexpr std::size_t kEntrySize = 19;
constexpr std::size_t kMaxName = 259;

struct Close {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Close>;

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

std::int16_t i16_at(std::string_view data, std::size_t at) {
  return static_cast<std::int16_t>(static_cast<unsigned char>(data[at]) |
                                   static_cast<unsigned char>(data[at + 1]) << 8);
}

std::optional<std::string> read_whole(const fs::path& path, std::string& why) {
  File file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    why = reason(errno);
    return std::nullopt;
  }
  std::string data;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) data.append(buffer, got);
  if (std::ferror(file.get())) {
    why = reason(errno);
    return std::nullopt;
  }
  return data;
}

// A new name of the reserved temporary form "~kld<unique>.tmp".
std::string temporary_name() {
  static std::mt19937_64 random(std::random_device{}());
  char text[32];
  std::snprintf(text, sizeof text, "~kld%016llx.tmp", static_cast<unsigned long long>(random()));
  return text;
}

// Writes the file to a temporary file in the same folder and renames it over
// the target, so the target is either as it was or complete.
bool write_atomically(const fs::path& target, std::string_view data, std::string& why) {
  why.clear();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path temporary = target.parent_path() / temporary_name();
    File file(std::fopen(temporary.c_str(), "wbx"));
    if (!file) {
      int error = errno;
      std::error_code ec;
      if (fs::exists(temporary, ec)) continue;
      why = reason(error);
      return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
    ok = std::fflush(file.get()) == 0 && ok;
    if (!ok) why = reason(errno);
    ok = std::fclose(file.release()) == 0 && ok;
    std::error_code ec;
    if (ok) {
      fs::rename(temporary, target, ec);
      if (!ec) return true;
      why = ec.message();
    } else if (why.empty()) {
      why = reason(errno);
    }
    fs::remove(temporary, ec);
    return false;
  }
  why = "no free temporary name";
  return false;
}

// Old record: id (2), allow nested (1), unused (1), 4 paths at 4, 4 list
// states (16-bit) at 2052. Current record: id, allow nested, copy from
// carrier (4), copy to carrier (4), 4 paths at 11, reserved byte.
std::string convert_record(std::string_view old) {
  std::string record(kRecordSize, '\0');
  record.replace(0, 3, old.substr(0, 3));
  record.replace(3, 8, 8, '\1');
  record.replace(kPathsAt, kPathsSize, old.substr(kOldPathsAt, kPathsSize));
  return record;
}

// The header takes the low bytes of the old list states; the entries are
// copied up to the first damaged one (short record, name length 260 or
// more, short name).
std::string convert_list(std::string_view old_record, std::string_view old_list) {
  std::string list(1, kMagic);
  for (int k = 0; k < 4; ++k) list += old_record[kOldListStatesAt + 2 * k];
  std::size_t at = 0;
  while (old_list.size() - at >= kEntrySize) {
    std::size_t n = static_cast<std::uint16_t>(i16_at(old_list, at + 16));
    if (n > kMaxName || old_list.size() - at - kEntrySize < n) break;
    list += old_list.substr(at, kEntrySize + n);
    at += kEntrySize + n;
  }
  return list;
}

// Whether the table is already in the current format: the magic and exactly
// the records its count announces. No old table passes this test: its size
// is 4 more than a multiple of 2060, a current one's 5 more.
bool is_current(std::string_view table) {
  if (table.size() < kHeaderSize || table[0] != kMagic) return false;
  std::int16_t count = i16_at(table, 1);
  return count >= 0 && table.size() == kHeaderSize + count * kRecordSize;
}

// The five characters that name an object's list: the id in decimal,
// padded on the left with '0' to five characters (42 -> "00042", -5 -> "000-5").
// The same name keldar gives an object's list: the id printed with "%05i"
// (7 -> 00007, -5 -> -0005).
std::string list_file_name(std::int16_t object_id) {
  char name[16];
  std::snprintf(name, sizeof name, "%05i", static_cast<int>(object_id));
  return name;
}

}  // namespace

std::string usage() {
  return "Использование: dataupgrade\n"
         "               dataupgrade --help\n"
         "\n"
         "Запускается в папке носителя. Переводит таблицу объектов SYNCOBJ.QRV и\n"
         "списки файлов NNNNN.QRV прежней версии в нынешний формат: сначала\n"
         "записываются списки NNNNN.QRN, последним - новый SYNCOBJ.QRV. Файлы\n"
         "NNNNN.QRV остаются на месте. Файл, который не удалось записать, остается\n"
         "прежним.\n"
         "\n"
         "Коды завершения:\n"
         "  0    данные переведены\n"
         "  2    SYNCOBJ.QRV уже в нынешнем формате; ничего не изменено\n"
         "  3    размер SYNCOBJ.QRV не соответствует числу объектов в нем;\n"
         "       ничего не изменено\n"
         "  4    неверные аргументы\n"
         "  253  заголовок SYNCOBJ.QRV не удается прочитать; ничего не изменено\n"
         "  255  SYNCOBJ.QRV или старый список не удается открыть или прочитать,\n"
         "       или новый файл не удается записать; SYNCOBJ.QRV не изменен\n";
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "--help") {
    out << usage();
    return exit_code::kOk;
  }
  if (!args.empty()) {
    err << "dataupgrade: лишний аргумент " << args[0]
        << "; запустите dataupgrade без аргументов в папке носителя\n\n"
        << usage();
    return exit_code::kUsage;
  }
  const std::string retry =
      "; SYNCOBJ.QRV не изменен, устраните причину и запустите "
      "dataupgrade снова\n";
  std::error_code ec;
  const fs::path folder = fs::current_path(ec);
  if (ec) {
    err << "dataupgrade: текущая папка недоступна (" << ec.message()
        << "); запустите dataupgrade в папке носителя\n";
    return exit_code::kFileError;
  }
  const fs::path table_path = folder / "SYNCOBJ.QRV";
  std::string why;
  std::optional<std::string> table = read_whole(table_path, why);
  if (!table) {
    err << "dataupgrade: не удается прочитать " << table_path.string() << " (" << why
        << "); запустите dataupgrade в папке носителя, где лежит SYNCOBJ.QRV\n";
    return exit_code::kFileError;
  }
  if (is_current(*table)) {
    err << "dataupgrade: SYNCOBJ.QRV уже в нынешнем формате; ничего не изменено, переводить "
           "нечего\n";
    return exit_code::kAlreadyCurrent;
  }
  if (table->size() < kOldHeaderSize) {
    err << "dataupgrade: SYNCOBJ.QRV короче заголовка (" << table->size()
        << " байт); ничего не изменено, восстановите файл из копии\n";
    return exit_code::kHeaderError;
  }
  const std::int16_t count = i16_at(*table, 0);
  if (count < 0 || table->size() != kOldHeaderSize + count * kRecordSize) {
    err << "dataupgrade: размер SYNCOBJ.QRV (" << table->size()
        << " байт) не соответствует числу объектов в нем (" << count
        << "); ничего не изменено, восстановите файл из копии\n";
    return exit_code::kSizeMismatch;
  }

  std::string converted = kMagic + table->substr(0, kOldHeaderSize);
  for (int i = 0; i < count; ++i) {
    std::string_view old =
        std::string_view(*table).substr(kOldHeaderSize + i * kRecordSize, kRecordSize);
    converted += convert_record(old);
    const std::string name = list_file_name(i16_at(old, 0));
    const fs::path old_list_path = folder / (name + ".QRV");
    // An object that never had a list gets none.
    if (fs::status(old_list_path, ec).type() == fs::file_type::not_found) continue;
    std::optional<std::string> old_list = read_whole(old_list_path, why);
    if (!old_list) {
      err << "dataupgrade: не удается прочитать " << old_list_path.string() << " (" << why << ")"
          << retry;
      return exit_code::kFileError;
    }
    const fs::path list_path = folder / (name + ".QRN");
    if (!write_atomically(list_path, convert_list(old, *old_list), why)) {
      err << "dataupgrade: не удается записать " << list_path.string() << " (" << why << ")"
          << retry;
      return exit_code::kFileError;
    }
  }
  if (!write_atomically(table_path, converted, why)) {
    err << "dataupgrade: не удается записать " << table_path.string() << " (" << why << ")"
        << retry;
    return exit_code::kFileError;
  }
  return exit_code::kOk;
}

}  // namespace keldar::dataupgrade
