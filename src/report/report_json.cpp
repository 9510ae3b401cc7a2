// The JSON writer. Small on purpose: one document shape, written in order; the only subtle part
// is the string escaping, which must never let a drive label break the document.
#include "report/report_json.h"

#include <cstdint>
#include <string>
#include <vector>

#include "base/program_identity.h"
#include "base/text.h"
#include "report/report_fields.h"

namespace tarnvik {
namespace {

/// Writes members of one object, one a line, with the commas between them.
class JsonObject {
 public:
  JsonObject(std::string& out, int depth) : out_(out), indent_(static_cast<std::size_t>(2 * depth), ' ') {
    out_ += "{";
  }

  void Raw(std::string_view name, std::string_view value) {
    out_ += first_ ? "\r\n" : ",\r\n";
    first_ = false;
    out_ += indent_;
    out_ += "  ";
    out_ += JsonString(name);
    out_ += ": ";
    out_ += value;
  }
  void String(std::string_view name, std::string_view value) { Raw(name, JsonString(value)); }
  void Number(std::string_view name, uint64_t value) { Raw(name, std::to_string(value)); }
  void Null(std::string_view name) { Raw(name, "null"); }

  void End() {
    if (!first_) {
      out_ += "\r\n";
      out_ += indent_;
    }
    out_ += "}";
  }

 private:
  std::string& out_;
  std::string indent_;
  bool first_ = true;
};

/// One field as its JSON value.
std::string JsonValue(const ReportField& field) {
  switch (field.kind) {
    case ReportField::Kind::Null: return "null";
    case ReportField::Kind::String: return JsonString(field.value);
    case ReportField::Kind::Numbers: {
      std::string list = "[";
      for (const char c : field.value) list += c == ' ' ? std::string_view(", ") : std::string_view(&c, 1);
      return list + "]";
    }
    case ReportField::Kind::Number:
    case ReportField::Kind::Boolean: break;
  }
  return field.value;
}

void WriteFields(JsonObject& o, const std::vector<ReportField>& fields) {
  for (const ReportField& field : fields) o.Raw(field.name, JsonValue(field));
}

void WriteDrive(std::string& out, int number, const ReportedDrive& drive, bool withStyles) {
  JsonObject o(out, 2);
  WriteFields(o, DriveFields(drive, number, withStyles));
  std::string disk = "null";
  if (drive.facts.disk) {
    disk.clear();
    JsonObject d(disk, 3);
    WriteFields(d, DiskFields(drive.facts.disk));
    d.End();
  }
  o.Raw("disk", disk);
  o.End();
}

std::string WindowsObject(const ReportOrigin& origin) {
  std::string out;
  JsonObject o(out, 1);
  o.Number("major", origin.windows.major);
  o.Number("minor", origin.windows.minor);
  o.Number("build", origin.windows.build);
  o.String("servicePack", origin.windows.servicePack);
  o.Raw("architecture", origin.machine.architecture ? JsonString(*origin.machine.architecture) : "null");
  o.End();
  return out;
}

}  // namespace

std::string JsonString(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceLength(text, i);
      out += length == 0 ? std::string_view("\\ufffd") : text.substr(i, length);
      i += length == 0 ? 1 : length;
      continue;
    }
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          out += "\\u00";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
        } else {
          out += static_cast<char>(c);
        }
    }
    ++i;
  }
  return out + "\"";
}

std::string ReportJson(const Report& report, const ReportOrigin& origin) {
  std::string out;
  JsonObject document(out, 0);
  document.String("program", kAppName);
  document.String("version", kAppVersion);
  document.Number("schemaVersion", 2);
  const MachineFacts& machine = origin.machine;
  document.Raw("computerName", machine.computerName ? JsonString(*machine.computerName) : "null");
  document.Raw("dnsHostName", machine.dnsHostName ? JsonString(*machine.dnsHostName) : "null");
  document.String("takenUtc", machine.takenUtc);
  document.Raw("windows", WindowsObject(origin));
  std::string list = "[";
  int number = 0;
  for (const ReportedDrive& drive : report.drives) {
    list += number == 0 ? "\r\n    " : ",\r\n    ";
    WriteDrive(list, ++number, drive, report.withPartitionStyles);
  }
  list += number == 0 ? "]" : "\r\n  ]";
  document.Raw("drives", list);
  document.Number("driveCount", static_cast<uint64_t>(report.DriveCount()));
  document.Number("sizedDriveCount", static_cast<uint64_t>(report.SizedDriveCount()));
  document.End();
  return out + "\r\n";
}

}  // namespace tarnvik
