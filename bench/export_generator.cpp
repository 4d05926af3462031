#include "bench/export_generator.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <span>
#include <string_view>

#include "bench/export_vocabulary.h"

namespace talvenor::bench {
namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;

std::uint64_t Mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// Companies and contacts each draw from a stream of their own, keyed by their
// number, so company 7 is the same company whichever line brings it.
enum class Stream : std::uint64_t { kCompany = 1, kContact = 2 };

SplitMix64 StreamRng(std::uint64_t seed, Stream stream, std::uint64_t index) {
  return SplitMix64(Mix(seed ^ Mix(static_cast<std::uint64_t>(stream) * kGolden + Mix(index))));
}

template <class T>
const T& Pick(std::span<const T> list, SplitMix64& rng) {
  return list[rng.Below(list.size())];
}

// Maps counters one to one into [0, m) in a scattered order: distinct
// counters below m give distinct results, so every new company gets phone
// digits no other company has, and every new job a title/city pair of its own.
std::uint64_t Scramble(std::uint64_t n, std::uint64_t m) {
  constexpr std::uint64_t kPrime = 2'654'435'761;  // a prime above every m used here
  assert(m % kPrime != 0 && "the scramble is one to one only when m is coprime with it");
  return (n % m * kPrime + 12'345) % m;
}

std::string Digits(std::uint64_t value, int width) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "%0*llu", width, static_cast<unsigned long long>(value));
  return buffer;
}

struct PhoneNumber {
  int area = 0;
  int exchange = 0;
  int line = 0;
  std::string extension;
};

// One number, written in one of the forms exporters use; the digits (and so
// the formatted mask) stay the same whatever the form.
std::string WritePhone(const PhoneNumber& p, SplitMix64& rng) {
  static constexpr const char* kForms[] = {
      "(%03d) %03d-%04d",  "%03d-%03d-%04d", "%03d.%03d.%04d", "1-%03d-%03d-%04d",
      "+1 %03d %03d %04d", "%03d %03d %04d", "%03d%03d%04d",   "(%03d)%03d-%04d",
  };
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, kForms[rng.Below(std::size(kForms))], p.area, p.exchange,
                p.line);
  std::string out = buffer;
  if (!p.extension.empty()) {
    static constexpr std::string_view kMarks[] = {" x ", " x", " ext. ", " Ext "};
    out += kMarks[rng.Below(std::size(kMarks))];
    out += p.extension;
  }
  return out;
}

// Five digits with the leading zeros of the north-east, now and then ZIP+4,
// and now and then with the leading zero lost as spreadsheets lose it.
std::string WriteZip(int zip, SplitMix64& rng) {
  if (zip < 10000 && rng.Chance(50)) return std::to_string(zip);
  std::string out = Digits(static_cast<std::uint64_t>(zip), 5);
  if (rng.Chance(100)) out += "-" + Digits(rng.Below(10000), 4);
  return out;
}

struct Company {
  std::string name, domain, address, city, state, zip, email;
  PhoneNumber phone, fax;
  bool has_fax = false;
  int roster = 0;
};

Company MakeCompany(std::uint64_t seed, std::uint64_t index) {
  SplitMix64 rng = StreamRng(seed, Stream::kCompany, index);
  Company c;
  const City& city = Pick(Cities(), rng);
  const Word& a = Pick(LastNames(), rng);
  const Word& b = Pick(LastNames(), rng);
  const Word& adjective = Pick(CompanyAdjectives(), rng);
  const Word& noun = Pick(CompanyNouns(), rng);
  const Word& trade = Pick(Trades(), rng);
  const std::string_view suffix = Pick(CompanySuffixes(), rng);
  std::string domain;
  const std::uint64_t pattern = rng.Below(40);
  if (pattern < 8) {  // Lee & Ng LLC
    c.name = std::string(a.text) + " & " + std::string(b.text);
    if (rng.Chance(500)) c.name += " LLC";
    domain = std::string(a.ascii) + std::string(b.ascii);
  } else if (pattern < 14) {  // Murphy's Plumbing
    c.name = std::string(a.text) + "'s " + std::string(trade.text);
    domain = std::string(a.ascii) + std::string(trade.ascii);
  } else if (pattern < 24) {  // Summit Health Partners
    c.name = std::string(adjective.text) + " " + std::string(noun.text) + " " + std::string(suffix);
    domain = std::string(adjective.ascii) + std::string(noun.ascii);
  } else if (pattern < 28) {  // Baker, Lee & O'Neil
    const Word& third = Pick(LastNames(), rng);
    c.name = std::string(a.text) + ", " + std::string(b.text) + " & " + std::string(third.text);
    domain = std::string(a.ascii) + std::string(b.ascii) + "law";
  } else if (pattern < 32) {  // Horizon Media, Inc.
    c.name = std::string(adjective.text) + " " + std::string(noun.text) + ", Inc.";
    domain = std::string(adjective.ascii) + std::string(noun.ascii);
  } else if (pattern < 35) {  // Patel Foods Co.
    c.name = std::string(a.text) + " " + std::string(noun.text) + " Co.";
    domain = std::string(a.ascii) + std::string(noun.ascii);
  } else if (pattern < 39) {  // O'Brien Electric
    c.name = std::string(a.text) + " " + std::string(trade.text);
    domain = std::string(a.ascii) + std::string(trade.ascii);
  } else {  // longer than the name column: cut when stored and looked up
    c.name = "The " + std::string(adjective.text) + " " + std::string(trade.text) +
             " Association of " + std::string(city.name) + " and Surrounding Counties";
    domain = std::string(adjective.ascii) + std::string(trade.ascii) + "assoc";
  }
  c.domain = domain + ".com";

  c.address = std::to_string(1 + rng.Below(9999)) + " " + std::string(Pick(StreetNames(), rng)) +
              " " + std::string(Pick(StreetTypes(), rng));
  const std::uint64_t unit = rng.Below(100);
  if (unit < 30) {
    c.address += ", Suite " + std::to_string(100 + rng.Below(900));
  } else if (unit < 40) {
    c.address += " Ste " + std::to_string(1 + rng.Below(99));
  } else if (unit < 45) {
    c.address += ", Floor " + std::to_string(2 + rng.Below(40));
  }
  c.city = city.name;
  c.state = city.state;
  c.zip = WriteZip(city.zip + static_cast<int>(rng.Below(30)), rng);

  // Exchanges 200-999 times 10,000 line numbers: 8,000,000 distinct numbers.
  const std::uint64_t digits = Scramble(index, 8'000'000);
  c.phone = {city.area_code, 200 + static_cast<int>(digits / 10000),
             static_cast<int>(digits % 10000), ""};
  c.has_fax = rng.Chance(550);
  c.fax = {c.phone.area, c.phone.exchange, (c.phone.line + 1) % 10000, ""};
  if (rng.Chance(650)) {
    static constexpr std::string_view kBoxes[] = {"info", "jobs", "hr", "careers", "recruiting"};
    c.email = std::string(kBoxes[rng.Below(std::size(kBoxes))]) + "@" + c.domain;
  }
  c.roster = 4 + static_cast<int>(rng.Below(7));
  return c;
}

struct Contact {
  std::string_view single_name;  // set for people known by one name
  Word first, last;
  std::string middle;
  std::string_view honorific, suffix, nickname;
  bool nickname_quoted = false;
  std::string title, email;
  PhoneNumber phone, fax;
  bool has_fax = false;
};

Contact MakeContact(std::uint64_t seed, const Company& company, std::uint64_t company_index,
                    int member) {
  SplitMix64 rng =
      StreamRng(seed, Stream::kContact, company_index * 16 + static_cast<std::uint64_t>(member));
  Contact c;
  if (rng.Chance(20)) c.single_name = Pick(SingleNames(), rng);
  c.first = Pick(FirstNames(), rng);
  c.last = Pick(LastNames(), rng);
  if (rng.Chance(250)) {
    c.middle = rng.Chance(600) ? std::string(1, static_cast<char>('A' + rng.Below(26))) + "."
                               : std::string(Pick(FirstNames(), rng).text);
  }
  if (rng.Chance(200)) c.honorific = Pick(Honorifics(), rng);
  if (rng.Chance(100)) c.suffix = Pick(NameSuffixes(), rng);
  if (rng.Chance(60)) {
    c.nickname = Pick(Nicknames(), rng);
    c.nickname_quoted = rng.Chance(500);
  }
  if (rng.Chance(880)) c.title = Pick(ContactTitles(), rng);
  if (rng.Chance(300)) {
    // The switchboard number with the person's extension.
    c.phone = company.phone;
    c.phone.extension = std::to_string(10 + rng.Below(9990));
  } else {
    c.phone = {company.phone.area, 200 + static_cast<int>(rng.Below(800)),
               static_cast<int>(rng.Below(10000)), ""};
    if (rng.Chance(150)) c.phone.extension = std::to_string(10 + rng.Below(990));
  }
  c.has_fax = rng.Chance(300);
  c.fax = company.has_fax ? company.fax : PhoneNumber{c.phone.area, c.phone.exchange, 9999, ""};
  if (rng.Chance(800)) {
    const std::uint64_t form = rng.Below(3);
    const std::string first(c.first.ascii), last(c.last.ascii);
    if (form == 0) {
      c.email = first + "." + last;
    } else if (form == 1) {
      c.email = first.substr(0, 1) + last;
    } else {
      c.email = first;
    }
    c.email += "@" + company.domain;
  }
  return c;
}

// The person's name in one of the forms real files hold, chosen per line:
// "Dr. Ann Lee", "John "Jack" A. Smith Jr.", "Lee, Ann", "Smith, John, Jr.",
// "Lee, Ann - Recruiter". They all reduce to the same given and family names.
std::string WriteName(const Contact& c, SplitMix64& rng) {
  if (!c.single_name.empty()) return std::string(c.single_name);
  const std::uint64_t form = rng.Below(100);
  const bool surname_first = form >= 60;
  std::string given(c.first.text);
  if (!c.nickname.empty()) {
    // After a surname-first name a suffix may follow with a comma, and a
    // closing quote before a comma would end the enclosed field.
    given += c.nickname_quoted && !surname_first ? " \"" + std::string(c.nickname) + "\""
                                                 : " (" + std::string(c.nickname) + ")";
  }
  if (!c.middle.empty()) given += " " + c.middle;
  std::string out;
  if (!surname_first) {
    if (!c.honorific.empty()) {
      out += c.honorific;
      out += rng.Chance(30) ? "\xC2\xA0" : " ";  // a no-break space, as word processors leave
    }
    out += given + " " + std::string(c.last.text);
    if (!c.suffix.empty()) out += (rng.Chance(500) ? ", " : " ") + std::string(c.suffix);
  } else {
    out = std::string(c.last.text) + ", " + given;
    if (!c.suffix.empty()) {
      out += ", " + std::string(c.suffix);
    } else if (form >= 95) {
      out += " - " + (c.title.empty() ? std::string("Recruiter") : c.title);
    }
  }
  if (rng.Chance(20)) {
    const size_t blank = out.find(' ');
    if (blank != std::string::npos) out.insert(blank, " ");
  }
  return out;
}

struct Job {
  std::string title;
  const City* city = nullptr;
};

Job MakeJob(std::uint64_t pair) {
  const auto levels = JobLevels();
  const auto specialties = JobSpecialties();
  const auto roles = JobRoles();
  const auto cities = Cities();
  const std::uint64_t m = levels.size() * specialties.size() * roles.size() * cities.size();
  std::uint64_t p = Scramble(pair, m);
  Job job;
  job.city = &cities[p % cities.size()];
  p /= cities.size();
  const std::string_view role = roles[p % roles.size()];
  p /= roles.size();
  const std::string_view specialty = specialties[p % specialties.size()];
  p /= specialties.size();
  const std::string_view level = levels[p];
  if (!level.empty()) job.title = std::string(level) + " ";
  if (Mix(pair) % 10 == 0) {
    job.title += std::string(role) + ", " + std::string(specialty);  // Manager, Accounts Payable
  } else {
    job.title += std::string(specialty) + " " + std::string(role);
  }
  return job;
}

}  // namespace

std::uint64_t SplitMix64::Next() {
  state_ += kGolden;
  return Mix(state_);
}

std::string ExportHeaderLine() {
  std::string header =
      "JOBTITLE,CITY,ZIP,DATEPOSTED,REFERENCE,COMPANY,ADDRESS,COMPANYCITY,STATE,COMPANYZIP,"
      "PHONE,FAX,WEBSITE,EMAIL";
  for (int k = 1; k <= 5; ++k) {
    const std::string n = std::to_string(k);
    header += ",CONTACT" + n + ",TITLE" + n + ",PHONE" + n + ",FAX" + n + ",EMAIL" + n;
  }
  return header;
}

std::string EncodeExportLine(const ExportFields& fields, SplitMix64& rng) {
  std::string line;
  line.reserve(512);
  for (int i = 0; i < kExportColumns; ++i) {
    const std::string& value = fields[static_cast<size_t>(i)];
    assert(value.find_first_of("|\r\n") == std::string::npos && "not representable in a line");
    assert(value.find("\",") == std::string::npos && "would end an enclosed field early");
    const bool last = i + 1 == kExportColumns;
    // A quote that opens a field, or (bare) ends the line, would be taken for
    // an enclosing quote.
    const bool must_enclose = value.find(',') != std::string::npos ||
                              (!value.empty() && value.front() == '"') ||
                              (last && !value.empty() && value.back() == '"');
    if (i > 0) line += ',';
    if (must_enclose || (!value.empty() && rng.Chance(80))) {
      line += '"';
      line += value;
      line += '"';
    } else {
      line += value;
    }
  }
  return line;
}

ExportGenerator::ExportGenerator(std::uint64_t seed) : seed_(seed), line_rng_(Mix(seed)) {}

const ExportFields& ExportGenerator::NextFields() {
  SplitMix64& rng = line_rng_;
  ExportFields& f = fields_;
  ++lines_;

  const std::uint64_t company_index =
      (companies_ == 0 || rng.Chance(200)) ? companies_++ : rng.Below(companies_);
  const Company company = MakeCompany(seed_, company_index);
  const std::uint64_t pair = (pairs_ == 0 || rng.Chance(600)) ? pairs_++ : rng.Below(pairs_);
  const Job job = MakeJob(pair);

  f[0] = job.title;
  f[1] = job.city->name;
  f[2] = WriteZip(job.city->zip + static_cast<int>(rng.Below(30)), rng);
  f[3] = std::to_string(1 + rng.Below(12)) + "/" + std::to_string(1 + rng.Below(28)) + "/2026";
  f[4] = "J" + Digits(Scramble(lines_, 9'999'991), 7);
  f[5] = company.name;
  f[6] = company.address;
  f[7] = company.city;
  f[8] = company.state;
  f[9] = company.zip;
  f[10] = WritePhone(company.phone, rng);
  f[11] = company.has_fax ? WritePhone(company.fax, rng) : "";
  f[12] = "www." + company.domain;
  f[13] = company.email;

  // How many of the roster appear on this line: 2.5 on average.
  static constexpr int kCountPerMille[] = {60, 160, 300, 250, 140, 90};
  int count = 0;
  for (int draw = static_cast<int>(rng.Below(1000)); draw >= kCountPerMille[count]; ++count) {
    draw -= kCountPerMille[count];
  }
  count = std::min(count, company.roster);

  int members[10];
  for (int i = 0; i < company.roster; ++i) members[i] = i;
  int slots[5] = {0, 1, 2, 3, 4};
  const bool scattered = rng.Chance(150);  // leaves gaps, sometimes slot 0 empty
  for (int i = 0; i < count; ++i) {
    std::swap(
        members[i],
        members[i + static_cast<int>(rng.Below(static_cast<std::uint64_t>(company.roster - i)))]);
    if (scattered) std::swap(slots[i], slots[i + static_cast<int>(rng.Below(5 - i))]);
  }
  // Insertion sort of at most five slots (std::sort here trips a false
  // array-bounds warning of g++ 12 at -O2).
  for (int i = 1; i < count; ++i) {
    for (int j = i; j > 0 && slots[j - 1] > slots[j]; --j) std::swap(slots[j - 1], slots[j]);
  }

  for (int i = 14; i < kExportColumns; ++i) f[static_cast<size_t>(i)].clear();
  for (int i = 0; i < count; ++i) {
    const Contact c = MakeContact(seed_, company, company_index, members[i]);
    const size_t base = 14 + 5 * static_cast<size_t>(slots[i]);
    f[base] = WriteName(c, rng);
    f[base + 1] = c.title;
    f[base + 2] = WritePhone(c.phone, rng);
    f[base + 3] = c.has_fax ? WritePhone(c.fax, rng) : "";
    f[base + 4] = c.email;
  }
  return f;
}

std::string ExportGenerator::NextLine() { return EncodeExportLine(NextFields(), line_rng_); }

}  // namespace talvenor::bench
