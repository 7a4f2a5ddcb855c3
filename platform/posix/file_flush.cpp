#include "platform/file_flush.h"

#include <fcntl.h>
#include <unistd.h>

namespace keldar {

bool flush_to_disk(std::FILE* file) {
  return std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0;
}

void flush_folder_to_disk(const std::filesystem::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

}  // namespace keldar
