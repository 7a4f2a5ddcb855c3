#include <iostream>
#include <string>
#include <vector>

#include "tools/dataupgrade/dataupgrade.h"

int main(int argc, char** argv) {
  return keldar::dataupgrade::run(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                  std::cerr);
}
