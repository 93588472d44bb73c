// The benchmark's results and their forms: Markdown tables (printed and
// written to a file) and a CSV file for the chart.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace stowaway::bench {

// One operation's measurement on one part of the corpus.
struct Measurement {
  int64_t Original = 0;  // uncompressed bytes
  int64_t Packed = 0;
  std::optional<double> CompressSeconds;  // median of the runs
  std::optional<double> DecompressSeconds;

  std::optional<double> CompressSpeed() const;  // MB/s of uncompressed data
  std::optional<double> DecompressSpeed() const;
  double Ratio() const;  // uncompressed ÷ packed
};

struct ResultRow {
  std::string Id;
  std::string Label;
  // One per part: the whole corpus first, then each class.
  std::vector<Measurement> Parts;
  int CompressRuns = 0;
  int DecompressRuns = 0;
};

struct Report {
  std::string Conditions;  // what the run measured on, one line each
  std::vector<std::string> PartNames;  // "whole corpus", then the classes
  std::vector<std::string> PartSizes;  // a description of each part's size
  std::vector<ResultRow> Rows;
};

void WriteMarkdown(std::ostream& out, const Report& report);
void WriteCsv(std::ostream& out, const Report& report);

}  // namespace stowaway::bench
