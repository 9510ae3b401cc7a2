// A machine in memory: its names, clock and architecture as configured.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "report/machine_api.h"

namespace tarnvik::testing {

struct FakeMachineApi : MachineApi {
  std::map<uint32_t, std::string> names;  ///< by name type; a missing type fails
  SystemTime now{};
  uint16_t nativeArchitecture = kProcessorArchitectureIntel;
  uint16_t nativeMachine = 0;  ///< 0: a Windows without IsWow64Process2
  int GetComputerNameExW(uint32_t type, std::string& name) override { return names.count(type) ? (name = names[type], 1) : 0; }
  void GetSystemTime(SystemTime& time) override { time = now; }
  void GetNativeSystemInfo(uint16_t& architecture) override { architecture = nativeArchitecture; }
  int IsWow64Process2(uint16_t&, uint16_t& machine) override { return nativeMachine ? (machine = nativeMachine, 1) : 0; }
  int administrator = -1;  ///< -1: the membership check fails
  std::function<void()> onCheck = [] {};  ///< runs at each membership check
  int CheckTokenMembership(int& member) override { return onCheck(), administrator >= 0 ? (member = administrator, 1) : 0; }
};

}  // namespace tarnvik::testing
