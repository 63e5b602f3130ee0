#include "scripting/script_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "core/text.h"

namespace kps {

namespace {

// Longer fields would give byte counts past the per-row tables' 16 bits.
constexpr std::size_t kMaxLineLength = 65534;

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string WithoutBlanks(std::string text) {
  std::erase(text, ' ');
  return text;
}

// A field of one character (or of three, where given) reads as a whole byte.
std::string PadHexField(std::string field, bool padThree) {
  if (field.size() == 1 || (padThree && field.size() == 3)) field.insert(0, "0");
  return Upper(std::move(field));
}

// Bytes a hex field spells: half its length, halves to even (5 characters give 2).
int16_t FieldByteCount(const std::string& field) {
  return static_cast<int16_t>(RoundHalfEven(static_cast<double>(field.size()) / 2.0));
}

std::string LineNumberText(int row) {
  std::string text = std::to_string(row);
  while (text.size() < 3) text.insert(0, "0");
  return text;
}

struct RowBuilder {
  std::vector<ScriptCell> cells = std::vector<ScriptCell>(kScriptColumnCount);
  ScriptRowCounts counts;

  ScriptCell& operator[](int column) { return cells[static_cast<std::size_t>(column - 1)]; }
};

// Cuts the comment off `line` (from the first "#" on) and returns it; the part
// in front of a comment loses its blanks.
std::string CutComment(std::string& line) {
  const std::size_t hash = line.find('#');
  if (hash == std::string::npos) return {};
  std::string comment = line.substr(hash);
  line = WithoutBlanks(line.substr(0, hash));
  return comment;
}

// Whole hex bytes, two characters each (the last may be one): what the
// executor will send. In expected data an X stands for a digit to capture.
bool IsHexField(std::string field, bool masks) {
  if (masks) std::replace(field.begin(), field.end(), 'X', '0');
  for (std::size_t i = 0; i < field.size(); i += 2) {
    if (!ParseHex(std::string_view(field).substr(i, 2), 0xFF)) return false;
  }
  return true;
}

std::string Quoted(const char* column, const std::string& field) {
  return std::string(column) + " \"" + field + "\"";
}

// Why a field of an odd number of digits does not send what it seems to, or "".
std::string OddLengthNote(const char* column, const std::string& field, int bytes, bool expected) {
  if (field.size() % 2 == 0 || field.find('X') != std::string::npos) return {};
  const std::string shown = Quoted(column, field) + " has an odd number of digits: ";
  if (expected) return shown + "it can never equal the " + std::to_string(bytes) + " bytes read";
  if (2 * static_cast<std::size_t>(bytes) < field.size())
    return shown + "its last digit is not sent";
  return shown + "its last digit is sent as a byte of its own (0" + field.back() + ")";
}

// What expected data with X does other than the writer may think, or "". A
// row with an X compares nothing: it captures the byte (XX) or the 16-bit
// value, low byte first (XXXX), at its first X.
std::string MaskNote(const std::string& expect) {
  const std::size_t x = expect.find('X');
  if (x == std::string::npos) return {};
  const std::string shown = Quoted("Data_Rd", expect);
  if (expect.find("XX") == std::string::npos) {
    return shown + " has an X but no XX: the row compares nothing and captures nothing";
  }
  if (x % 2 != 0) {
    return shown + ": the X's start inside a byte, so the value captured mixes two bytes";
  }
  if (expect.find_first_not_of('X') != std::string::npos) {
    return shown + ": a row with an X compares nothing, so its hex digits are not checked";
  }
  return {};
}

// Makes the row an error row: its operation and the reason after its comment,
// both red; it sends nothing.
void MarkError(RowBuilder& r, const std::string& operation, const std::string& reason, int line,
               LoadedScript& script) {
  r[kColOperation] = {operation, kCellRed, 1};
  r[kColComment] = {r[kColComment].text + reason, kCellRed, 0};
  r.counts = {};
  r.counts.kind = RowKind::Error;
  script.notes.push_back({line, true, reason});
}

void Warn(const std::string& note, int line, LoadedScript& script) {
  if (!note.empty()) script.notes.push_back({line, false, note});
}

// A command line: the command mark, a letter and what follows, without blanks.
void ParseCommand(const std::string& line, RowBuilder& r, std::string& currentAddress, int row,
                  LoadedScript& script) {
  r[kColOperation].text = "Cmd:";
  const char command = line.size() >= 2 ? line[1] : '\0';
  if (command == 'A') {
    r[kColOperation].text = "Cmd:Set I2C Adr";
    // Two digits set this row's address; anything else sets "0" and the last
    // character from the next row on.
    const bool here = line.size() == 4;
    const std::string address = Upper(here ? line.substr(2) : "0" + line.substr(line.size() - 1));
    // FF is no address for a row: its read address would be 00.
    if (!ParseHex(address, 0xFE)) {
      MarkError(r, "Error I2C_Adr",
                "Address Error: " + line + " gives the address \"" + address +
                    "\", which is not an I2C address (hex, 00 to FE)",
                row, script);
      return;
    }
    currentAddress = address;
    if (here) r[kColI2CAdr].text = address;
  } else if (command == 'w' && line.size() == 2) {
    r[kColOperation].text = "Cmd: Delay Keypress";
    r.counts.delay = -1;
    r.counts.kind = RowKind::Pause;
  } else if (command == 'w') {
    const std::string delayText = Upper(line.substr(2));
    if (!IsNumeric(delayText)) {
      MarkError(r, "Error Delay_Time", "Delay Error: Time not numeric", row, script);
      return;
    }
    const double delay = NumericValue(delayText);
    if (!(delay >= 0 && delay <= kMaxDelayMs) || delay != std::floor(delay)) {
      MarkError(r, "Error Delay_Time",
                "Delay Error: " + delayText + " is not a whole number of milliseconds from 0 to " +
                    std::to_string(kMaxDelayMs),
                row, script);
      return;
    }
    r.counts.delay = static_cast<int16_t>(delay);
    r.counts.kind = RowKind::Delay;
    r[kColOperation].text = "Cmd:Delay :" + delayText + ": mSec";
  }
}

// A register line without its comment and blanks: register, write and
// expected fields.
void ParseRegisterLine(const std::string& line, RowBuilder& r, const std::string& comment, int row,
                       LoadedScript& script) {
  const std::vector<std::string> fields = SplitFields(line, 11, ',');
  std::string& operation = r[kColOperation].text;

  const std::string reg = PadHexField(fields[0], false);
  r[kColRegAdr].text = reg;
  if (reg.size() >= 2) {
    r.counts.regBytes = FieldByteCount(reg);
    operation = " Reg:" + std::to_string(r.counts.regBytes);
  } else {
    operation.clear();
    r[kColComment].text = "No Internal Register" + comment;
  }

  const std::string write = PadHexField(fields[1], true);
  r[kColDataWr].text = write;
  if (write.size() >= 2) {
    r.counts.writeBytes = FieldByteCount(write);
    operation += " W:" + std::to_string(r.counts.writeBytes);
  }

  const std::string expect = PadHexField(fields[2], true);
  r[kColDataRd].text = expect;
  if (!expect.empty()) {
    ++script.totalReads;
    r[kColActRd].text = kNoReading;
  }
  if (expect.size() >= 2) {
    r.counts.readBytes = FieldByteCount(expect);
    operation += " R:" + std::to_string(r.counts.readBytes);
  }

  const int written = r.counts.writeBytes == 0 ? 0 : r.counts.regBytes + r.counts.writeBytes;
  std::string error;
  if (!IsHexField(reg, false)) {
    error = "Hex Error: " + Quoted("Reg Adr", reg) + " is not hex";
  } else if (!IsHexField(write, false)) {
    error = "Hex Error: " + Quoted("Data_Wr", write) + " is not hex";
  } else if (!IsHexField(expect, true)) {
    error = "Hex Error: " + Quoted("Data_Rd", expect) + " is not hex (X marks a digit to capture)";
  } else if (written > kMaxRowWriteBytes) {
    error = "Size Error: " + std::to_string(written) + " bytes to write (register and data); a " +
            "write carries at most " + std::to_string(kMaxRowWriteBytes);
  } else if (r.counts.readBytes > 0 && r.counts.regBytes > kMaxRowWriteBytes) {
    error = "Size Error: " + std::to_string(r.counts.regBytes) + " register bytes before a read; " +
            "a frame carries at most " + std::to_string(kMaxRowWriteBytes);
  } else if (r.counts.readBytes > kMaxRowReadBytes) {
    error = "Size Error: " + std::to_string(r.counts.readBytes) + " bytes to read; a read asks " +
            "for at most " + std::to_string(kMaxRowReadBytes);
  }
  if (!error.empty()) {
    MarkError(r, error[0] == 'H' ? "Error Hex_Data" : "Error Row_Size", error, row, script);
    return;
  }
  Warn(OddLengthNote("Reg Adr", reg, r.counts.regBytes, false), row, script);
  Warn(OddLengthNote("Data_Wr", write, r.counts.writeBytes, false), row, script);
  Warn(OddLengthNote("Data_Rd", expect, r.counts.readBytes, true), row, script);
  Warn(MaskNote(expect), row, script);
}

}  // namespace

std::vector<std::string> SplitFields(std::string_view text, int count, char delimiter) {
  std::vector<std::string> fields(static_cast<std::size_t>(std::max(count, 0)));
  std::string work(text);
  work.push_back(delimiter);
  if (work.size() <= 1) return fields;
  std::size_t start = 0;
  for (auto& field : fields) {
    if (start >= work.size()) break;
    const std::size_t end = work.find(delimiter, start);
    field = work.substr(start, end - start);
    start = end + 1;
  }
  return fields;
}

std::vector<std::string> SplitScriptLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

std::variant<std::vector<std::string>, std::string> ScriptLinesFromBytes(std::string_view bytes) {
  // Windows editors put a byte-order mark in front of UTF-8 text.
  const std::string_view utf8Mark = "\xEF\xBB\xBF";
  const std::string_view text = bytes.starts_with(utf8Mark) ? bytes.substr(3) : bytes;
  if (text.starts_with(std::string_view("\xFF\xFE\0\0", 4)) ||
      text.starts_with(std::string_view("\0\0\xFE\xFF", 4))) {
    return std::string("it is UTF-32 text; save it as plain text (ASCII or UTF-8)");
  }
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
    return std::string("it is UTF-16 text; save it as plain text (ASCII or UTF-8)");
  }
  if (const std::size_t nul = bytes.find('\0'); nul != std::string_view::npos) {
    return "it is not a text file: byte " + std::to_string(nul + 1) +
           " is a NUL byte (UTF-16 text and binary files hold them)";
  }
  return SplitScriptLines(text);
}

std::variant<std::vector<std::string>, std::string> ReadScriptLines(const std::string& path) {
  auto failure = [&path](const char* what, int error) {
    return std::string("Cannot ") + what + " the script file \"" + path +
           "\": " + std::generic_category().message(error);
  };
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return failure("open", errno != 0 ? errno : EIO);
  // A file picked by mistake (a log, a binary) is read only as far as it takes
  // to know it is too long to be a script.
  constexpr std::size_t kEnough = (kMaxScriptLines + 1) * (kMaxLineLength + 2);
  constexpr std::size_t kEnoughLineEnds = 2 * (kMaxScriptLines + 1);
  std::string text;
  std::size_t lineEnds = 0;
  char buffer[65536];
  std::size_t n = 0;
  while (text.size() < kEnough && lineEnds <= kEnoughLineEnds &&
         (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    text.append(buffer, n);
    lineEnds += static_cast<std::size_t>(
        std::count_if(buffer, buffer + n, [](char c) { return c == '\r' || c == '\n'; }));
  }
  // A folder opens on Linux and only fails here, with EISDIR.
  const int error = std::ferror(file) != 0 ? (errno != 0 ? errno : EIO) : 0;
  std::fclose(file);
  if (error != 0) return failure("read", error);
  auto lines = ScriptLinesFromBytes(text);
  if (auto* why = std::get_if<std::string>(&lines)) {
    return "Cannot load the script file \"" + path + "\": " + *why + ". Nothing was loaded.";
  }
  return lines;
}

std::variant<LoadedScript, std::string> ParseScript(const std::vector<std::string>& lines,
                                                    const std::string& addressText) {
  if (lines.size() > static_cast<std::size_t>(kMaxScriptLines)) {
    return "The script has more than " + std::to_string(kMaxScriptLines) +
           " lines, the most a script can have. Nothing was loaded.";
  }
  LoadedScript script;
  std::string currentAddress = addressText;
  int row = 0;
  for (std::string line : lines) {
    ++row;
    if (line.size() > kMaxLineLength) {
      return "Line " + std::to_string(row) + " of the script is longer than " +
             std::to_string(kMaxLineLength) + " characters. Nothing was loaded.";
    }
    RowBuilder r;
    r[kColLine] = {LineNumberText(row), kButtonFace, 1};
    r[kColOperation] = {"NOP", std::nullopt, 1};
    r[kColI2CAdr] = {currentAddress, std::nullopt, 1};
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\t' || c == '\x0f'; }, ' ');

    if (line.empty()) {
      r[kColComment].text = "Script File has a blank line";
    } else if (const std::size_t first = line.find_first_not_of(' ');
               first != std::string::npos && line[first] == kCommandMark) {
      // An indented command is a command too.
      r[kColComment].text = CutComment(line);
      // Blanks mean nothing in a command, after it least of all.
      ParseCommand(WithoutBlanks(line), r, currentAddress, row, script);
    } else {
      const std::string comment = CutComment(line);
      r[kColComment].text = comment;
      if (!line.empty()) ParseRegisterLine(WithoutBlanks(line), r, comment, row, script);
    }
    script.rows.push_back(std::move(r.cells));
    script.counts.push_back(r.counts);
  }
  return script;
}

std::variant<ScriptLoad, std::string> LoadScript(const std::string& path,
                                                 const std::string& addressText) {
  auto read = ReadScriptLines(path);
  if (auto* error = std::get_if<std::string>(&read)) return std::move(*error);
  ScriptLoad load{std::move(std::get<std::vector<std::string>>(read)), {}};
  auto parsed = ParseScript(load.lines, addressText);
  if (auto* error = std::get_if<std::string>(&parsed)) {
    return "Cannot load the script file \"" + path + "\": " + *error;
  }
  load.script = std::move(std::get<LoadedScript>(parsed));
  return load;
}

}  // namespace kps
