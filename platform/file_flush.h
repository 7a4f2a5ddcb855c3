// Flushing to the disk for the console tools, which write their files
// through the C library. (keldar writes through FileSystem, whose write_file
// and flush do this themselves.) Each platform implements it:
// platform/posix/file_flush.cpp on Linux, platform/win32/file_flush.cpp on
// Windows.
#pragma once

#include <cstdio>
#include <filesystem>

namespace keldar {

// Writes out what `file` buffers and waits until everything written to it is
// on its disk (fsync on Linux, FlushFileBuffers on Windows). False, with errno set, when that
// fails: what the disk holds of the file is then unknown.
[[nodiscard]] bool flush_to_disk(std::FILE* file);

// Waits until the names created, renamed or removed in `folder` so far are
// on its disk, where the platform keeps them apart from the files (Linux). A
// folder that cannot be opened or flushed is passed over.
void flush_folder_to_disk(const std::filesystem::path& folder);

}  // namespace keldar
