// Where the program runs: its folder, the Windows family and the Windows version number.
#include "startup/environment.h"

#include <charconv>
#include <cstddef>
#include <limits>
#include <string>
#include <system_error>

#include "startup/program.h"
#include "startup/text.h"

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

void InitEnvironment(Program& program) {
  Fdfsm& m = program.FDFSM;

  m.AppFolder.clear();
  m.AppFolder = Trim(program.tk.Path());
  const std::string cut = CutToCharacters(m.AppFolder, kMaxFolderCharacters);
  if (cut.size() != m.AppFolder.size()) m.AppFolder = Trim(cut);
  if (!m.AppFolder.empty() && m.AppFolder.back() != '\\') m.AppFolder += '\\';

  m.OsFamily.clear();
  m.OsVersion.clear();
  m.OsFamily = Trim(GetOsVersionText(program.os.version, 0));
  m.OsVersion = Trim(GetOsVersionText(program.os.version, 1));
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
  std::size_t end = 0;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  if (end == 0) return 0;
  if (end < text.size() && text[end] == '.') {
    ++end;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  }
  double value = 0;
  const auto [ptr, ec] = std::from_chars(text.data(), text.data() + end, value, std::chars_format::fixed);
  (void)ptr;
  // Only a number with hundreds of digits is out of range: it is certainly "high enough".
  if (ec == std::errc::result_out_of_range) return std::numeric_limits<double>::infinity();
  return value;
}

}  // namespace tarnvik
