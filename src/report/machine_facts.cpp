#include "report/machine_facts.h"

#include <cstdio>

namespace tarnvik {

namespace {

std::optional<std::string> ComputerName(MachineApi& api, uint32_t nameType) {
  std::string name;
  if (api.GetComputerNameExW(nameType, name) == 0 || name.empty()) return std::nullopt;
  return name;
}

}  // namespace

std::string UtcText(const SystemTime& time) {
  char text[48];  // room for any 16-bit fields, though a clock gives 20 characters
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned{time.wYear}, unsigned{time.wMonth},
                unsigned{time.wDay}, unsigned{time.wHour}, unsigned{time.wMinute}, unsigned{time.wSecond});
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
