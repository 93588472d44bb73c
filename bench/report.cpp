#include "bench/report.h"

#include <cstdio>
#include <ostream>

namespace stowaway::bench {
namespace {

constexpr double Megabyte = 1e6;

std::optional<double> Speed(int64_t bytes, const std::optional<double>& seconds) {
  if (!seconds || *seconds <= 0) return std::nullopt;
  return static_cast<double>(bytes) / Megabyte / *seconds;
}

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string SpeedText(const std::optional<double>& speed) {
  if (!speed) return "–";
  return Format(*speed >= 100 ? "%.0f" : "%.1f", *speed);
}

const ResultRow* FindRow(const Report& report, const std::string& id) {
  for (const ResultRow& row : report.Rows) {
    if (row.Id == id) return &row;
  }
  return nullptr;
}

struct Target {
  const char* ours;
  const char* peer;
  bool decompress;
  double goal;
};

// The speed goals, each a ratio of two rows on the whole corpus.
constexpr Target Targets[] = {
    {"fast", "lz4", true, 0.5},
    {"fast", "lz4", false, 1.0},
    {"fast-t2", "lz4", false, 1.0},
    {"good", "zlib6", true, 0.5},
    {"good", "zlib6", false, 0.5},
    {"good-t2", "zlib6", false, 0.6},
};

void WriteTargets(std::ostream& out, const Report& report) {
  bool header = false;
  for (const Target& target : Targets) {
    const ResultRow* ours = FindRow(report, target.ours);
    const ResultRow* peer = FindRow(report, target.peer);
    if (!ours || !peer) continue;
    const Measurement& a = ours->Parts[0];
    const Measurement& b = peer->Parts[0];
    const auto mine = target.decompress ? a.DecompressSpeed() : a.CompressSpeed();
    const auto theirs = target.decompress ? b.DecompressSpeed() : b.CompressSpeed();
    if (!mine || !theirs) continue;
    if (!header) {
      out << "\n### Speed goals (whole corpus)\n\n"
          << "| " << "goal" << " | measured | wanted | met |\n|---|--:|--:|:-:|\n";
      header = true;
    }
    const double ratio = *mine / *theirs;
    const char* direction = target.decompress ? "decompress" : "compress";
    out << "| " << ours->Label << " " << direction << " ÷ " << peer->Label << " " << direction
        << " | " << Format("%.2f", ratio) << " | ≥ " << Format("%.2f", target.goal) << " | "
        << (ratio >= target.goal ? "yes" : "no") << " |\n";
  }
}

}  // namespace

std::optional<double> Measurement::CompressSpeed() const { return Speed(Original, CompressSeconds); }

std::optional<double> Measurement::DecompressSpeed() const {
  return Speed(Original, DecompressSeconds);
}

double Measurement::Ratio() const {
  return Packed > 0 ? static_cast<double>(Original) / static_cast<double>(Packed) : 0.0;
}

void WriteMarkdown(std::ostream& out, const Report& report) {
  out << "## stowaway benchmark\n\n" << report.Conditions << "\n";
  for (size_t part = 0; part < report.PartNames.size(); ++part) {
    out << "\n### " << report.PartNames[part] << " (" << report.PartSizes[part] << ")\n\n"
        << "| codec | compress MB/s | decompress MB/s | packed MB | ratio | runs |\n"
        << "|---|--:|--:|--:|--:|--:|\n";
    for (const ResultRow& row : report.Rows) {
      if (part >= row.Parts.size()) continue;
      const Measurement& m = row.Parts[part];
      out << "| " << row.Label << " | " << SpeedText(m.CompressSpeed()) << " | "
          << SpeedText(m.DecompressSpeed()) << " | "
          << Format("%.2f", static_cast<double>(m.Packed) / Megabyte) << " | "
          << Format("%.3f", m.Ratio()) << " | ";
      if (row.CompressRuns > 0) out << row.CompressRuns << "/";
      out << row.DecompressRuns << " |\n";
    }
  }
  WriteTargets(out, report);
}

void WriteCsv(std::ostream& out, const Report& report) {
  out << "codec,part,original_bytes,packed_bytes,ratio,compress_mb_s,decompress_mb_s\n";
  for (const ResultRow& row : report.Rows) {
    for (size_t part = 0; part < row.Parts.size(); ++part) {
      const Measurement& m = row.Parts[part];
      const auto speed = [](const std::optional<double>& s) { return s ? Format("%.3f", *s) : ""; };
      out << '"' << row.Label << "\"," << report.PartNames[part] << ',' << m.Original << ','
          << m.Packed << ',' << Format("%.5f", m.Ratio()) << ',' << speed(m.CompressSpeed()) << ','
          << speed(m.DecompressSpeed()) << '\n';
    }
  }
}

}  // namespace stowaway::bench
