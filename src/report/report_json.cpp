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

/// Writes the document as fields arrive: each member or element on a line of its own, two
/// blanks deeper per level, with the commas between them. Names are the program's own
/// identifiers and need no escaping.
class JsonWriter final : public FieldSink {
 public:
  std::string out = "{";

  void Field(const char* name, Kind kind, std::string_view value) override {
    if (absent_ != 0) return;
    Member(name);
    if (kind == Kind::Null) {
      out += "null";
    } else if (kind == Kind::String) {
      AppendJsonString(out, value);
    } else if (kind == Kind::Numbers || kind == Kind::Texts) {
      out += '[';
      for (std::size_t at = 0; at < value.size();) {
        const std::size_t end = std::min(value.find(kind == Kind::Numbers ? ' ' : '\n', at), value.size());
        const std::string_view item = value.substr(at, end - at);
        if (at != 0) out += ", ";
        const bool number = kind == Kind::Numbers || item.find_first_not_of("0123456789") == item.npos;
        number && !item.empty() ? void(out += item) : AppendJsonString(out, item);
        at = end + 1;
      }
      out += ']';
    } else {
      out += value;
    }
  }
  void Object(const char* name, bool present) override {
    if (absent_ != 0 || !present) {
      if (absent_++ == 0) Member(name), out += "null";
      return;
    }
    Member(name);
    Open('{');
  }
  void EndObject() override { absent_ != 0 ? void(--absent_) : Close('}'); }

  void Open(char bracket) {
    out += bracket;
    ++depth_;
    first_ = true;
  }
  void Close(char bracket) {
    --depth_;
    if (!first_) NewLine();
    out += bracket;
    first_ = false;
  }
  /// A member's name, or with none, an element of an array.
  void Member(const char* name) {
    if (!first_) out += ',';
    first_ = false;
    NewLine();
    if (name == nullptr) return;
    out += '"';
    out += name;
    out += "\": ";
  }

 private:
  void NewLine() { out.append("\r\n                    ", static_cast<std::size_t>(2 + 2 * depth_)); }
  int depth_ = 1;
  bool first_ = true;
  int absent_ = 0;  ///< the depth inside an object written as null, whose fields are left out
};

void Number(JsonWriter& json, const char* name, uint64_t value) { NumberField(json, name, true, value); }

void MaybeText(JsonWriter& json, const char* name, const std::optional<std::string>& value) {
  value ? json.Field(name, FieldSink::Kind::String, *value) : json.Field(name, FieldSink::Kind::Null, {});
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
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
  out += '"';
}

std::string ReportJson(const Report& report, const ReportOrigin& origin) {
  using Kind = FieldSink::Kind;
  JsonWriter json;
  json.Field("program", Kind::String, kAppName);
  json.Field("version", Kind::String, kAppVersion);
  Number(json, "schemaVersion", 3);
  const MachineFacts& machine = origin.machine;
  MaybeText(json, "computerName", machine.computerName);
  MaybeText(json, "dnsHostName", machine.dnsHostName);
  json.Field("takenUtc", Kind::String, machine.takenUtc);
  json.Object("windows", true);
  Number(json, "major", origin.windows.major);
  Number(json, "minor", origin.windows.minor);
  Number(json, "build", origin.windows.build);
  json.Field("servicePack", Kind::String, origin.windows.servicePack);
  MaybeText(json, "architecture", machine.architecture);
  json.EndObject();
  FlagField(json, "elevated", machine.elevated);
  json.Member("drives");
  json.Open('[');
  int number = 0;
  for (const ReportedDrive& drive : report.drives) {
    json.Object(nullptr, true);
    DriveFields(drive, ++number, report.withPartitionStyles, json);
    json.EndObject();
  }
  json.Close(']');
  Number(json, "driveCount", static_cast<uint64_t>(report.DriveCount()));
  Number(json, "sizedDriveCount", static_cast<uint64_t>(report.SizedDriveCount()));
  json.Member("volumesWithoutLetter");
  json.Open('[');
  for (const ReportedDrive& volume : report.volumesWithoutLetter) {
    json.Object(nullptr, true);
    DriveFields(volume, 0, report.withPartitionStyles, json);
    json.EndObject();
  }
  json.Close(']');
  json.Close('}');
  return json.out + "\r\n";
}

}  // namespace tarnvik
