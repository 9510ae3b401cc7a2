// The facts of one drive as the report writes them: space, type, serial.
#pragma once

#include <cstdint>
#include <string>

#include "report/drive_api.h"
#include "startup/fdfsm.h"

namespace tarnvik {

/// Total-size text of the drive; sets the five size texts of `m` and counts a sized drive.
std::string GetDriveSpace(Fdfsm& m, DriveApi& api, const std::string& letter);

/// "HDD/VHD  (Fixed)" and the like; "?  (Unknown)" for anything else.
std::string GetDriveTypeText(DriveApi& api, const std::string& letter);

/// The volume serial as eight upper-case hexadecimal digits; "00000000" when it cannot be read.
std::string GetVolumeSerialText(DriveApi& api, const std::string& letter);

/// A 32-bit signed integer read as unsigned.
double UnsignedToDouble(int32_t value);

}  // namespace tarnvik
