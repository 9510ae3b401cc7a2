// The JSON writer. Small on purpose: one document shape, written in order; the only subtle part
// is the string escaping, which must never let a drive label break the document.
#include "report/report_json.h"

#include <cstdint>
#include <string>

#include "base/program_identity.h"
#include "base/text.h"
#include "report/drive_facts.h"

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

void WriteDrive(std::string& out, int number, const ReportedDrive& drive, bool withStyles) {
  const DriveAnswers& a = drive.facts.answers;
  JsonObject o(out, 2);
  o.String("letter", std::string(1, static_cast<char>('A' + drive.index)));
  o.Number("number", static_cast<uint64_t>(number));
  o.Number("position", static_cast<uint64_t>(drive.index + 1));
  // The volume query gives the label, the file system and the serial; when it failed, the
  // text shows its defaults and the document says null. The hex half can still come from
  // the serial-only query asked after it (a medium that became ready in between).
  if (a.volumeAnswered) {
    o.Number("serialNumber", a.serial);
    o.String("serialHex", a.serialText);
    o.String("label", a.label);
  } else {
    o.Null("serialNumber");
    if (a.serialText != DriveAnswers{}.serialText) {
      o.String("serialHex", a.serialText);
    } else {
      o.Null("serialHex");
    }
    o.Null("label");
  }
  if (a.HasFileSystem()) {
    o.String("fileSystem", a.fileSystem);
  } else {
    o.Null("fileSystem");
  }
  if (a.space.answered) {
    o.Number("totalBytes", a.space.totalBytes);
    o.Number("freeBytes", a.space.freeBytes);
    o.Number("usedBytes", UsedBytes(a.space));
  } else {
    o.Null("totalBytes");
    o.Null("freeBytes");
    o.Null("usedBytes");
  }
  if (a.clusterAnswered) {
    o.Number("bytesPerSector", a.bytesPerSector);
    o.Number("sectorsPerCluster", a.sectorsPerCluster);
  } else {
    o.Null("bytesPerSector");
    o.Null("sectorsPerCluster");
  }
  o.Number("driveType", a.typeCode);
  o.String("driveTypeText", a.typeText);
  // Asked only of a volume with a file system, and only where the text has a " Table: " line.
  if (withStyles && a.HasFileSystem()) {
    o.String("partitionStyle", drive.facts.partitionStyle);
  } else {
    o.Null("partitionStyle");
  }
  o.End();
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

std::string ReportJson(const Report& report) {
  std::string out;
  JsonObject document(out, 0);
  document.String("program", kAppName);
  document.String("version", kAppVersion);
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
