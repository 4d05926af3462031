#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace talvenor::bench {

// A data line of the export file has 39 columns.
inline constexpr int kExportColumns = 39;
using ExportFields = std::array<std::string, kExportColumns>;

// splitmix64: small, fast and the same on every platform, so a seed always
// gives the same file.
class SplitMix64 {
 public:
  explicit SplitMix64(std::uint64_t state) : state_(state) {}
  std::uint64_t Next();
  // Uniform in [0, n); n > 0. The modulo bias is far below what matters here.
  std::uint64_t Below(std::uint64_t n) { return Next() % n; }
  // True with a probability of per_mille / 1000.
  bool Chance(int per_mille) { return Below(1000) < static_cast<std::uint64_t>(per_mille); }

 private:
  std::uint64_t state_;
};

// The header line (no line end); it starts with "JOBTITLE".
std::string ExportHeaderLine();

// Writes the fields as one line (no line end) the way the export reader
// splits them back: a field holding a comma, or starting with a double quote,
// is enclosed in double quotes, and `rng` encloses a few others as exporters
// do. A value must not hold "|", a line end, or a double quote directly
// followed by a comma (no enclosing can carry that); the generator makes none.
std::string EncodeExportLine(const ExportFields& fields, SplitMix64& rng);

// Generates the data lines of a realistic export file, deterministic for a
// seed. About one line in five introduces a new company (the others repeat an
// earlier one with the same name and phone digits, the phone written in
// varying forms); each company has a roster of 3 to 10 contact persons, of
// whom about 2.5 appear per line, their names written in the many forms real
// files hold; about 60% of the lines bring a new job title/city pair, the rest
// repeat an earlier pair. Companies and contacts are derived from the seed and
// their number rather than stored, so memory stays constant for any length.
class ExportGenerator {
 public:
  explicit ExportGenerator(std::uint64_t seed);

  // The values of the next data line, before quoting.
  const ExportFields& NextFields();

  // The next data line as written to the file, without its line end.
  std::string NextLine();

  std::uint64_t lines() const { return lines_; }
  std::uint64_t companies() const { return companies_; }
  std::uint64_t position_pairs() const { return pairs_; }

 private:
  std::uint64_t seed_;
  SplitMix64 line_rng_;
  std::uint64_t lines_ = 0;
  std::uint64_t companies_ = 0;
  std::uint64_t pairs_ = 0;
  ExportFields fields_;
};

}  // namespace talvenor::bench
