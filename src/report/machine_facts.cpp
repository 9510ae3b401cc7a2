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
  // the oldest Windows the program runs on may lack. A clock's fields fit their widths.
  char text[] = "0000-00-00T00:00:00Z";
  const auto put = [&text](std::size_t at, std::size_t width, unsigned value) {
    for (std::size_t i = at + width; i-- > at; value /= 10) text[i] = static_cast<char>('0' + value % 10);
  };
  put(0, 4, time.wYear), put(5, 2, time.wMonth), put(8, 2, time.wDay);
  put(11, 2, time.wHour), put(14, 2, time.wMinute), put(17, 2, time.wSecond);
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

std::optional<bool> QueryElevation(MachineApi& api) {
  int administrator = 0;
  if (api.CheckTokenMembership(administrator) == 0) return std::nullopt;
  return administrator != 0;
}

MachineFacts QueryMachine(MachineApi& api, std::optional<bool> elevated) {
  MachineFacts facts;
  facts.computerName = ComputerName(api, kComputerNamePhysicalNetBios);
  facts.dnsHostName = ComputerName(api, kComputerNamePhysicalDnsFullyQualified);
  SystemTime now;
  api.GetSystemTime(now);
  facts.takenUtc = UtcText(now);
  facts.architecture = MachineArchitecture(api);
  facts.elevated = elevated;
  return facts;
}

}  // namespace tarnvik
