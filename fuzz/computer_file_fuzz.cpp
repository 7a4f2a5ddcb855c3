// COMPS.QRV: any bytes give four records; the file written back holds the
// first 80 bytes read (zeros where the file was short), and every name is
// one that set() stores unchanged.
#include <algorithm>

#include "fuzz/fuzz_check.h"
#include "store/computer_table.h"

using namespace keldar;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = fuzz::bytes(data, size);
  ComputerTable table;
  const bool whole = table.decode(input);
  FUZZ_CHECK(whole == (size == kComputerFileSize));

  std::string expected(input.substr(0, kComputerFileSize));
  expected.resize(kComputerFileSize, '\0');
  FUZZ_CHECK(table.encode() == expected);

  for (int slot = 0; slot < ComputerTable::kSlots; ++slot) {
    const std::string name = table.name(slot);
    FUZZ_CHECK(name.size() <= ComputerTable::kMaxName && name.find('\0') == std::string::npos);
    ComputerTable again;
    again.set(slot, table.id(slot), name);
    FUZZ_CHECK(again.id(slot) == table.id(slot) && again.name(slot) == name);
  }
  // A slot is found for an id whenever one is free or holds it.
  const std::uint32_t id = new_computer_id(table);
  FUZZ_CHECK(id != 0);
  const int slot = table.find_slot(id);
  FUZZ_CHECK(slot == -1 || table.id(slot) == 0);
  return 0;
}
