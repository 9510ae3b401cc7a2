// Where the program runs: its folder, the Windows family and the Windows version number.
#include "startup/environment.h"

#include <cstddef>
#include <string>

#include "base/text.h"

namespace tarnvik {

namespace {

// The folder is measured in characters, not bytes, so a cut never splits a UTF-8 sequence.
constexpr std::size_t kMaxFolderCharacters = 65535;

std::string CutToCharacters(const std::string& text, std::size_t maxCharacters) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) == 0x80) continue;  // continuation byte: same character
    if (characters == maxCharacters) return text.substr(0, i);
    ++characters;
  }
  return text;
}

std::string FamilyText(uint32_t platformId) {
  switch (platformId) {
    case 0: return "DOS";
    case 1: return "9x";
    case 2: return "NT";
    default: return "x7";
  }
}

}  // namespace

bool Environment::PartitionStylesShown() const { return VersionNumber(osVersion) >= 5; }

Environment ReadEnvironment(const std::string& programFolder, VersionApi& api) {
  Environment env;
  env.appFolder = Trim(programFolder);
  const std::string cut = CutToCharacters(env.appFolder, kMaxFolderCharacters);
  if (cut.size() != env.appFolder.size()) env.appFolder = Trim(cut);
  if (!env.appFolder.empty() && env.appFolder.back() != '\\') env.appFolder += '\\';

  env.osFamily = Trim(GetOsVersionText(api, 0));
  env.osVersion = Trim(GetOsVersionText(api, 1));
  return env;
}

std::string GetOsVersionText(VersionApi& api, int32_t selector) {
  OsVersionInfoA info;
  info.dwOSVersionInfoSize = sizeof(OsVersionInfoA);
  if (api.GetVersionExA(info) == 0) return {};

  const std::string family = FamilyText(info.dwPlatformId);
  std::string result;
  if (selector == 0) {
    result = family;
  } else if (selector == 1) {
    // The major number is written with room for a sign; the clean-up below trims it away.
    result = " " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion);
  }
  return CleanPlatformText(result);
}

double VersionNumber(std::string_view text) {
  // Read by hand: a general floating-point parser would weigh more than this whole module.
  const auto digit = [&](std::size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  std::size_t i = 0;
  double digits = 0;  // every digit read, as one whole number: 410 for "4.10"
  for (; digit(i); ++i) digits = digits * 10 + (text[i] - '0');  // hundreds of digits read as infinity
  if (i == 0) return 0;
  double scale = 1;
  if (i < text.size() && text[i] == '.') {
    // Fifteen decimals are more than any version carries; later ones cannot change a comparison.
    for (++i; digit(i) && scale < 1e15; ++i) {
      digits = digits * 10 + (text[i] - '0');
      scale *= 10;
    }
  }
  // A single division of exact integers: "4.10" gives the double nearest to 4.1.
  return digits / scale;
}

}  // namespace tarnvik
