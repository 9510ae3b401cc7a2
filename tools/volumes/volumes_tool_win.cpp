// volumes: what asking for the volumes without a letter costs, through the program's own code.
//
//   volumes N    the walk (FindFirstVolumeW/FindNextVolumeW and each volume's paths) N times;
//                then one volume's facts (QueryGuidVolume, not elevated) N times for each
//                volume the search lists. Prints the microseconds of one walk, of one volume's
//                facts, the volumes listed and how many of them have no letter.
//   volumes -v   one line for each letter's volume facts and each letterless volume's

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

void PrintVolume(const std::string& name, const tarnvik::VolumeAnswers& v) {
  std::string paths;
  for (const std::string& path : v.volume.mountPaths.value_or(std::vector<std::string>{})) paths += path + " ";
  const auto yes = [](const std::optional<bool>& b) { return b ? (*b ? "yes" : "no") : "null"; };
  std::printf("%s: fs=%s guid=%s paths=[%s] userFree=%lld ro=%s compressed=%s partition=%s %s remote=%s bitlocker=%d\n",
              name.c_str(), v.answers.fileSystem.c_str(), v.volume.guidPath.value_or("null").c_str(), paths.c_str(),
              v.volume.freeBytesForUser ? static_cast<long long>(*v.volume.freeBytesForUser) : -1LL,
              yes(v.volume.readOnly), yes(v.volume.compressed),
              v.volume.partition ? v.volume.partition->style.c_str() : "null",
              v.volume.partition ? v.volume.partition->type.c_str() : "", v.volume.remotePath.value_or("null").c_str(),
              v.volume.encryption ? static_cast<int>(v.volume.encryption->protection) : -1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  tarnvik::win::WinVolumeApi volumes;
  tarnvik::win::WinDriveApi drives;
  tarnvik::win::WinDiskApi disks;
  tarnvik::win::WinWmiApi wmi;
  tarnvik::VolumeCalls calls{volumes, drives, disks, wmi};
  if (argc > 1 && std::wcscmp(argv[1], L"-v") == 0) {
    const uint32_t present = drives.GetLogicalDrives();
    for (int index = 0; index < 26; ++index)
      if (present & (1u << index)) PrintVolume(std::string(1, static_cast<char>('A' + index)) + ":",
                                                tarnvik::QueryLetterVolume(calls, index, false));
    for (const std::string& guid : tarnvik::ListLetterlessVolumes(volumes))
      PrintVolume(guid, tarnvik::QueryGuidVolume(calls, guid, false));
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
    for (const std::string& guid : listed) tarnvik::QueryGuidVolume(calls, guid, false);
  ::QueryPerformanceCounter(&end);
  std::printf("%.3f %.3f %zu %zu\n", walk, Micros(begin, end, count * static_cast<long>(listed.size())),
              listed.size(), letterless);
  return 0;
}
