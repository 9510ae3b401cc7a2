// The partition-table style of the disk behind a drive letter, asked of the management service.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "report/wmi_api.h"
#include "startup/fdfsm.h"

namespace tarnvik {

/// Leaves "GPT", "MBR", "RAW" or "Unknown" in m.PartitionStyle. Nothing of the service
/// survives the call.
void QueryPartitionStyle(Fdfsm& m, WmiApi& wmi, const std::string& letter);

/// The style of every drive letter, index 0 (A) to 25 (Z).
using PartitionStyles = std::array<std::string, 26>;

/// Letters by index, 0 (A) to 25 (Z).
using PartitionLetters = std::array<bool, 26>;

/// The style of each of `letters` from one fixed set of queries (the links of logical disks to
/// partitions, the partitions' types, and the logical disks when a letter is in no link), with
/// the answers QueryPartitionStyle gives one letter at a time; the other letters are "Unknown".
/// All "Unknown" when the service cannot be reached or any query fails. Joins the calling
/// thread to COM's apartment for the time of the call, so it runs on any worker.
PartitionStyles QueryPartitionStyles(WmiApi& wmi, const PartitionLetters& letters);

/// QueryPartitionStyles of every letter.
PartitionStyles QueryPartitionStyles(WmiApi& wmi);

/// The DeviceID key of an object path of class `className` (any case), such as
/// \\HOST\root\cimv2:Win32_LogicalDisk.DeviceID="C:" or a path without namespace; nullopt for
/// a path of another class or one that cannot be read.
std::optional<std::string> DeviceIdOfPath(std::string_view path, std::string_view className);

}  // namespace tarnvik
