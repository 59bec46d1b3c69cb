// telva-order: ranks the orderings of a disordered crystal by electrostatic energy.
#include <string>
#include <vector>

#include "order/order_program.hpp"

int main(int argc, char** argv) {
  return telva::orderProgram(std::vector<std::string>(argv + 1, argv + argc));
}
