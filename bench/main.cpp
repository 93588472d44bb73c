// stowaway_bench: throughput and packed size of the component's two modes
// against zlib and lz4 on the corpus, each file packed on its own, plus the
// whole path of extracting an archive of the corpus. `make bench` runs it.
//
// Every operation runs once over the whole corpus first (its results are
// checked against the original bytes), then again, in rounds that take turns
// between the codecs so that a change in the machine's load touches all of
// them alike, until it has had its time budget; the report gives the median.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/codecs.h"
#include "bench/corpus.h"
#include "bench/extraction.h"
#include "bench/report.h"

namespace stowaway::bench {
namespace {

struct Options {
  std::filesystem::path Corpus = "build/bench/corpus";
  std::filesystem::path Manifest = "bench/corpus.manifest";
  std::filesystem::path Output = "build/bench";
  double Budget = 1.5;  // seconds of runs per operation, after the first
  int MinRuns = 3;
  int MaxRuns = 25;
  std::set<std::string> Only;  // codec ids; empty = all
  // The fastest run instead of the median: steadier for comparing two builds
  // on a machine that others load now and then.
  bool Best = false;
};

void Usage() {
  std::cerr << "usage: stowaway_bench [--corpus DIR] [--manifest FILE] [--out DIR]\n"
               "         [--budget SECONDS] [--runs MIN[,MAX]] [--only ID[,ID...]] [--quick] [--best]\n"
               "  ids: memcpy lz4 zlib1 zlib6 fast fast-t2 good good-t2 extract-fast extract-good\n"
               "       extract-fast-sizes extract-good-sizes (without the hashes' check)\n"
               "  --quick: one run of each operation\n"
               "  --best: report the fastest run, not the median\n";
}

std::vector<std::string> SplitCommas(const std::string& text) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, ',');) parts.push_back(part);
  return parts;
}

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--corpus") {
      options.Corpus = value();
    } else if (arg == "--manifest") {
      options.Manifest = value();
    } else if (arg == "--out") {
      options.Output = value();
    } else if (arg == "--budget") {
      options.Budget = std::stod(value());
    } else if (arg == "--runs") {
      const std::vector<std::string> runs = SplitCommas(value());
      options.MinRuns = std::max(1, std::stoi(runs.at(0)));
      options.MaxRuns = std::max(options.MinRuns, runs.size() > 1 ? std::stoi(runs[1]) : options.MinRuns);
    } else if (arg == "--only") {
      for (const std::string& id : SplitCommas(value())) options.Only.insert(id);
    } else if (arg == "--best") {
      options.Best = true;
    } else if (arg == "--quick") {
      options.MinRuns = options.MaxRuns = 1;
    } else {
      throw std::invalid_argument("unknown argument " + arg);
    }
  }
  return options;
}

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  return in >> one ? one : "?";
}

// One operation over the whole corpus, run again and again: the seconds of
// each run, whole and per class.
class Operation {
 public:
  // pass adds the seconds of one run to its vector: the whole corpus at
  // index 0 or each class at its index + 1. It is told which run is the first.
  using Pass = std::function<void(std::vector<double>&, bool)>;
  Operation(std::string label, size_t classes, Pass pass)
      : label_(std::move(label)), classes_(classes), pass_(std::move(pass)) {}

  void RunOnce() {
    std::vector<double> seconds(classes_ + 1, 0.0);
    pass_(seconds, runs_.empty());
    if (seconds[0] == 0) {
      for (size_t part = 1; part <= classes_; ++part) seconds[0] += seconds[part];
    }
    runs_.push_back(seconds);
  }

  // The number of runs that fill the budget, judged by the first.
  void PlanRuns(const Options& options) {
    const double first = runs_.front()[0];
    const double wanted = first > 0 ? std::ceil(options.Budget / first) + 1 : options.MaxRuns;
    planned_ = static_cast<int>(std::clamp<double>(wanted, options.MinRuns, options.MaxRuns));
  }

  bool Wants() const { return static_cast<int>(runs_.size()) < planned_; }
  int Runs() const { return static_cast<int>(runs_.size()); }
  const std::string& Label() const { return label_; }

  // Index 0 is the whole corpus, then the classes.
  double Seconds(size_t part, bool best) const {
    std::vector<double> values;
    for (const auto& run : runs_) values.push_back(run[part]);
    return best ? *std::min_element(values.begin(), values.end()) : Median(values);
  }

 private:
  std::string label_;
  size_t classes_;
  Pass pass_;
  std::vector<std::vector<double>> runs_;
  int planned_ = 1;
};

// Runs every operation once, then in rounds until each has its runs.
void RunAll(std::vector<Operation*>& operations, const Options& options) {
  for (Operation* operation : operations) operation->PlanRuns(options);
  for (int round = 2;; ++round) {
    bool any = false;
    for (Operation* operation : operations) {
      if (!operation->Wants()) continue;
      operation->RunOnce();
      any = true;
    }
    if (!any) return;
    std::cerr << "  round " << round << " done\n";
  }
}

std::string Megabytes(int64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

int Main(int argc, char** argv) {
  const Options options = ParseOptions(argc, argv);
  const bool all = options.Only.empty();
  const auto wanted = [&](const std::string& id) { return all || options.Only.count(id) > 0; };

  const Corpus corpus = LoadCorpus(options.Manifest, options.Corpus);
  const size_t classes = corpus.Classes.size();
  std::vector<size_t> class_of;
  for (const CorpusFile& file : corpus.Files) class_of.push_back(corpus.ClassIndex(file.Class) + 1);
  std::cerr << "corpus: " << Megabytes(corpus.TotalBytes()) << " in " << corpus.Files.size()
            << " files\n";
  const std::string load_before = LoadAverage();

  std::vector<std::unique_ptr<Codec>> codecs = MakeCodecs(corpus);
  std::erase_if(codecs, [&](const auto& codec) { return !wanted(codec->Id()); });

  Report report;
  report.PartNames.push_back("whole corpus");
  report.PartSizes.push_back(Megabytes(corpus.TotalBytes()) + " in " +
                             std::to_string(corpus.Files.size()) + " files");
  for (const std::string& name : corpus.Classes) {
    size_t count = 0;
    for (const CorpusFile& file : corpus.Files) count += file.Class == name;
    report.PartNames.push_back(name);
    report.PartSizes.push_back(Megabytes(corpus.ClassBytes(name)) + " in " + std::to_string(count) +
                               " files");
  }

  // The first compress run also gives the packed sizes and keeps the packed
  // forms that the decompress runs start from; the first decompress run
  // checks the result.
  std::vector<std::vector<int64_t>> packed(codecs.size(), std::vector<int64_t>(classes + 1, 0));
  std::vector<std::unique_ptr<Operation>> owned;
  std::vector<Operation*> operations;
  for (size_t c = 0; c < codecs.size(); ++c) {
    Codec& codec = *codecs[c];
    std::vector<int64_t>& sizes = packed[c];
    auto compress = std::make_unique<Operation>(
        codec.Label() + " compress", classes,
        [&codec, &class_of, &sizes](std::vector<double>& seconds, bool first) {
          for (size_t i = 0; i < class_of.size(); ++i) {
            const Clock::time_point start = Clock::now();
            const int64_t size = codec.Compress(i);
            seconds[class_of[i]] += SecondsSince(start);
            if (!first) continue;
            codec.Keep(i);
            sizes[0] += size;
            sizes[class_of[i]] += size;
          }
        });
    auto decompress = std::make_unique<Operation>(
        codec.Label() + " decompress", classes,
        [&codec, &class_of, &corpus](std::vector<double>& seconds, bool first) {
          for (size_t i = 0; i < class_of.size(); ++i) {
            const Clock::time_point start = Clock::now();
            codec.Decompress(i);
            seconds[class_of[i]] += SecondsSince(start);
            if (first && !codec.Matches(i)) {
              throw std::runtime_error(codec.Label() + " does not give back " + corpus.Files[i].Name);
            }
          }
        });
    std::cerr << codec.Label() << ": first run, checked\n";
    compress->RunOnce();
    decompress->RunOnce();
    operations.push_back(compress.get());
    operations.push_back(decompress.get());
    owned.push_back(std::move(compress));
    owned.push_back(std::move(decompress));
  }

  std::vector<std::unique_ptr<Extraction>> extractions;
  std::vector<std::unique_ptr<Operation>> extraction_runs;
  const std::filesystem::path work = options.Output / "work";
  std::filesystem::create_directories(work);
  for (const auto& [mode, hashes] : {std::pair{TCompressMode::Fast, true}, std::pair{TCompressMode::Fast, false},
                                     std::pair{TCompressMode::Good, true}, std::pair{TCompressMode::Good, false}}) {
    if (!wanted(Extraction::IdFor(mode, hashes))) continue;
    std::cerr << "writing the " << (mode == TCompressMode::Fast ? "Fast" : "Good")
              << " archive of the corpus" << (hashes ? "\n" : " without hashes\n");
    auto extraction = std::make_unique<Extraction>(corpus, mode, work, hashes);
    Extraction& run = *extraction;
    auto operation = std::make_unique<Operation>(run.Label(), classes, [&run](std::vector<double>& seconds, bool) {
      run.Clear();
      const Clock::time_point start = Clock::now();
      run.Run();
      seconds[0] = SecondsSince(start);
    });
    std::cerr << run.Label() << ": first run, checked\n";
    operation->RunOnce();
    if (!run.Matches()) throw std::runtime_error(run.Label() + " does not give back the corpus");
    operations.push_back(operation.get());
    extractions.push_back(std::move(extraction));
    extraction_runs.push_back(std::move(operation));
  }

  RunAll(operations, options);

  for (size_t c = 0; c < codecs.size(); ++c) {
    const Operation& compress = *owned[2 * c];
    const Operation& decompress = *owned[2 * c + 1];
    ResultRow row{codecs[c]->Id(), codecs[c]->Label(), {}, compress.Runs(), decompress.Runs()};
    for (size_t part = 0; part <= classes; ++part) {
      Measurement m;
      m.Original = part == 0 ? corpus.TotalBytes() : corpus.ClassBytes(corpus.Classes[part - 1]);
      m.Packed = packed[c][part];
      m.CompressSeconds = compress.Seconds(part, options.Best);
      m.DecompressSeconds = decompress.Seconds(part, options.Best);
      row.Parts.push_back(m);
    }
    report.Rows.push_back(row);
  }
  for (size_t e = 0; e < extractions.size(); ++e) {
    Measurement m;
    m.Original = corpus.TotalBytes();
    m.Packed = extractions[e]->ArchiveSize();
    m.DecompressSeconds = extraction_runs[e]->Seconds(0, options.Best);
    report.Rows.push_back({extractions[e]->Id(), extractions[e]->Label(), {m}, 0, extraction_runs[e]->Runs()});
  }

  report.Conditions =
      "MB/s: 10^6 bytes of uncompressed data per second, the " +
      std::string(options.Best ? "fastest" : "median") + " of the runs (runs: "
      "compress/decompress). Ratio: uncompressed ÷ packed. Every file is packed on its own; the "
      "component works in stream mode on memory streams, the archive rows read an archive file "
      "and write every entry to a file.\n\n"
      "Corpus: " + options.Manifest.string() + ". Peers: " + PeerVersions() +
      ". Load average: " + load_before + " at the start, " + LoadAverage() + " at the end.\n";

  std::ostringstream markdown;
  WriteMarkdown(markdown, report);
  std::cout << '\n' << markdown.str();
  std::filesystem::create_directories(options.Output);
  std::ofstream(options.Output / "results.md") << markdown.str();
  std::ofstream csv(options.Output / "results.csv");
  WriteCsv(csv, report);
  std::cerr << "\nwritten: " << (options.Output / "results.md").string() << ", "
            << (options.Output / "results.csv").string() << "\n";
  return 0;
}

}  // namespace
}  // namespace stowaway::bench

int main(int argc, char** argv) {
  try {
    return stowaway::bench::Main(argc, argv);
  } catch (const std::invalid_argument& e) {
    std::cerr << "stowaway_bench: " << e.what() << "\n";
    stowaway::bench::Usage();
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "stowaway_bench: " << e.what() << "\n";
    return 1;
  }
}
