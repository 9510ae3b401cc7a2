// The partition-table style of the disk behind a drive letter, asked of the management service.
#pragma once

#include <string>

#include "report/wmi_api.h"
#include "startup/fdfsm.h"

namespace tarnvik {

/// Leaves "GPT", "MBR", "RAW" or "Unknown" in m.PartitionStyle. Nothing of the service
/// survives the call.
void QueryPartitionStyle(Fdfsm& m, WmiApi& wmi, const std::string& letter);

}  // namespace tarnvik
