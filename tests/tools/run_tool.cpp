#include "tests/tools/run_tool.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/test_data.h"

namespace stowaway::testing {
namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string ToolPath() { return STOWAWAY_TOOL; }

std::string Quoted(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

Outcome RunScript(const std::string& script, const std::string& in, int seconds) {
  TempDir scratch;
  const std::string script_file = scratch.File("script.sh");
  std::ofstream(script_file) << script;
  const std::string command = "cd " + Quoted(in) + " && timeout -k 5 " + std::to_string(seconds) +
                              " /bin/sh " + Quoted(script_file) + " >" +
                              Quoted(scratch.File("out")) + " 2>" + Quoted(scratch.File("err")) +
                              " </dev/null; echo $? >" + Quoted(scratch.File("status"));
  Outcome outcome;
  if (std::system(command.c_str()) == -1) return outcome;
  outcome.status = std::atoi(ReadText(scratch.File("status")).c_str());
  outcome.out = ReadText(scratch.File("out"));
  outcome.err = ReadText(scratch.File("err"));
  return outcome;
}

Outcome RunStowaway(const std::vector<std::string>& arguments, const std::string& in) {
  std::string script = "exec " + Quoted(ToolPath());
  for (const std::string& argument : arguments) script += ' ' + Quoted(argument);
  return RunScript(script + '\n', in);
}

}  // namespace stowaway::testing
