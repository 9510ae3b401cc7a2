#include "report/machine_facts.h"

#include <cstddef>

namespace tarnvik {

namespace {

std::optional<std::string> ComputerName(MachineApi& api, uint32_t nameType) {
  std::string name;
  if (api.GetComputerNameExW(nameType, name) == 0 || name.empty()) return std::nullopt;
  return name;
}

}  // namespace

std::string UtcText(const SystemTime& time) {
  // By hand: the C library's formatted printing would bring locale and multibyte imports that
  // the oldest Windows the program runs on may lack.
  std::string text;
  const auto put = [&text](unsigned value, int digits, char after) {
    const std::string number = std::to_string(value);
    if (number.size() < static_cast<std::size_t>(digits)) text.append(static_cast<std::size_t>(digits) - number.size(), '0');
    text += number;
    if (after != '\0') text += after;
  };
  put(time.wYear, 4, '-'), put(time.wMonth, 2, '-'), put(time.wDay, 2, 'T');
  put(time.wHour, 2, ':'), put(time.wMinute, 2, ':'), put(time.wSecond, 2, 'Z');
  return text;
}

std::optional<std::string> MachineArchitecture(MachineApi& api) {
  uint16_t processMachine = 0, nativeMachine = 0;
  if (api.IsWow64Process2(processMachine, nativeMachine) != 0) {
    switch (nativeMachine) {
      case kImageFileMachineI386: return "x86";
      case kImageFileMachineAmd64: return "x64";
      case kImageFileMachineArm64: return "ARM64";
      default: break;  // asked again the older way below
    }
  }
  uint16_t architecture = 0xFFFF;  // PROCESSOR_ARCHITECTURE_UNKNOWN
  api.GetNativeSystemInfo(architecture);
  switch (architecture) {
    case kProcessorArchitectureIntel: return "x86";
    case kProcessorArchitectureAmd64: return "x64";
    case kProcessorArchitectureArm64: return "ARM64";
    default: return std::nullopt;
  }
}

MachineFacts QueryMachine(MachineApi& api) {
  MachineFacts facts;
  facts.computerName = ComputerName(api, kComputerNameNetBios);
  facts.dnsHostName = ComputerName(api, kComputerNameDnsFullyQualified);
  SystemTime now;
  api.GetSystemTime(now);
  facts.takenUtc = UtcText(now);
  facts.architecture = MachineArchitecture(api);
  return facts;
}

}  // namespace tarnvik
