#pragma once

#include <span>
#include <string_view>

// The words the export generator builds names, companies, places and jobs
// from. Each list is fixed, so a seed always gives the same file.
namespace talvenor::bench {

// A word as written in the file and an ASCII form for e-mail addresses and
// web domains (José -> jose, O'Brien -> obrien).
struct Word {
  std::string_view text;
  std::string_view ascii;
};

// A place with its state, telephone area code and first postal code. Postal
// codes of the north-east begin with 0 and are written with five digits.
struct City {
  std::string_view name;
  std::string_view state;
  int area_code;
  int zip;
};

std::span<const Word> FirstNames();
// Surnames, with particles (van, de la, O'), apostrophes, hyphens, non-ASCII
// letters, and the spacing variants real files hold ("O' Brien").
std::span<const Word> LastNames();
// People known by one name: the import skips them.
std::span<const std::string_view> SingleNames();
std::span<const std::string_view> Honorifics();
std::span<const std::string_view> NameSuffixes();
std::span<const std::string_view> Nicknames();
// Contact persons' job titles; some hold commas.
std::span<const std::string_view> ContactTitles();

std::span<const Word> CompanyAdjectives();
std::span<const Word> CompanyNouns();
std::span<const std::string_view> CompanySuffixes();
std::span<const Word> Trades();
std::span<const std::string_view> StreetNames();
std::span<const std::string_view> StreetTypes();

std::span<const City> Cities();

// Advertised job titles are [level] specialty role, or "[level] role, specialty".
std::span<const std::string_view> JobLevels();
std::span<const std::string_view> JobSpecialties();
std::span<const std::string_view> JobRoles();

}  // namespace talvenor::bench
