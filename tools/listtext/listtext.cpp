#include "tools/listtext/listtext.h"

#include <cstdio>
#include <ctime>
#include <map>
#include <memory>

#include "format/list_file.h"
#include "format/sum_file.h"
#include "format/time_value.h"
#include "platform/text.h"
#include "version/version.h"

namespace keldar::listtext {
namespace {

// Paths of this length and more do not fit the Windows path buffer.
constexpr std::size_t kMaxPath = 260;
// A larger sum file is not read: the carrier may hold anything.
constexpr std::size_t kMaxSumFile = std::size_t{64} << 20;

struct Close {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, Close>;

File open(const std::string& path, const char* mode) {
  return File(std::fopen(path.c_str(), mode));
}

// Whether daylight saving time is in effect now, by local time.
bool daylight_in_effect_now() {
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local != nullptr && local->tm_isdst > 0;
}

// Writes text as a Windows text-mode stream does: every '\n' becomes CR LF,
// so the dump reads the same on every computer that uses the carrier.
bool put_text(std::FILE* file, std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return std::fwrite(out.data(), 1, out.size(), file) == out.size();
}

// Appends the file's bytes to `data`, stopping once it holds more than
// `limit`; false when a read fails (`data` then holds what came before the
// failure).
bool read_all(std::FILE* file, std::string& data, std::size_t limit = SIZE_MAX) {
  char buffer[65536];
  std::size_t got;
  while (data.size() <= limit && (got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    data.append(buffer, got);
  }
  return !std::ferror(file);
}

struct Sum {
  std::uint8_t state;
  ContentHash hash;
};

// The hashes of the sum file at `path` by name, each with the entry state it
// was written with; of two records of one name the later counts. A sum file
// that is missing, cannot be read or is larger than kMaxSumFile gives none,
// a damaged one the records before the damage.
std::map<std::string, Sum, std::less<>> read_sums(const std::string& path) {
  std::map<std::string, Sum, std::less<>> sums;
  File file = open(path, "rb");
  std::string data;
  if (!file || !read_all(file.get(), data, kMaxSumFile) || data.size() > kMaxSumFile) return sums;
  for (SumRecord& record : decode_sum_file(data)) {
    sums.insert_or_assign(std::move(record.name), Sum{record.state, record.hash});
  }
  return sums;
}

std::string state_column(unsigned char state) {
  if (state == 255) return "X|";
  if (state == 0) return " |";
  return std::to_string(static_cast<signed char>(state)) + "|";
}

// Whether the path names a list file: the extension (from the last dot of
// the last component, '/' and '\' both separating folders, a leading "X:"
// being a drive) is exactly ".QRN" and the file name begins with '0'.
// Gives the path of the text file and of the sum file beside it.
bool is_list_path(const std::string& path, std::string& text_path, std::string& sum_path) {
  std::size_t name = path.find_last_of("/\\");
  if (name != std::string::npos) {
    ++name;
  } else {
    name = path.size() >= 2 && path[1] == ':' ? 2 : 0;
  }
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < name) return false;
  if (path.compare(dot, std::string::npos, ".QRN") != 0) return false;
  if (dot == name || path[name] != '0') return false;
  text_path = path.substr(0, dot) + ".QRT";
  sum_path = path.substr(0, dot) + ".SUM";
  return true;
}

}  // namespace

// The moment is the stamp without its two marker bits (31: NTFS, 0:
// daylight); an hour is added while daylight saving time is in effect at
// the time of the dump.
std::string time_text(std::uint32_t stamp, bool daylight_now) {
  if (stamp == 0) return std::string(21, '=');
  std::time_t moment =
      static_cast<std::time_t>(moment_of(stamp)) + (daylight_now ? kDaylightHour : 0);
  std::string text(19, '?');
  if (const std::tm* t = std::localtime(&moment)) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02i.%02i.%04i %02i:%02i:%02i", t->tm_mday, t->tm_mon + 1,
                  t->tm_year + 1900, t->tm_hour, t->tm_min, t->tm_sec);
    text = buffer;
  }
  text += (stamp & kExactTimeBit) ? 'n' : ' ';
  text += (stamp & kDaylightBit) ? 'd' : ' ';
  return text;
}

std::string usage() {
  return "Использование: listtext NNNNN.QRN\n"
         "               listtext --help\n"
         "               listtext --version\n"
         "\n"
         "Записывает файл списка NNNNN.QRN в текстовом виде в файл NNNNN.QRT рядом\n"
         "с ним и выводит на терминал каждое имя из списка. Если рядом лежит файл\n"
         "NNNNN.SUM, за именем записи, копия которой в нём записана с тем же\n"
         "состоянием, следуют \"|\" и хеш содержимого копии (XXH3-128).\n"
         "\n"
         "Коды завершения:\n"
         "  0  текст записан\n"
         "  1  это не файл списка (расширение не .QRN, имя не начинается с 0\n"
         "     или первый байт не 0xE5)\n"
         "  2  файл списка не удается открыть или прочитать, или его заголовок\n"
         "     обрезан\n"
         "  3  не удается создать или записать файл NNNNN.QRT\n"
         "  4  неверные аргументы (нет пути, лишний аргумент или путь длиннее\n"
         "     259 символов)\n";
}

int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() == 1 && args[0] == "--help") {
    out << usage();
    return exit_code::kOk;
  }
  if (args.size() == 1 && args[0] == "--version") {
    out << "listtext " KELDAR_VERSION "\n";
    return exit_code::kOk;
  }
  if (args.size() != 1 || args[0].empty()) {
    err << "listtext: укажите один путь к файлу списка\n\n" << usage();
    return exit_code::kUsage;
  }
  const std::string& path = args[0];
  if (path.size() >= kMaxPath) {
    err << "listtext: путь длиннее " << kMaxPath - 1 << " символов; перейдите в папку "
        << "списка и укажите путь короче\n";
    return exit_code::kUsage;
  }
  const bool daylight_now = daylight_in_effect_now();

  std::string text_path, sum_path;
  if (!is_list_path(path, text_path, sum_path)) return exit_code::kNotAList;
  File in = open(path, "rb");
  if (!in) return exit_code::kCannotRead;
  File text = open(text_path, "wb");
  if (!text) return exit_code::kCannotCreate;

  std::string data;
  const bool read = read_all(in.get(), data);
  bool written = true;
  if (!data.empty()) {
    const ListHeader header = decode_list_header(data);
    if (!header.magic) return exit_code::kNotAList;
    if (header.states_read < header.states.size()) return exit_code::kCannotRead;
    char line[128];
    std::snprintf(
        line, sizeof line, "V|%21i|%21i|%21i|%21i|\n", static_cast<signed char>(header.states[0]),
        static_cast<signed char>(header.states[1]), static_cast<signed char>(header.states[2]),
        static_cast<signed char>(header.states[3]));
    written = put_text(text.get(), line);
    const auto sums = read_sums(sum_path);

    // A longer name cannot be stored: its first 259 bytes are the name, the
    // rest is read as the next record.
    ListRecords records(std::string_view(data).substr(kListHeaderSize), LongNames::kCutTo259);
    ListRecord record;
    while (written) {
      const ListStep step = records.next(record);
      if (step == ListStep::kEnd) break;
      // The name ends at its first NUL byte, if it holds one.
      const std::string_view shown = record.name.substr(0, record.name.find('\0'));
      out << to_utf8_lossy(shown) << '\n';
      if (step == ListStep::kShortName) break;
      std::string entry = state_column(record.state);
      for (std::uint32_t stamp : record.stamps) entry += time_text(stamp, daylight_now) + "|";
      entry += shown;
      // A file name holds no '|': the hash stays apart from the name.
      const auto sum = sums.find(record.name);
      if (sum != sums.end() && sum->second.state == record.state) {
        entry += '|' + hash_text(sum->second.hash);
      }
      entry += '\n';
      written = put_text(text.get(), entry);
    }
  }
  // A read error is not the end of the list; the records before it were
  // dumped all the same.
  if (!read && written) return exit_code::kCannotRead;
  written = std::fflush(text.get()) == 0 && written;
  if (std::fclose(text.release()) != 0 || !written) return exit_code::kCannotCreate;
  return exit_code::kOk;
}

}  // namespace keldar::listtext
