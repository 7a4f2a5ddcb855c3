#include "tools/dataupgrade/dataupgrade.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string_view>
#include <system_error>

#include "format/carrier_files.h"
#include "format/earlier_release.h"
#include "format/object_file.h"
#include "platform/file_flush.h"
#include "version/version.h"

namespace keldar::dataupgrade {
namespace {

namespace fs = std::filesystem;

struct Close {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Close>;

// Opens `path` for reading ("rb"), or creates it anew for writing, failing
// when it exists. Windows takes the path in UTF-16.
std::FILE* open_for_reading(const fs::path& path) {
#ifdef _WIN32
  return ::_wfopen(path.c_str(), L"rb");
#else
  return std::fopen(path.c_str(), "rb");
#endif
}

std::FILE* create_new(const fs::path& path) {
#ifdef _WIN32
  const int fd =
      ::_wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  return fd < 0 ? nullptr : ::_fdopen(fd, "wb");
#else
  return std::fopen(path.c_str(), "wbx");
#endif
}

std::string reason(int error) { return std::error_code(error, std::generic_category()).message(); }

std::optional<std::string> read_whole(const fs::path& path, std::string& why) {
  File file(open_for_reading(path));
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

// A new temporary name of the reserved form. A random number stands for the
// process: the standard library knows no process id.
std::string new_temporary_name() {
  static const std::uint64_t process = std::random_device{}();
  static std::uint64_t number = 0;
  return temporary_name(process, ++number);
}

// Writes the file to a temporary file in the same folder, flushes it to the
// disk and renames it over the target, so the target is either as it was or
// complete. A failure removes the temporary.
bool write_atomically(const fs::path& target, std::string_view data, std::string& why) {
  why.clear();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path temporary = target.parent_path() / new_temporary_name();
    File file(create_new(temporary));
    if (!file) {
      int error = errno;
      std::error_code ec;
      if (fs::exists(temporary, ec)) continue;
      why = reason(error);
      return false;
    }
    bool ok = std::fwrite(data.data(), 1, data.size(), file.get()) == data.size();
    ok = flush_to_disk(file.get()) && ok;
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

}  // namespace

std::string usage() {
  return "Использование: dataupgrade\n"
         "               dataupgrade --help\n"
         "               dataupgrade --version\n"
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
  if (args.size() == 1 && args[0] == "--version") {
    out << "dataupgrade " KELDAR_VERSION "\n";
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
  const fs::path table_path = folder / kObjectFileName;
  std::string why;
  std::optional<std::string> table = read_whole(table_path, why);
  if (!table) {
    err << "dataupgrade: не удается прочитать " << table_path.string() << " (" << why
        << "); запустите dataupgrade в папке носителя, где лежит SYNCOBJ.QRV\n";
    return exit_code::kFileError;
  }
  if (decode_object_file(*table).status == TableStatus::kOk) {
    err << "dataupgrade: SYNCOBJ.QRV уже в нынешнем формате; ничего не изменено, переводить "
           "нечего\n";
    return exit_code::kAlreadyCurrent;
  }
  const OldObjectFile old = decode_old_object_file(*table);
  if (old.status == TableStatus::kShortHeader) {
    err << "dataupgrade: SYNCOBJ.QRV короче заголовка (" << table->size()
        << " байт); ничего не изменено, восстановите файл из копии\n";
    return exit_code::kHeaderError;
  }
  if (old.status != TableStatus::kOk) {
    err << "dataupgrade: размер SYNCOBJ.QRV (" << table->size()
        << " байт) не соответствует числу объектов в нем (" << old.count
        << "); ничего не изменено, восстановите файл из копии\n";
    return exit_code::kSizeMismatch;
  }

  std::vector<ObjectRecord> converted;
  converted.reserve(old.records.size());
  for (const OldObjectRecord& record : old.records) {
    converted.push_back(record.converted());
    const fs::path old_list_path = folder / old_list_file(record.id());
    // An object that never had a list gets none.
    if (fs::status(old_list_path, ec).type() == fs::file_type::not_found) continue;
    std::optional<std::string> old_list = read_whole(old_list_path, why);
    if (!old_list) {
      err << "dataupgrade: не удается прочитать " << old_list_path.string() << " (" << why << ")"
          << retry;
      return exit_code::kFileError;
    }
    const fs::path list_path = folder / list_file(record.id());
    if (!write_atomically(list_path, convert_old_list(record, *old_list), why)) {
      err << "dataupgrade: не удается записать " << list_path.string() << " (" << why << ")"
          << retry;
      return exit_code::kFileError;
    }
  }
  // The new lists are on the disk under their names before the table that
  // makes the carrier current.
  flush_folder_to_disk(folder);
  if (!write_atomically(table_path, encode_object_file(old.next_id, converted), why)) {
    err << "dataupgrade: не удается записать " << table_path.string() << " (" << why << ")"
        << retry;
    return exit_code::kFileError;
  }
  flush_folder_to_disk(folder);
  return exit_code::kOk;
}

}  // namespace keldar::dataupgrade
