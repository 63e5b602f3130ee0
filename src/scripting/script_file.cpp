#include "scripting/script_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
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
  return SplitScriptLines(text);
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
    const std::string where = "Line " + std::to_string(row) + " of the script ";
    if (line.size() > kMaxLineLength) {
      return where + "is longer than " + std::to_string(kMaxLineLength) +
             " characters. Nothing was loaded.";
    }
    RowBuilder r;
    r[kColLine] = {LineNumberText(row), kButtonFace, 1};
    r[kColOperation] = {"NOP", std::nullopt, 1};
    r[kColI2CAdr] = {currentAddress, std::nullopt, 1};
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\t' || c == '\x0f'; }, ' ');

    if (line.empty()) {
      r[kColComment].text = "Script File has a blank line";
    } else if (line[0] == kCommandMark) {
      r[kColOperation].text = "Cmd:";
      const std::string comment = CutComment(line);
      r[kColComment].text = comment;
      const char command = line.size() >= 2 ? line[1] : '\0';
      if (command == 'A') {
        r[kColOperation].text = "Cmd:Set I2C Adr";
        if (line.size() == 4) {
          currentAddress = Upper(line.substr(2));
          r[kColI2CAdr].text = currentAddress;
        } else {
          currentAddress = Upper("0" + line.substr(line.size() - 1));
        }
      } else if (command == 'w' && line.size() == 2) {
        r[kColOperation].text = "Cmd: Delay Keypress";
        r.counts.delay = -1;
      } else if (command == 'w') {
        const std::string delayText = Upper(line.substr(2));
        if (IsNumeric(delayText)) {
          const long long delay = RoundHalfEven(NumericValue(delayText));
          if (delay < std::numeric_limits<int16_t>::min() ||
              delay > std::numeric_limits<int16_t>::max()) {
            return where + "asks for a delay of " + delayText +
                   " ms; a delay can be at most 32767 ms. Nothing was loaded.";
          }
          r.counts.delay = static_cast<int16_t>(delay);
          r[kColOperation].text = "Cmd:Delay :" + delayText + ": mSec";
        } else {
          r[kColOperation] = {"Error Delay_Time", kCellRed, 1};
          r[kColComment] = {comment + "Delay Error: Time not numeric", kCellRed, 0};
        }
      }
    } else {
      const std::string comment = CutComment(line);
      r[kColComment].text = comment;
      if (!line.empty()) {
        const std::vector<std::string> fields = SplitFields(WithoutBlanks(line), 11, ',');
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
      }
    }
    script.rows.push_back(std::move(r.cells));
    script.counts.push_back(r.counts);
  }
  return script;
}

}  // namespace kps
