// The partition-table style of the disk behind a drive letter, asked of the management service.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/lock.h"
#include "report/wmi_api.h"

namespace tarnvik {

/// The logical disk's DeviceID a drive letter names: the letter in upper case, blanks removed,
/// and ":" added when that leaves one letter A to Z. Anything else names no disk.
std::string DiskDeviceIdOf(const std::string& letter);

/// "GPT", "MBR", "RAW" or "Unknown" for one drive letter. Nothing of the service survives the
/// call.
std::string QueryPartitionStyle(WmiApi& wmi, const std::string& letter);

/// The lock every question to the management service is asked under, whoever asks: Wine's
/// in-process provider corrupts its heap when two threads query at once (seen with three queries
/// side by side). Only the wait for one object's answer, which touches a volume and so may last,
/// is made without it.
Lock& ManagementServiceLock();

/// The style of every drive letter, index 0 (A) to 25 (Z).
using PartitionStyles = std::array<std::string, 26>;

/// Letters by index, 0 (A) to 25 (Z).
using PartitionLetters = std::array<bool, 26>;

/// Receives one letter's style (index 0 is A) as soon as it is known.
using PartitionStyleSink = std::function<void(std::size_t index, std::string style)>;

/// The style of each of `letters`, with the answers QueryPartitionStyle gives one letter at a
/// time. One batch asks what touches no volume (the links of logical disks to partitions and
/// the partitions' types) and delivers every linked letter; then each letter in no link is
/// asked of the service alone, from A to Z, and delivered, so a question that fails or hangs
/// holds up no letter before it. Every asked letter is delivered exactly once, "Unknown" when
/// the service cannot be reached, a batch walk fails or a letter's answer does not come in
/// time. Questions of different batches never reach the service at the same moment, but a
/// batch awaiting one letter's answer holds up no other batch. Joins the calling thread to
/// COM's apartment for the time of the call, so it runs on any worker. `stillWanted`, where
/// given, is asked just before a letter in no link would be: a letter it refuses is delivered
/// as "Unknown" without a question.
void QueryPartitionStyles(WmiApi& wmi, const PartitionLetters& letters, const PartitionStyleSink& deliver,
                          const std::function<bool(std::size_t index)>& stillWanted = {});

/// The same, gathered; the letters not asked are "Unknown".
PartitionStyles QueryPartitionStyles(WmiApi& wmi, const PartitionLetters& letters);

/// QueryPartitionStyles of every letter.
PartitionStyles QueryPartitionStyles(WmiApi& wmi);

/// The DeviceID key of an object path of class `className` (any case), such as
/// \\HOST\root\cimv2:Win32_LogicalDisk.DeviceID="C:" or a path without namespace; nullopt for
/// a path of another class or one that cannot be read.
std::optional<std::string> DeviceIdOfPath(std::string_view path, std::string_view className);

}  // namespace tarnvik
