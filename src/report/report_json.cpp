// The JSON writer. Small on purpose: one document shape, written in order; the only subtle part
// is the string escaping, which must never let a drive label break the document.
#include "report/report_json.h"

#include <cstdint>
#include <optional>
#include <string>

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
  // Out of line: written inline at each call, the number's conversion would weigh more than the rest.
  [[gnu::noinline]] void Number(std::string_view name, uint64_t value) { Raw(name, std::to_string(value)); }
  void Null(std::string_view name) { Raw(name, "null"); }
  void MaybeString(std::string_view name, const std::optional<std::string>& value) {
    value ? String(name, *value) : Null(name);
  }

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

/// Writes each field as a member of one object.
class JsonFields final : public FieldSink {
 public:
  explicit JsonFields(JsonObject& object) : object_(object) {}
  void Field(const char* name, Kind kind, const std::string& value) override {
    if (kind == Kind::Null) return object_.Null(name);
    if (kind == Kind::String) return object_.String(name, value);
    if (kind != Kind::Numbers) return object_.Raw(name, value);
    std::string list = "[";
    for (const char c : value) list += c == ' ' ? std::string_view(", ") : std::string_view(&c, 1);
    object_.Raw(name, list + "]");
  }

 private:
  JsonObject& object_;
};

void WriteDrive(std::string& out, int number, const ReportedDrive& drive, bool withStyles) {
  JsonObject o(out, 2);
  JsonFields fields(o);
  DriveFields(drive, number, withStyles, fields);
  std::string disk = "null";
  if (drive.facts.disk) {
    disk.clear();
    JsonObject d(disk, 3);
    JsonFields diskFields(d);
    DiskFields(drive.facts.disk, diskFields);
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
  o.MaybeString("architecture", origin.machine.architecture);
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
  document.MaybeString("computerName", machine.computerName);
  document.MaybeString("dnsHostName", machine.dnsHostName);
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
