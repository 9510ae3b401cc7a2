// Read where the program runs, refuse a Windows it does not run on, stamp the registry: what the
// window and the saving runs do alike before anything else.
#include "startup/begin_run.h"

#include <array>

#include "base/program_identity.h"
#include "base/start_trace.h"
#include "startup/registry_store.h"

namespace tarnvik {
namespace {

struct StampedValue {
  std::string_view name;
  std::string_view expected;
};

constexpr std::array<StampedValue, 3> kStampedValues{{
    {"Version", kAppVersion},
    {"Author", kAppAuthor},
    {"HomePage", kAppHomePage},
}};

bool SupportedWindows(const Environment& env) {
  return VersionNumber(env.osVersion) >= kLowestWindowsVersion && env.osFamily != kRefusedWindowsFamily;
}

// Rewrites only the values that differ, so a stamped machine sees no write at all.
void StampRegistry(RegistryApi& registry) {
  const std::string key(kRegistryKey);
  for (const StampedValue& value : kStampedValues) {
    const std::string name(value.name);
    if (RegGetString(registry, kHkeyLocalMachine, key, name) != value.expected) {
      RegEnsureKey(registry, kHkeyLocalMachine, key);
      RegSetString(registry, kHkeyLocalMachine, key, name, std::string(value.expected));
    }
  }
}

}  // namespace

bool BeginRun(const std::string& programFolder, VersionApi& version, RegistryApi& registry, Environment& env) {
  env = ReadEnvironment(programFolder, version);
  if (!SupportedWindows(env)) return false;
  TraceStart("checks");
  StampRegistry(registry);
  TraceStart("registry stamp");
  return true;
}

}  // namespace tarnvik
