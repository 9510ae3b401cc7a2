// volumes: what asking for the volumes without a letter costs, through the program's own code.
//
//   volumes N    the walk (FindFirstVolumeW/FindNextVolumeW and each volume's paths) N times;
//                then one volume's facts (its answers, QueryGuidVolume not elevated, and its
//                device: disks and partition) N times for each volume the search lists. Prints
//                the microseconds of one walk, of one volume's facts, the volumes listed and
//                how many of them have no letter.
//   volumes -v   one line for each letter's volume facts and each letterless volume's

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "base/win32_win.h"
#include "report/disk_api_win.h"
#include "report/drive_api_win.h"
#include "report/volume_api_win.h"
#include "report/volume_facts.h"
#include "report/wmi_api_win.h"

namespace {

double Micros(const LARGE_INTEGER& begin, const LARGE_INTEGER& end, long count) {
  LARGE_INTEGER frequency{};
  ::QueryPerformanceFrequency(&frequency);
  return static_cast<double>(end.QuadPart - begin.QuadPart) * 1e6 / static_cast<double>(frequency.QuadPart) /
         static_cast<double>(count);
}

std::vector<std::string> EveryVolume(tarnvik::VolumeApi& api) {
  std::vector<std::string> names;
  std::string name;
  uint32_t error = 0;
  const tarnvik::ScopedVolumeSearch search(api, api.FindFirstVolumeW(&name, &error));
  if (!search) return names;
  do names.push_back(name);
  while (api.FindNextVolumeW(search.get(), &name, &error));
  return names;
}

void PrintVolume(const std::string& name, const tarnvik::DriveAnswers& a, tarnvik::VolumeFacts v,
                 const tarnvik::VolumeDevice& device) {
  v.partition = device.partition;
  std::string paths = v.mountPaths.value_or("");
  std::replace(paths.begin(), paths.end(), '\n', ' ');
  const auto yes = [](const std::optional<bool>& b) { return b ? (*b ? "yes" : "no") : "null"; };
  std::printf("%s: fs=%s type=%u guid=%s paths=[%s] userFree=%lld ro=%s compressed=%s disks=%d partition=%s %s "
              "remote=%s bitlocker=%d\n",
              name.c_str(), a.fileSystem.c_str(), a.typeCode, v.guidPath.value_or("null").c_str(), paths.c_str(),
              v.freeBytesForUser ? static_cast<long long>(*v.freeBytesForUser) : -1LL, yes(v.readOnly),
              yes(v.compressed), device.disks ? static_cast<int>(device.disks->size()) : -1,
              v.partition ? (v.partition->gpt ? "GPT" : "MBR") : "null", v.partition ? v.partition->type.c_str() : "",
              v.remotePath.value_or("null").c_str(), v.encryption ? static_cast<int>(v.encryption->protection) : -1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  tarnvik::win::WinVolumeApi volumes;
  tarnvik::win::WinDriveApi drives;
  tarnvik::win::WinDiskApi disks;
  tarnvik::win::WinWmiApi wmi;
  tarnvik::VolumeCalls calls{volumes, wmi};
  if (argc > 1 && std::wcscmp(argv[1], L"-v") == 0) {
    const uint32_t present = drives.GetLogicalDrives();
    for (int index = 0; index < 26; ++index) {
      if ((present & (1u << index)) == 0) continue;
      const std::string letter(1, static_cast<char>('A' + index));
      const tarnvik::DriveAnswers answers = tarnvik::CollectDriveAnswers(drives, index);
      PrintVolume(letter + ":", answers, tarnvik::QueryLetterVolume(calls, index, answers, false),
                  tarnvik::QueryVolumeDevice(disks, "\\\\.\\" + letter + ":", true));
    }
    for (const std::string& guid : tarnvik::ListLetterlessVolumes(volumes)) {
      const tarnvik::DriveAnswers answers = tarnvik::CollectVolumeAnswers(drives, guid);
      PrintVolume(guid, answers, tarnvik::QueryGuidVolume(calls, guid, answers, false),
                  tarnvik::QueryVolumeDevice(disks, tarnvik::GuidVolumeDevice(guid), true));
    }
    return 0;
  }
  const long count = argc > 1 ? std::wcstol(argv[1], nullptr, 10) : 0;
  if (count <= 0) return 2;
  LARGE_INTEGER begin{}, end{};
  std::size_t letterless = 0;
  ::QueryPerformanceCounter(&begin);
  for (long i = 0; i < count; ++i) letterless = tarnvik::ListLetterlessVolumes(volumes).size();
  ::QueryPerformanceCounter(&end);
  const double walk = Micros(begin, end, count);
  const std::vector<std::string> listed = EveryVolume(volumes);
  if (listed.empty()) return 1;
  ::QueryPerformanceCounter(&begin);
  for (long i = 0; i < count; ++i)
    for (const std::string& guid : listed) {
      tarnvik::QueryGuidVolume(calls, guid, tarnvik::CollectVolumeAnswers(drives, guid), false);
      tarnvik::QueryVolumeDevice(disks, tarnvik::GuidVolumeDevice(guid), true);
    }
  ::QueryPerformanceCounter(&end);
  std::printf("%.3f %.3f %zu %zu\n", walk, Micros(begin, end, count * static_cast<long>(listed.size())),
              listed.size(), letterless);
  return 0;
}
