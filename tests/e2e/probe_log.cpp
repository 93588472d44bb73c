#include "tests/e2e/probe_log.h"

#include <fstream>
#include <sstream>

namespace stowaway::testing {
namespace {

// The rest of the line after `words` words and their single separators.
std::string RestAfter(const std::string& line, int words) {
  size_t at = 0;
  for (int i = 0; i < words && at != std::string::npos; ++i) {
    at = line.find(' ', at);
    if (at != std::string::npos) ++at;
  }
  return at == std::string::npos ? std::string() : line.substr(at);
}

LoggedReport ParseReport(const std::string& line) {
  std::istringstream fields(line);
  std::string kind;
  LoggedReport report;
  fields >> kind >> std::hex >> report.wParam >> std::dec >> report.dwData >> report.cbData >>
      report.read >> report.written >> report.percent >> report.length;
  report.name = RestAfter(line, 8);
  return report;
}

}  // namespace

ProbeLog ReadProbeLog(const std::string& path) {
  ProbeLog log;
  std::ifstream in(path);
  if (!in) return log;
  log.exists = true;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string kind;
    fields >> kind;
    if (kind == "start") {
      fields >> log.process_id;
      log.command_line = RestAfter(line, 2);
    } else if (kind == "installer") {
      log.has_installer = true;
      log.installer = RestAfter(line, 1);
    } else if (kind == "arguments") {
      log.has_arguments = true;
      log.arguments = RestAfter(line, 1);
    } else if (kind == "unpacker") {
      fields >> std::hex >> log.unpacker;
    } else if (kind == "report") {
      log.reports.push_back(ParseReport(line));
      log.sequence.push_back(kind);
    } else if (kind == "message") {
      log.messages.push_back(line);
      log.sequence.push_back(line.substr(0, line.find(' ', 8)));
    } else if (kind == "end") {
      log.ended = true;
    } else {
      if (kind == "finish") log.finish = RestAfter(line, 1);
      log.sequence.push_back(kind);
    }
  }
  return log;
}

}  // namespace stowaway::testing
