// listtext: writes a list file NNNNN.QRN as readable text into NNNNN.QRT
// beside it, with the content hashes the sum file NNNNN.SUM holds for its
// entries, and echoes every name on the terminal. Needs the carrier formats
// and the Windows-1251 text helpers.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace keldar::listtext {

namespace exit_code {
inline constexpr int kOk = 0;            // dump written
inline constexpr int kNotAList = 1;      // wrong name, or first byte not 0xE5
inline constexpr int kCannotRead = 2;    // list cannot be opened or read, short header
inline constexpr int kCannotCreate = 3;  // NNNNN.QRT cannot be created or written
inline constexpr int kUsage = 4;         // no path, extra argument, path too long
}  // namespace exit_code

// args are the command-line arguments after the program name. Names go to
// out (UTF-8), messages to err.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The 21-character time text of a list stamp.
std::string time_text(std::uint32_t stamp, bool daylight_now);

std::string usage();

}  // namespace keldar::listtext
