// telva-map: potential maps on 3-D grids from a TELVA input file or a CIF.
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

#include "map/map_program.hpp"

int main(int argc, char** argv) {
  return telva::runMap(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr,
                       isatty(STDERR_FILENO) != 0);
}
