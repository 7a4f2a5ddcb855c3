#include "platform/errors.h"

#include <string_view>

#include "platform/text.h"

namespace keldar {
namespace {

struct Message {
  int code;
  std::string_view text;  // UTF-8
};

constexpr Message kMessages[] = {
    {err::kOk, "Операция успешно завершена."},
    {err::kInvalidFunction, "Неверная функция."},
    {err::kFileNotFound, "Не удается найти указанный файл."},
    {err::kPathNotFound, "Системе не удается найти указанный путь."},
    {err::kTooManyOpenFiles, "Системе не удается открыть файл."},
    {err::kAccessDenied, "Отказано в доступе."},
    {err::kNotEnoughMemory, "Недостаточно памяти для обработки команды."},
    {err::kNotSameDevice, "Системе не удается переместить файл на другой диск."},
    {err::kWriteProtect, "Носитель защищен от записи."},
    {err::kNotReady, "Устройство не готово."},
    {err::kGenFailure, "Присоединенное к системе устройство не работает."},
    {err::kSharingViolation,
     "Процесс не может получить доступ к файлу, так как этот файл занят другим процессом."},
    {err::kFileExists, "Файл существует."},
    {err::kInvalidParameter, "Параметр задан неверно."},
    {err::kDiskFull, "Недостаточно места на диске."},
    {err::kInvalidName, "Синтаксическая ошибка в имени файла, имени папки или метке тома."},
    {err::kDirNotEmpty, "Папка не пуста."},
    {err::kAlreadyExists, "Невозможно создать файл, так как он уже существует."},
    {err::kFilenameTooLong, "Имя файла или его расширение имеет недопустимую длину."},
    {err::kDirectory, "Неверно задано имя папки."},
    {err::kIoDevice, "Запрос не был выполнен из-за ошибки ввода/вывода на устройстве."},
};

ErrorTextSource g_source = nullptr;

}  // namespace

void set_error_text_source(ErrorTextSource source) { g_source = source; }

std::string error_text(int code) {
  if (g_source != nullptr) {
    std::string text = g_source(code);
    if (!text.empty()) return text;
  }
  for (const auto& m : kMessages) {
    if (m.code == code) return cp1251(m.text) + "\r\n";
  }
  return cp1251("Системная ошибка ") + std::to_string(code) + ".\r\n";
}

}  // namespace keldar

namespace keldar {
std::string error_line(int code) {
  std::string text = error_text(code);
  return text.substr(0, text.find('\r'));
}
}  // namespace keldar
