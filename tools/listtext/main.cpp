#include <iostream>
#include <string>
#include <vector>

#include "tools/listtext/listtext.h"

int main(int argc, char** argv) {
  return keldar::listtext::run(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                               std::cerr);
}
