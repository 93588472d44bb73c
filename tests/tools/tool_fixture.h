// A scratch folder to run stowaway in, with the files a test puts there and
// stand-ins for the unpacker and the front-end (they only need to look like
// Windows programs unless they are run).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/test_data.h"
#include "tests/tools/run_tool.h"

namespace stowaway::testing {

// a followed by b.
Bytes operator+(Bytes a, const Bytes& b);

class ToolTest : public ::testing::Test {
 protected:
  // Writes content to relative (below the scratch folder), making its
  // folders; returns relative.
  std::string Put(const std::string& relative, const Bytes& content) const;
  std::filesystem::path At(const std::string& relative) const { return dir.Path() / relative; }
  Bytes Read(const std::string& relative) const { return ReadFileBytes(At(relative)); }
  bool Exists(const std::string& relative) const;
  // The names in a folder below the scratch folder, sorted.
  std::vector<std::string> Listing(const std::string& relative) const { return testing::Listing(At(relative)); }

  Outcome Run(const std::vector<std::string>& arguments) const {
    return RunStowaway(arguments, dir.Path().string());
  }
  // pack -o out --stub stub.exe --front-end setup.exe, then more.
  Outcome Pack(const std::string& out, const std::vector<std::string>& more) const;

  TempDir dir;
  const Bytes stub = Bytes{'M', 'Z'} + TextLike(3000, 99);
  const Bytes front_end = Bytes{'M', 'Z'} + BinaryLike(20000, 98);
};

}  // namespace stowaway::testing
