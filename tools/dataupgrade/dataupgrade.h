// dataupgrade: converts the carrier data of the earlier release in place.
// Run in the carrier folder; the old SYNCOBJ.QRV becomes the current object
// table and each object's old list NNNNN.QRV becomes a list NNNNN.QRN (the
// old lists stay). Each new file is written to a temporary, flushed to the
// disk and renamed into place. Needs the formats and the platform's flush.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace keldar::dataupgrade {

namespace exit_code {
inline constexpr int kOk = 0;
inline constexpr int kFileError = -1;      // a file cannot be opened, read or written
inline constexpr int kAlreadyCurrent = 2;  // SYNCOBJ.QRV is in the current format
inline constexpr int kSizeMismatch = 3;    // the old SYNCOBJ.QRV does not hold its count
inline constexpr int kHeaderError = -3;    // the old header cannot be read
inline constexpr int kUsage = 4;           // an unexpected argument
}  // namespace exit_code

// args are the command-line arguments after the program name. Works in the
// current directory. Prints nothing on success; on a failure one line to err.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

std::string usage();

}  // namespace keldar::dataupgrade
