#include <iostream>

#include "listing/run.hpp"

int main(int argc, char** argv) {
  return telva::run(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout,
                    std::cerr);
}
