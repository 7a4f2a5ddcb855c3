// Result codes of file operations: 0 for success, otherwise a Windows error
// number, so that every platform reports the same codes and the log shows the
// same texts on every computer that shares a carrier.
#pragma once

#include <string>

namespace keldar {

namespace err {
inline constexpr int kOk = 0;
inline constexpr int kInvalidFunction = 1;
inline constexpr int kFileNotFound = 2;
inline constexpr int kPathNotFound = 3;
inline constexpr int kTooManyOpenFiles = 4;
inline constexpr int kAccessDenied = 5;
inline constexpr int kNotEnoughMemory = 8;
inline constexpr int kNotSameDevice = 17;
inline constexpr int kWriteProtect = 19;
inline constexpr int kNotReady = 21;
inline constexpr int kCrc = 23;
inline constexpr int kGenFailure = 31;
inline constexpr int kSharingViolation = 32;
inline constexpr int kFileExists = 80;
inline constexpr int kInvalidParameter = 87;
inline constexpr int kDiskFull = 112;
inline constexpr int kInvalidName = 123;
inline constexpr int kDirNotEmpty = 145;
inline constexpr int kAlreadyExists = 183;
inline constexpr int kFilenameTooLong = 206;
inline constexpr int kDirectory = 267;
inline constexpr int kIoDevice = 1117;
}  // namespace err

// The system's message text of a code, in Windows-1251, ending in CR LF as
// the system message table's texts do (callers cut it at the first CR).
// Codes without a text of their own get a generic text naming the code.
// The texts are the Russian ones of the system's table, built in, unless a
// source was installed.
std::string error_text(int code);

// A source of message texts: the text of a code as error_text gives it, or
// an empty text when the source has none (the built-in table answers then).
using ErrorTextSource = std::string (*)(int code);
// Installs the source of error_text's texts (nullptr: the built-in table).
// On Windows the program takes them from the system itself. Called at
// start, before any thread runs.
void set_error_text_source(ErrorTextSource source);

}  // namespace keldar

namespace keldar {
// The first line of error_text(code): the text up to its first CR.
std::string error_line(int code);
}  // namespace keldar
