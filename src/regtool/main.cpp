// vantor-reg: reg.exe's query, add, delete, export and import on the hive, to look into
// and prepare the registry that Vantor reads.
#include <iostream>
#include <string>
#include <vector>

#include "backends/Backends.h"
#include "regtool/Commands.h"

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::cout << "vantor-reg " << VANTOR_VERSION << '\n';
    return 0;
  }
  std::string why;
  const auto hive = backends::OpenRegistry(
      {}, [](const std::string& fault) { std::cerr << "vantor-reg: " << fault << '\n'; }, &why);
  return regtool::RunCommand(*hive, std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout, std::cerr);
}
