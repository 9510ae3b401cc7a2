// Small out-of-line helpers and tables on purpose: each field is one short call or a table row,
// which keeps the program small where it must fit a size budget.
#include "report/report_fields.h"

#include <cstdint>
#include <string>

#include "report/drive_facts.h"

namespace tarnvik {
namespace {

using Kind = FieldSink::Kind;

// The digits of `value` at the end of `buffer`, after a minus sign where `negative`.
[[gnu::noinline]] std::string_view Digits(char (&buffer)[24], uint64_t value, bool negative = false) {
  char* first = buffer + sizeof buffer;
  do {
    *--first = static_cast<char>('0' + value % 10);
  } while ((value /= 10) != 0);
  if (negative) *--first = '-';
  return {first, static_cast<std::size_t>(buffer + sizeof buffer - first)};
}

void Null(FieldSink& sink, const char* name) { sink.Field(name, Kind::Null, {}); }

void SignedField(FieldSink& sink, const char* name, const std::optional<int32_t>& value) {
  char digits[24];
  const int64_t v = value.value_or(0);
  value ? sink.Field(name, Kind::Number, Digits(digits, static_cast<uint64_t>(v < 0 ? -v : v), v < 0))
        : Null(sink, name);
}

[[gnu::noinline]] void TextField(FieldSink& sink, const char* name, bool known, std::string_view value) {
  known ? sink.Field(name, Kind::String, value) : Null(sink, name);
}

[[gnu::noinline]] void MaybeText(FieldSink& sink, const char* name, const std::string& value) {
  TextField(sink, name, !value.empty(), value);
}

// The health members, in their order around the list of critical warnings.
struct SignedMember {
  const char* name;
  std::optional<int32_t> DiskHealth::*value;
};
constexpr SignedMember kTemperatures[] = {{"temperatureCelsius", &DiskHealth::temperatureCelsius},
                                          {"warningTemperatureCelsius", &DiskHealth::warningTemperatureCelsius},
                                          {"criticalTemperatureCelsius", &DiskHealth::criticalTemperatureCelsius}};
struct CountMember {
  const char* name;
  std::optional<uint64_t> DiskHealth::*value;
};
// The critical warnings stand after the three percents.
constexpr CountMember kCounts[] = {{"percentageUsed", &DiskHealth::percentageUsed},
                                   {"availableSparePercent", &DiskHealth::availableSparePercent},
                                   {"availableSpareThresholdPercent", &DiskHealth::availableSpareThresholdPercent},
                                   {"dataReadBytes", &DiskHealth::dataReadBytes},
                                   {"dataWrittenBytes", &DiskHealth::dataWrittenBytes},
                                   {"powerCycles", &DiskHealth::powerCycles},
                                   {"powerOnHours", &DiskHealth::powerOnHours},
                                   {"unsafeShutdowns", &DiskHealth::unsafeShutdowns},
                                   {"mediaErrors", &DiskHealth::mediaErrors},
                                   {"errorLogEntries", &DiskHealth::errorLogEntries}};
// NVMe's critical-warning bits from bit 0, named as Microsoft's nvme.h names them; a later bit
// is written as its number.
constexpr const char* kWarningNames[] = {"availableSpareLow", "temperatureThreshold", "reliabilityDegraded",
                                         "readOnly", "volatileMemoryBackupFailed"};

void HealthFields(const DiskFacts& disk, FieldSink& sink) {
  const DiskHealth none;
  const DiskHealth& h = disk.health ? *disk.health : none;
  const char* status = disk.health ? HealthStatus(disk.failurePredicted, h) : nullptr;
  TextField(sink, "status", status != nullptr, status != nullptr ? status : "");
  for (const SignedMember& m : kTemperatures) SignedField(sink, m.name, h.*m.value);
  std::string warnings;
  for (unsigned bit = 0; bit < 8; ++bit) {
    if (!h.criticalWarnings || (*h.criticalWarnings >> bit & 1u) == 0) continue;
    if (!warnings.empty()) warnings += '\n';
    if (bit < std::size(kWarningNames)) warnings += kWarningNames[bit];
    if (bit >= std::size(kWarningNames)) warnings += static_cast<char>('0' + bit);
  }
  for (const CountMember& m : kCounts) {
    if (&m == kCounts + 3)
      h.criticalWarnings ? sink.Field("criticalWarnings", Kind::Texts, warnings) : Null(sink, "criticalWarnings");
    NumberField(sink, m.name, (h.*m.value).has_value(), (h.*m.value).value_or(0));
  }
}

void DiskFields(const std::optional<DiskFacts>& disk, FieldSink& sink) {
  const DiskFacts none;
  const DiskFacts& d = disk ? *disk : none;
  std::string numbers;
  for (const uint32_t n : d.numbers) {
    char digits[24];
    if (!numbers.empty()) numbers += ' ';
    numbers += Digits(digits, n);
  }
  disk ? sink.Field("numbers", Kind::Numbers, numbers) : Null(sink, "numbers");
  MaybeText(sink, "vendor", d.vendor);
  MaybeText(sink, "model", d.model);
  MaybeText(sink, "revision", d.revision);
  MaybeText(sink, "serial", d.serial);
  // A bus this program knows by name is written as its name; any other as its code, a number.
  const char* bus = d.busType ? BusTypeName(*d.busType) : nullptr;
  bus != nullptr ? TextField(sink, "busType", true, bus)
                 : NumberField(sink, "busType", d.busType.has_value(), d.busType.value_or(0));
  FlagField(sink, "removable", d.removable);
  FlagField(sink, "ssd", d.ssd);
  FlagField(sink, "trim", d.trim);
  NumberField(sink, "sizeBytes", d.sizeBytes.has_value(), d.sizeBytes.value_or(0));
  FlagField(sink, "failurePredicted", d.failurePredicted);
  sink.Object("health", d.health.has_value());
  HealthFields(d, sink);
  sink.EndObject();
}

// A code written as its name where this program has one, else as its number.
void CodeField(FieldSink& sink, const char* name, const char* const* names, std::size_t count, uint32_t code) {
  code < count ? TextField(sink, name, true, names[code]) : NumberField(sink, name, true, code);
}

// BitLocker's codes, as Win32_EncryptableVolume names them, in the documents' style.
constexpr const char* kProtectionNames[] = {"off", "on", "unknown"};
constexpr const char* kConversionNames[] = {"fullyDecrypted", "fullyEncrypted", "encrypting",
                                            "decrypting", "encryptionPaused", "decryptionPaused"};

void VolumeFields(const std::optional<VolumeFacts>& volume, FieldSink& sink) {
  const VolumeFacts none;
  const VolumeFacts& v = volume ? *volume : none;
  TextField(sink, "guidPath", v.guidPath.has_value(), v.guidPath.value_or(""));
  // The list's texts are joined by line feeds, as the paths are held, without the last.
  const std::string_view paths = v.mountPaths ? std::string_view(*v.mountPaths) : std::string_view();
  v.mountPaths ? sink.Field("mountPaths", Kind::Texts, paths.substr(0, paths.size() - !paths.empty()))
               : Null(sink, "mountPaths");
  NumberField(sink, "freeBytesForUser", v.freeBytesForUser.has_value(), v.freeBytesForUser.value_or(0));
  FlagField(sink, "readOnly", v.readOnly);
  FlagField(sink, "compressed", v.compressed);
  const PartitionFacts noPartition;
  const PartitionFacts& p = v.partition ? *v.partition : noPartition;
  sink.Object("partition", v.partition.has_value());
  NumberField(sink, "number", v.partition.has_value(), p.number);
  NumberField(sink, "offsetBytes", v.partition.has_value(), p.offsetBytes);
  NumberField(sink, "lengthBytes", v.partition.has_value(), p.lengthBytes);
  TextField(sink, "style", v.partition.has_value(), p.gpt ? "GPT" : "MBR");
  TextField(sink, "type", v.partition.has_value(), p.type);
  sink.EndObject();
  TextField(sink, "remotePath", v.remotePath.has_value(), v.remotePath.value_or(""));
  sink.Object("encryption", v.encryption.has_value());
  if (v.encryption) {
    CodeField(sink, "protection", kProtectionNames, std::size(kProtectionNames), v.encryption->protection);
    const std::optional<uint32_t>& conversion = v.encryption->conversion;
    conversion ? CodeField(sink, "conversion", kConversionNames, std::size(kConversionNames), *conversion)
               : Null(sink, "conversion");
  } else {
    Null(sink, "protection");
    Null(sink, "conversion");
  }
  sink.EndObject();
}

}  // namespace

[[gnu::noinline]] void NumberField(FieldSink& sink, const char* name, bool known, uint64_t value) {
  char digits[24];
  known ? sink.Field(name, Kind::Number, Digits(digits, value)) : Null(sink, name);
}

void FlagField(FieldSink& sink, const char* name, const std::optional<bool>& value) {
  value ? sink.Field(name, Kind::Boolean, *value ? "true" : "false") : Null(sink, name);
}

void DriveFields(const ReportedDrive& drive, int number, bool withStyles, FieldSink& sink) {
  const DriveAnswers& a = drive.facts.answers;
  const bool lettered = drive.index != kNoLetter;
  const char letter = static_cast<char>('A' + drive.index);
  TextField(sink, "letter", lettered, {&letter, 1});
  NumberField(sink, "number", lettered, static_cast<uint64_t>(number));
  NumberField(sink, "position", lettered, static_cast<uint64_t>(drive.index + 1));
  // The volume query gives the label, the file system and the serial; when it failed, the
  // text shows its defaults and the documents say null. The hex half can still come from
  // the serial-only query asked after it (a medium that became ready in between).
  const bool hexOnly = !a.volumeAnswered && a.serialText != "00000000";  // not the default
  NumberField(sink, "serialNumber", a.volumeAnswered, a.serial);
  TextField(sink, "serialHex", a.volumeAnswered || hexOnly, a.serialText);
  TextField(sink, "label", a.volumeAnswered, a.label);
  TextField(sink, "fileSystem", a.HasFileSystem(), a.fileSystem);
  NumberField(sink, "totalBytes", a.space.answered, a.space.totalBytes);
  NumberField(sink, "freeBytes", a.space.answered, a.space.freeBytes);
  NumberField(sink, "usedBytes", a.space.answered, UsedBytes(a.space));
  NumberField(sink, "bytesPerSector", a.clusterAnswered, a.bytesPerSector);
  NumberField(sink, "sectorsPerCluster", a.clusterAnswered, a.sectorsPerCluster);
  NumberField(sink, "driveType", true, a.typeCode);
  TextField(sink, "driveTypeText", true, a.typeText);
  // Asked only of a letter's volume with a file system, and only where the text has a " Table: "
  // line; a volume without a letter has no such line.
  TextField(sink, "partitionStyle", withStyles && lettered && a.HasFileSystem(), drive.facts.partitionStyle);
  sink.Object("disk", drive.facts.disk.has_value());
  DiskFields(drive.facts.disk, sink);
  sink.EndObject();
  sink.Object("volume", drive.facts.volume.has_value());
  VolumeFields(drive.facts.volume, sink);
  sink.EndObject();
}

}  // namespace tarnvik
