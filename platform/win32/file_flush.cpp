#include "platform/file_flush.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

namespace keldar {

bool flush_to_disk(std::FILE* file) {
  if (std::fflush(file) != 0) return false;
  auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file)));
  if (handle == INVALID_HANDLE_VALUE || !::FlushFileBuffers(handle)) {
    errno = EIO;
    return false;
  }
  return true;
}

void flush_folder_to_disk(const std::filesystem::path& folder) {
  // The renames of the folder: written when it is flushed, where the system
  // allows it for a folder; passed over otherwise.
  HANDLE h = ::CreateFileW(folder.c_str(), GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  (void)::FlushFileBuffers(h);
  ::CloseHandle(h);
}

}  // namespace keldar
