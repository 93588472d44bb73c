#include "tests/tools/tool_fixture.h"

namespace stowaway::testing {

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string ToolTest::Put(const std::string& relative, const Bytes& content) const {
  std::filesystem::create_directories(At(relative).parent_path());
  WriteFileBytes(At(relative), content);
  return relative;
}

bool ToolTest::Exists(const std::string& relative) const {
  return std::filesystem::exists(std::filesystem::symlink_status(At(relative)));
}

Outcome ToolTest::Pack(const std::string& out, const std::vector<std::string>& more) const {
  if (!Exists("stub.exe")) Put("stub.exe", stub);
  if (!Exists("setup.exe")) Put("setup.exe", front_end);
  std::vector<std::string> arguments = {"pack", "-o", out, "--stub", "stub.exe", "--front-end",
                                        "setup.exe"};
  arguments.insert(arguments.end(), more.begin(), more.end());
  return Run(arguments);
}

}  // namespace stowaway::testing
