#include "lists/context.h"

#include "platform/errors.h"
#include "platform/text.h"

namespace keldar {

void Progress::show(long value) {
  auto now = std::chrono::steady_clock::now();
  if (now - last_ < std::chrono::milliseconds(50)) return;
  last_ = now;
  host_.set_progress(std::to_string(value));
}

void Progress::clear() {
  last_ = {};
  host_.set_progress("");
}

bool Context::require_computer(std::string_view what) {
  if (computer >= 0) return true;
  log.line(cp1251("Компьютер не идентифицирован, операция \"") + std::string(what) +
           cp1251("\" не выполнена. Запустите программу снова и введите имя компьютера"));
  return false;
}

void log_system_error(Log& log, int code) {
  if (code == 0) return;
  log.note_failure();
  if (code == kNoSpaceCode) {
    log.line(cp1251("***: Мало места для копирования файла"));
    return;
  }
  log.line(std::to_string(code) + ": " + error_line(code));
}

bool carrier_in_place(Context& ctx, bool report) {
  if (!ctx.carrier_lost) {
    FolderIdentity now;
    if (!ctx.carrier_identity ||
        (ctx.fs.folder_identity(ctx.config_dir, now) == err::kOk && now == *ctx.carrier_identity)) {
      return true;
    }
    ctx.carrier_lost = true;
    if (report) log_system_error(ctx.log, err::kNotReady);
  }
  ctx.queue.request_stop();
  return false;
}

}  // namespace keldar
