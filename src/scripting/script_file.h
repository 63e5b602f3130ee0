// The script file: plain text lines of I2C operations. A register line holds
// comma-separated hex fields (register address, data to write, data expected
// back, with "X" for bytes that are captured instead of compared); a line
// starting with the command mark "`" sets the I2C address, waits or pauses;
// "#" starts a comment. This header turns the lines into the rows of the
// script table and the per-row byte counts the executor works from; it reads
// files but talks to no board. A line that cannot be run as written (a field
// that is not hex, a frame too long for its count byte, a delay that is no
// time) becomes an error row, red, that sends nothing and fails when run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "scripting/script_table.h"

namespace kps {

inline constexpr char kCommandMark = '`';
// The most lines a script may have: the per-row tables hold rows 1 to 1000.
inline constexpr int kMaxScriptLines = 1000;

// The most bytes a script row's frames carry: the write frame's count byte
// holds the bytes after the address byte, and the board acknowledges them
// with that count + 1 in one byte; a read asks for up to 255 bytes.
inline constexpr int kMaxRowWriteBytes = 254;
inline constexpr int kMaxRowReadBytes = 255;
// The longest delay row, in milliseconds.
inline constexpr int kMaxDelayMs = 32767;

enum class RowKind : uint8_t {
  Other,  // register rows, address commands, unknown commands, comments, blank lines
  Pause,  // `w: waits for the user
  Delay,  // `w<ms>: waits `delay` milliseconds
  Error,  // cannot be run as written: sends nothing, fails when run
};

// Per-row values of a loaded script, for row r at index r - 1.
struct ScriptRowCounts {
  int16_t regBytes = 0;    // register-address bytes
  int16_t writeBytes = 0;  // data bytes to write
  int16_t readBytes = 0;   // bytes to read
  // -1 for a pause; the milliseconds of a delay row (0 to kMaxDelayMs); 0 otherwise.
  int16_t delay = 0;
  RowKind kind = RowKind::Other;
};

// Something the loader found on a line: why an error row is one, or a row
// that loads and runs but probably does not do what its writer meant.
struct ScriptNote {
  int line = 0;
  bool error = false;
  std::string text;
};

// What a load puts into the table and the window.
struct LoadedScript {
  std::vector<std::vector<ScriptCell>> rows;  // nine cells each
  std::vector<ScriptRowCounts> counts;        // one per row
  int totalReads = 0;                         // rows with an expected-read field
  std::vector<ScriptNote> notes;              // in line order
};

// Splits `text` at `delimiter` into exactly `count` fields; missing fields are
// empty and text past the last field is dropped.
std::vector<std::string> SplitFields(std::string_view text, int count, char delimiter);

// The lines of a script's text. A line ends at CR LF, a lone CR or a lone LF;
// text after the last line end is one more line, and an empty text has none.
std::vector<std::string> SplitScriptLines(std::string_view text);

// The lines of a script file's bytes. A UTF-8 byte-order mark in front is
// skipped. Bytes that are no plain text (a UTF-16 or UTF-32 byte-order mark, a
// NUL byte anywhere) give a message instead, which says what was found.
std::variant<std::vector<std::string>, std::string> ScriptLinesFromBytes(std::string_view bytes);

// The lines of the file, or a message that says why they could not be read.
std::variant<std::vector<std::string>, std::string> ReadScriptLines(const std::string& path);

// The table rows of these lines, with `addressText` (the program's I2C write
// address in hex, "88") as the address of every row before the first address
// command. A message instead when the script cannot be loaded as a whole: more
// than kMaxScriptLines lines, or a line too long for the 16-bit byte counts.
std::variant<LoadedScript, std::string> ParseScript(const std::vector<std::string>& lines,
                                                    const std::string& addressText);

// A script file read and parsed, as the script window loads it.
struct ScriptLoad {
  std::vector<std::string> lines;  // as read
  LoadedScript script;
};
// The file at `path` loaded; a message for the user when it cannot be.
std::variant<ScriptLoad, std::string> LoadScript(const std::string& path,
                                                 const std::string& addressText);

}  // namespace kps
