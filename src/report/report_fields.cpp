// Small out-of-line helpers on purpose: each field is one short call, which keeps the program
// small where it must fit a size budget.
#include "report/report_fields.h"

#include <cstdint>

#include "report/drive_facts.h"

namespace tarnvik {
namespace {

using Kind = FieldSink::Kind;

void Null(FieldSink& sink, const char* name) { sink.Field(name, Kind::Null, {}); }

void NumberIf(FieldSink& sink, bool known, const char* name, uint64_t value) {
  known ? sink.Field(name, Kind::Number, std::to_string(value)) : Null(sink, name);
}

void TextIf(FieldSink& sink, bool known, const char* name, const std::string& value) {
  known ? sink.Field(name, Kind::String, value) : Null(sink, name);
}

void MaybeText(FieldSink& sink, const char* name, const std::string& value) { TextIf(sink, !value.empty(), name, value); }

void MaybeFlag(FieldSink& sink, const char* name, const std::optional<bool>& value) {
  value ? sink.Field(name, Kind::Boolean, *value ? "true" : "false") : Null(sink, name);
}

}  // namespace

void DriveFields(const ReportedDrive& drive, int number, bool withStyles, FieldSink& sink) {
  const DriveAnswers& a = drive.facts.answers;
  TextIf(sink, true, "letter", std::string(1, static_cast<char>('A' + drive.index)));
  NumberIf(sink, true, "number", static_cast<uint64_t>(number));
  NumberIf(sink, true, "position", static_cast<uint64_t>(drive.index + 1));
  // The volume query gives the label, the file system and the serial; when it failed, the
  // text shows its defaults and the documents say null. The hex half can still come from
  // the serial-only query asked after it (a medium that became ready in between).
  const bool hexOnly = !a.volumeAnswered && a.serialText != "00000000";  // not the default
  NumberIf(sink, a.volumeAnswered, "serialNumber", a.serial);
  TextIf(sink, a.volumeAnswered || hexOnly, "serialHex", a.serialText);
  TextIf(sink, a.volumeAnswered, "label", a.label);
  TextIf(sink, a.HasFileSystem(), "fileSystem", a.fileSystem);
  NumberIf(sink, a.space.answered, "totalBytes", a.space.totalBytes);
  NumberIf(sink, a.space.answered, "freeBytes", a.space.freeBytes);
  NumberIf(sink, a.space.answered, "usedBytes", UsedBytes(a.space));
  NumberIf(sink, a.clusterAnswered, "bytesPerSector", a.bytesPerSector);
  NumberIf(sink, a.clusterAnswered, "sectorsPerCluster", a.sectorsPerCluster);
  NumberIf(sink, true, "driveType", a.typeCode);
  TextIf(sink, true, "driveTypeText", a.typeText);
  // Asked only of a volume with a file system, and only where the text has a " Table: " line.
  TextIf(sink, withStyles && a.HasFileSystem(), "partitionStyle", drive.facts.partitionStyle);
}

void DiskFields(const std::optional<DiskFacts>& disk, FieldSink& sink) {
  const DiskFacts none;
  const DiskFacts& d = disk ? *disk : none;
  std::string numbers;
  for (const uint32_t n : d.numbers) numbers += (numbers.empty() ? "" : " ") + std::to_string(n);
  disk ? sink.Field("numbers", Kind::Numbers, numbers) : Null(sink, "numbers");
  MaybeText(sink, "vendor", d.vendor);
  MaybeText(sink, "model", d.model);
  MaybeText(sink, "revision", d.revision);
  MaybeText(sink, "serial", d.serial);
  // A bus this program knows by name is written as its name; any other as its code, a number.
  const std::string bus = d.busType ? BusTypeText(*d.busType) : std::string();
  const bool named = d.busType && bus != std::to_string(*d.busType);
  named ? TextIf(sink, true, "busType", bus) : NumberIf(sink, d.busType.has_value(), "busType", d.busType.value_or(0));
  MaybeFlag(sink, "removable", d.removable);
  MaybeFlag(sink, "ssd", d.ssd);
  MaybeFlag(sink, "trim", d.trim);
  NumberIf(sink, d.sizeBytes.has_value(), "sizeBytes", d.sizeBytes.value_or(0));
  MaybeFlag(sink, "failurePredicted", d.failurePredicted);
}

}  // namespace tarnvik
