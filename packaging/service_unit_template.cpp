// Writes the package's systemd template unit, made by the same code as the units the wizard
// installs. Usage: service_unit_template <installed program> <unit file>
#include <fstream>
#include <iostream>

#include "platform/service_control.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: service_unit_template <installed program> <unit file>\n";
    return 2;
  }
  std::ofstream unit(argv[2], std::ios::binary | std::ios::trunc);
  unit << tramolin::ServiceTemplateUnitText(argv[1]);
  unit.close();
  if (!unit) {
    std::cerr << "cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
