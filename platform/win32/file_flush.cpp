#include "platform/file_flush.h"

#include <io.h>

namespace keldar {

bool flush_to_disk(std::FILE* file) {
  // _commit asks the system to write the file's buffers to the disk
  // (FlushFileBuffers).
  return std::fflush(file) == 0 && ::_commit(::_fileno(file)) == 0;
}

void flush_folder_to_disk(const std::filesystem::path&) {
  // Windows keeps a folder's names with the volume's own journal (NTFS) or
  // writes them through (FAT): there is nothing to flush apart.
}

}  // namespace keldar
