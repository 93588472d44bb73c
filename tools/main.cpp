#include <string>
#include <vector>

#include "tools/tool.h"

int main(int argc, char** argv) {
  return stowaway::RunTool(std::vector<std::string>(argv + 1, argv + argc));
}
