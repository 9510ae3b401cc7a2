#include "report/report_fields.h"

#include <cstdint>

#include "report/drive_facts.h"

namespace tarnvik {
namespace {

using Kind = ReportField::Kind;

ReportField Number(std::string_view name, uint64_t value) { return {name, Kind::Number, std::to_string(value)}; }
ReportField Text(std::string_view name, std::string value) { return {name, Kind::String, std::move(value)}; }
ReportField Null(std::string_view name) { return {name, Kind::Null, {}}; }

ReportField Maybe(std::string_view name, const std::optional<std::string>& value) {
  return value ? Text(name, *value) : Null(name);
}
ReportField Maybe(std::string_view name, const std::optional<uint64_t>& value) {
  return value ? Number(name, *value) : Null(name);
}
ReportField Maybe(std::string_view name, const std::optional<bool>& value) {
  return value ? ReportField{name, Kind::Boolean, *value ? "true" : "false"} : Null(name);
}

// A bus this program knows by name is written as its name; any other as its code, a number.
ReportField Bus(const std::optional<uint32_t>& code) {
  if (!code) return Null("busType");
  std::string text = BusTypeText(*code);
  return text == std::to_string(*code) ? Number("busType", *code) : Text("busType", std::move(text));
}

}  // namespace

std::vector<ReportField> DriveFields(const ReportedDrive& drive, int number, bool withStyles) {
  const DriveAnswers& a = drive.facts.answers;
  std::vector<ReportField> f;
  f.push_back(Text("letter", std::string(1, static_cast<char>('A' + drive.index))));
  f.push_back(Number("number", static_cast<uint64_t>(number)));
  f.push_back(Number("position", static_cast<uint64_t>(drive.index + 1)));
  // The volume query gives the label, the file system and the serial; when it failed, the
  // text shows its defaults and the documents say null. The hex half can still come from
  // the serial-only query asked after it (a medium that became ready in between).
  const bool hexOnly = !a.volumeAnswered && a.serialText != DriveAnswers{}.serialText;
  f.push_back(a.volumeAnswered ? Number("serialNumber", a.serial) : Null("serialNumber"));
  f.push_back(a.volumeAnswered || hexOnly ? Text("serialHex", a.serialText) : Null("serialHex"));
  f.push_back(a.volumeAnswered ? Text("label", a.label) : Null("label"));
  f.push_back(a.HasFileSystem() ? Text("fileSystem", a.fileSystem) : Null("fileSystem"));
  const auto space = [&](std::string_view name, uint64_t value) {
    return a.space.answered ? Number(name, value) : Null(name);
  };
  f.push_back(space("totalBytes", a.space.totalBytes));
  f.push_back(space("freeBytes", a.space.freeBytes));
  f.push_back(space("usedBytes", UsedBytes(a.space)));
  f.push_back(a.clusterAnswered ? Number("bytesPerSector", a.bytesPerSector) : Null("bytesPerSector"));
  f.push_back(a.clusterAnswered ? Number("sectorsPerCluster", a.sectorsPerCluster) : Null("sectorsPerCluster"));
  f.push_back(Number("driveType", a.typeCode));
  f.push_back(Text("driveTypeText", a.typeText));
  // Asked only of a volume with a file system, and only where the text has a " Table: " line.
  const bool styled = withStyles && a.HasFileSystem();
  f.push_back(styled ? Text("partitionStyle", drive.facts.partitionStyle) : Null("partitionStyle"));
  return f;
}

std::vector<ReportField> DiskFields(const std::optional<DiskFacts>& disk) {
  const DiskFacts none;
  const DiskFacts& d = disk ? *disk : none;
  std::string numbers;
  for (const uint32_t n : d.numbers) numbers += (numbers.empty() ? "" : " ") + std::to_string(n);
  return {disk ? ReportField{"numbers", Kind::Numbers, numbers} : Null("numbers"),
          Maybe("vendor", d.vendor),
          Maybe("model", d.model),
          Maybe("revision", d.revision),
          Maybe("serial", d.serial),
          Bus(d.busType),
          Maybe("removable", d.removable),
          Maybe("ssd", d.ssd),
          Maybe("trim", d.trim),
          Maybe("sizeBytes", d.sizeBytes),
          Maybe("failurePredicted", d.failurePredicted)};
}

}  // namespace tarnvik
