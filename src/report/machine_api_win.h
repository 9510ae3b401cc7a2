// The machine's names, clock and architecture, answered by kernel32, and the run's rights, by advapi32.
#pragma once

#include "report/machine_api.h"

namespace tarnvik::win {

class WinMachineApi final : public MachineApi {
 public:
  int GetComputerNameExW(uint32_t nameType, std::string& name) override;
  void GetSystemTime(SystemTime& time) override;
  void GetNativeSystemInfo(uint16_t& processorArchitecture) override;
  int IsWow64Process2(uint16_t& processMachine, uint16_t& nativeMachine) override;
  int CheckTokenMembership(int& isMember) override;
};

}  // namespace tarnvik::win
