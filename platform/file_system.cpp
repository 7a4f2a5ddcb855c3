#include "platform/file_system.h"

namespace keldar {

bool is_temporary_name(std::string_view name) {
  return name.size() >= 8 && name.substr(0, 4) == "~kld" && name.substr(name.size() - 4) == ".tmp";
}

}  // namespace keldar
