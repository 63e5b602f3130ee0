// The script file: plain text lines of I2C operations. A register line holds
// comma-separated hex fields (register address, data to write, data expected
// back, with "X" for bytes that are captured instead of compared); a line
// starting with the command mark "`" sets the I2C address, waits or pauses;
// "#" starts a comment. This header turns the lines into the rows of the
// script table and the per-row byte counts the executor works from; it reads
// files but talks to no board.
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

// Per-row values of a loaded script, for row r at index r - 1.
struct ScriptRowCounts {
  int16_t regBytes = 0;    // register-address bytes
  int16_t writeBytes = 0;  // data bytes to write
  int16_t readBytes = 0;   // bytes to read
  // -1 waits for the user; 1 and more is a delay in milliseconds; 0 neither.
  int16_t delay = 0;
};

// What a load puts into the table and the window.
struct LoadedScript {
  std::vector<std::vector<ScriptCell>> rows;  // nine cells each
  std::vector<ScriptRowCounts> counts;        // one per row
  int totalReads = 0;                         // rows with an expected-read field
};

// Splits `text` at `delimiter` into exactly `count` fields; missing fields are
// empty and text past the last field is dropped.
std::vector<std::string> SplitFields(std::string_view text, int count, char delimiter);

// The lines of a script's text. A line ends at CR LF, a lone CR or a lone LF;
// text after the last line end is one more line, and an empty text has none.
std::vector<std::string> SplitScriptLines(std::string_view text);

// The lines of the file, or a message that says why they could not be read.
std::variant<std::vector<std::string>, std::string> ReadScriptLines(const std::string& path);

// The table rows of these lines, with `addressText` (the program's I2C write
// address in hex, "88") as the address of every row before the first address
// command. A message instead when the script cannot be loaded as a whole: more
// than kMaxScriptLines lines, or a delay outside -32768 .. 32767 ms.
std::variant<LoadedScript, std::string> ParseScript(const std::vector<std::string>& lines,
                                                    const std::string& addressText);

}  // namespace kps
