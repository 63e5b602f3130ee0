#include "scripting/script_file.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <sstream>
#include <tuple>

#include "support/file_text.h"

namespace kps {
namespace {

constexpr auto npos = std::string::npos;
const std::string kDelayError = "Delay Error: Time not numeric";

std::string Show(const std::vector<ScriptCell>& row) {
  std::ostringstream out;
  for (const ScriptCell& cell : row) {
    out << '"' << cell.text << '"';
    if (cell.back) out << " bg" << +cell.back->r << ',' << +cell.back->g << ',' << +cell.back->b;
    out << " c" << cell.code << " | ";
  }
  return out.str();
}

// A row as the loader writes it: `texts` are I2C Adr .. Comment; the Line cell is the button
// face, Line, I2C Adr and Operation carry code 1, AD Decimal stays empty.
std::vector<ScriptCell> Row(const std::string& line, const std::array<std::string, 7>& texts,
                            bool red = false) {
  std::vector<ScriptCell> row(kScriptColumnCount);
  row[kColLine - 1] = {line, kButtonFace, 1};
  for (int c = kColI2CAdr; c <= kColComment; ++c) row[c - 1].text = texts[c - kColI2CAdr];
  row[kColI2CAdr - 1].code = row[kColOperation - 1].code = 1;
  if (red) row[kColOperation - 1].back = row[kColComment - 1].back = kCellRed;
  return row;
}

auto Counts(const ScriptRowCounts& c) {
  return std::make_tuple(c.regBytes, c.writeBytes, c.readBytes, c.delay);
}

LoadedScript Load(const std::vector<std::string>& lines, const std::string& address = "88") {
  auto result = ParseScript(lines, address);
  if (const auto* message = std::get_if<std::string>(&result)) {
    ADD_FAILURE() << "load refused: " << *message;
    return {};
  }
  return std::get<LoadedScript>(std::move(result));
}

std::string Refusal(const std::vector<std::string>& lines) {
  auto result = ParseScript(lines, "88");
  const auto* message = std::get_if<std::string>(&result);
  return message ? *message : "(loaded)";
}

// The loader's notes, one a line: "error: ..." or "warning: ...".
std::string Notes(const LoadedScript& loaded) {
  std::string text;
  for (const ScriptNote& note : loaded.notes) {
    text += (note.error ? "error: " : "warning: ") + note.text + "\n";
  }
  return text;
}

struct LineCase {
  std::string line;
  // I2C Adr, Reg Adr, Data_Wr, Data_Rd, Act_Rd, Operation, Comment.
  std::array<std::string, 7> cells;
  std::tuple<int, int, int, int> counts;  // reg, write, read bytes; delay
  bool red = false;                       // an error row: the comment ends in its note
  std::string warnings = "";              // the notes of a row that is no error row
};

TEST(ScriptFileTest, EachLineGivesItsRow) {
  const std::string noReg = "No Internal Register";
  const std::string hex = "Hex Error: ";
  const std::string delayRange = " is not a whole number of milliseconds from 0 to 32767";
  // Frames of the most bytes their count byte allows, and one byte more.
  const std::string b253(506, 'A'), b254(508, 'A'), b255(510, 'A'), b256(512, 'A');
  const std::string tooMany = " bytes to write (register and data); a write carries at most 254";
  const LineCase cases[] = {
      // Register lines: blanks go, short fields get a leading zero, hex is upper case.
      {"8,5", {"88", "08", "05", "", "", " Reg:1 W:1", ""}, {1, 1, 0, 0}},
      {"08,,XX", {"88", "08", "", "XX", "--", " Reg:1 R:1", ""}, {1, 0, 1, 0}},
      {"08,,XXXX", {"88", "08", "", "XXXX", "--", " Reg:1 R:2", ""}, {1, 0, 2, 0}},
      {"10", {"88", "10", "", "", "", " Reg:1", ""}, {1, 0, 0, 0}},
      {"10,05,XX,99,77", {"88", "10", "05", "XX", "--", " Reg:1 W:1 R:1", ""}, {1, 1, 1, 0}},
      {"  10 , 05  # init", {"88", "10", "05", "", "", " Reg:1 W:1", "# init"}, {1, 1, 0, 0}},
      {"10#a#b, c", {"88", "10", "", "", "", " Reg:1", "#a#b, c"}, {1, 0, 0, 0}},
      // X forms that compare or capture less than they seem to load with a warning.
      {"0a,b,x",
       {"88", "0A", "0B", "0X", "--", " Reg:1 W:1 R:1", ""},
       {1, 1, 1, 0},
       false,
       "Data_Rd \"0X\" has an X but no XX: the row compares nothing and captures nothing"},
      {"08,,1X2X",
       {"88", "08", "", "1X2X", "--", " Reg:1 R:2", ""},
       {1, 0, 2, 0},
       false,
       "Data_Rd \"1X2X\" has an X but no XX: the row compares nothing and captures nothing"},
      {"08,,XXX",
       {"88", "08", "", "0XXX", "--", " Reg:1 R:2", ""},
       {1, 0, 2, 0},
       false,
       "Data_Rd \"0XXX\": the X's start inside a byte, so the value captured mixes two bytes"},
      {"08,,00XX",
       {"88", "08", "", "00XX", "--", " Reg:1 R:2", ""},
       {1, 0, 2, 0},
       false,
       "Data_Rd \"00XX\": a row with an X compares nothing, so its hex digits are not checked"},
      // Odd lengths: a byte per two characters, halves to even; 1 and 3 characters are padded
      // in the data fields, only 1 in the register field.
      {"123,123,123",
       {"88", "123", "0123", "0123", "--", " Reg:2 W:2 R:2", ""},
       {2, 2, 2, 0},
       false,
       "Reg Adr \"123\" has an odd number of digits: its last digit is sent as a byte of its own "
       "(03)"},
      {"12345,12345,12345",
       {"88", "12345", "12345", "12345", "--", " Reg:2 W:2 R:2", ""},
       {2, 2, 2, 0},
       false,
       "Reg Adr \"12345\" has an odd number of digits: its last digit is not sent\n"
       "warning: Data_Wr \"12345\" has an odd number of digits: its last digit is not sent\n"
       "warning: Data_Rd \"12345\" has an odd number of digits: it can never equal the 2 bytes "
       "read"},
      {"1234567,12345678",
       {"88", "1234567", "12345678", "", "", " Reg:4 W:4", ""},
       {4, 4, 0, 0},
       false,
       "Reg Adr \"1234567\" has an odd number of digits: its last digit is sent as a byte of its "
       "own (07)"},
      // No register address.
      {",05", {"88", "", "05", "", "", " W:1", noReg}, {0, 1, 0, 0}},
      {",,XX # rd", {"88", "", "", "XX", "--", " R:1", noReg + "# rd"}, {0, 0, 1, 0}},
      {"   ", {"88", "", "", "", "", "", noReg}, {0, 0, 0, 0}},
      // TAB and code 15 are blanks, in the fields and in the comment.
      {"\t10,\x0f"
       "05 #a\tb\x0f",
       {"88", "10", "05", "", "", " Reg:1 W:1", "#a b "},
       {1, 1, 0, 0}},
      // A field that is not hex makes an error row that sends nothing; the first bad field
      // is named.
      {"hello",
       {"88", "HELLO", "", "", "", "Error Hex_Data", hex + "Reg Adr \"HELLO\" is not hex"},
       {0, 0, 0, 0},
       true},
      {"01,ZZ # w",
       {"88", "01", "ZZ", "", "", "Error Hex_Data", "# w" + hex + "Data_Wr \"ZZ\" is not hex"},
       {0, 0, 0, 0},
       true},
      {"0x10,05",
       {"88", "0X10", "05", "", "", "Error Hex_Data", hex + "Reg Adr \"0X10\" is not hex"},
       {0, 0, 0, 0},
       true},
      {",,1G",
       {"88", "", "", "1G", "--", "Error Hex_Data",
        noReg + hex + "Data_Rd \"1G\" is not hex (X marks a digit to capture)"},
       {0, 0, 0, 0},
       true},
      // Frames up to their count byte's limit; one byte more is an error row.
      {"10," + b253, {"88", "10", b253, "", "", " Reg:1 W:253", ""}, {1, 253, 0, 0}},
      {"10," + b254,
       {"88", "10", b254, "", "", "Error Row_Size", "Size Error: 255" + tooMany},
       {0, 0, 0, 0},
       true},
      {"10,," + b255, {"88", "10", "", b255, "--", " Reg:1 R:255", ""}, {1, 0, 255, 0}},
      {"10,," + b256,
       {"88", "10", "", b256, "--", "Error Row_Size",
        "Size Error: 256 bytes to read; a read asks for at most 255"},
       {0, 0, 0, 0},
       true},
      // Comment-only and blank lines do nothing.
      {"#note", {"88", "", "", "", "", "NOP", "#note"}, {0, 0, 0, 0}},
      {"  # c, d", {"88", "", "", "", "", "NOP", "# c, d"}, {0, 0, 0, 0}},
      {"", {"88", "", "", "", "", "NOP", "Script File has a blank line"}, {0, 0, 0, 0}},
      // Commands; blanks and tabs in and after them mean nothing.
      {" \t`A8A", {"8A", "", "", "", "", "Cmd:Set I2C Adr", ""}, {0, 0, 0, 0}},
      {"`A 8a # set", {"8A", "", "", "", "", "Cmd:Set I2C Adr", "# set"}, {0, 0, 0, 0}},
      {"`AZZ",
       {"88", "", "", "", "", "Error I2C_Adr",
        "Address Error: `AZZ gives the address \"ZZ\", which is not an I2C address (hex, 00 "
        "to FE)"},
       {0, 0, 0, 0},
       true},
      {"`AFF",  // FF would read at 00
       {"88", "", "", "", "", "Error I2C_Adr",
        "Address Error: `AFF gives the address \"FF\", which is not an I2C address (hex, 00 "
        "to FE)"},
       {0, 0, 0, 0},
       true},
      {"`w", {"88", "", "", "", "", "Cmd: Delay Keypress", ""}, {0, 0, 0, -1}},
      {"`w#wait", {"88", "", "", "", "", "Cmd: Delay Keypress", "#wait"}, {0, 0, 0, -1}},
      {"`w250", {"88", "", "", "", "", "Cmd:Delay :250: mSec", ""}, {0, 0, 0, 250}},
      {"`w 250 # x", {"88", "", "", "", "", "Cmd:Delay :250: mSec", "# x"}, {0, 0, 0, 250}},
      {"`w250\t ", {"88", "", "", "", "", "Cmd:Delay :250: mSec", ""}, {0, 0, 0, 250}},
      {"`w1e3", {"88", "", "", "", "", "Cmd:Delay :1E3: mSec", ""}, {0, 0, 0, 1000}},
      {"`w32767", {"88", "", "", "", "", "Cmd:Delay :32767: mSec", ""}, {0, 0, 0, 32767}},
      {"`w0", {"88", "", "", "", "", "Cmd:Delay :0: mSec", ""}, {0, 0, 0, 0}},
      // A delay is a whole number of milliseconds from 0 to 32767; anything else is an error.
      {"`wabc", {"88", "", "", "", "", "Error Delay_Time", kDelayError}, {0, 0, 0, 0}, true},
      {"`w12a", {"88", "", "", "", "", "Error Delay_Time", kDelayError}, {0, 0, 0, 0}, true},
      {"`w-5",
       {"88", "", "", "", "", "Error Delay_Time", "Delay Error: -5" + delayRange},
       {0, 0, 0, 0},
       true},
      {"`w2.5",
       {"88", "", "", "", "", "Error Delay_Time", "Delay Error: 2.5" + delayRange},
       {0, 0, 0, 0},
       true},
      {"`w32768 # x",
       {"88", "", "", "", "", "Error Delay_Time", "# xDelay Error: 32768" + delayRange},
       {0, 0, 0, 0},
       true},
      {"`w1e9",
       {"88", "", "", "", "", "Error Delay_Time", "Delay Error: 1E9" + delayRange},
       {0, 0, 0, 0},
       true},
      // Unknown commands, and the command letters in the wrong case.
      {"`", {"88", "", "", "", "", "Cmd:", ""}, {0, 0, 0, 0}},
      {"`x10,05", {"88", "", "", "", "", "Cmd:", ""}, {0, 0, 0, 0}},
      {"`a8A", {"88", "", "", "", "", "Cmd:", ""}, {0, 0, 0, 0}},
      {"`W250", {"88", "", "", "", "", "Cmd:", ""}, {0, 0, 0, 0}},
  };
  for (const LineCase& c : cases) {
    SCOPED_TRACE("line \"" + c.line + "\"");
    const LoadedScript loaded = Load({c.line});
    ASSERT_EQ(loaded.rows.size(), 1u);
    ASSERT_EQ(loaded.counts.size(), 1u);
    EXPECT_EQ(Show(loaded.rows[0]), Show(Row("001", c.cells, c.red)));
    EXPECT_EQ(Counts(loaded.counts[0]), c.counts);
    EXPECT_EQ(loaded.totalReads, c.cells[kColActRd - kColI2CAdr] == "--" ? 1 : 0);
    // An error row's reason is its note, at the end of its comment; other rows may warn.
    EXPECT_EQ(loaded.counts[0].kind == RowKind::Error, c.red);
    if (c.red) {
      ASSERT_EQ(loaded.notes.size(), 1u);
      EXPECT_TRUE(loaded.notes[0].error);
      EXPECT_TRUE(c.cells[kColComment - kColI2CAdr].ends_with(loaded.notes[0].text))
          << loaded.notes[0].text;
    } else {
      EXPECT_EQ(Notes(loaded), c.warnings.empty() ? "" : "warning: " + c.warnings + "\n");
    }
  }
}

TEST(ScriptFileTest, AddressCommandsSetTheFollowingRows) {
  const std::vector<std::string> lines = {
      "10,05", "`A8A", "10,05", "`A8",  "10,05", "`A", "10,05",
      "`A12b", "10",   "`A8a",  "`a55", "`A5",   "",   "#x",
  };
  const std::vector<std::string> addresses = {
      "3C", "8A", "8A", "8A", "08", "08", "0A", "0A", "0B", "8A", "8A", "8A", "05", "05",
  };
  const LoadedScript loaded = Load(lines, "3C");
  ASSERT_EQ(loaded.rows.size(), lines.size());
  for (size_t r = 0; r < lines.size(); ++r) {
    EXPECT_EQ(loaded.rows[r][kColI2CAdr - 1].text, addresses[r]) << "row " << r + 1;
  }
}

TEST(ScriptFileTest, RowsAreNumberedAndReadsCounted) {
  EXPECT_TRUE(Load({}).rows.empty());
  EXPECT_TRUE(Load({}).counts.empty());

  // The most lines a script may have; every row is numbered in at least three digits.
  std::vector<std::string> lines(kMaxScriptLines, "10,05");
  lines[0] = "08,,XX";
  lines[9] = ",,1";
  lines[99] = "`w";
  lines[499] = "01,ZZ";
  lines[998] = "08,,XXXX # last read";
  lines[999] = "";
  const LoadedScript loaded = Load(lines);
  ASSERT_EQ(loaded.rows.size(), 1000u);
  ASSERT_EQ(loaded.counts.size(), 1000u);
  EXPECT_EQ(loaded.totalReads, 3);
  const std::pair<int, const char*> numbers[] = {
      {1, "001"}, {9, "009"}, {10, "010"}, {99, "099"}, {100, "100"}, {999, "999"}, {1000, "1000"}};
  for (auto [row, text] : numbers) {
    EXPECT_EQ(loaded.rows[row - 1][kColLine - 1], (ScriptCell{text, kButtonFace, 1}));
  }
  EXPECT_EQ(Show(loaded.rows[9]),
            Show(Row("010", {"88", "", "", "01", "--", " R:1", "No Internal Register"})));
  EXPECT_EQ(Counts(loaded.counts[99]), std::make_tuple(0, 0, 0, -1));
  ASSERT_EQ(loaded.notes.size(), 1u);
  EXPECT_EQ(loaded.notes[0].line, 500);
  EXPECT_EQ(Counts(loaded.counts[998]), std::make_tuple(1, 0, 2, 0));
  EXPECT_EQ(Show(loaded.rows[999]),
            Show(Row("1000", {"88", "", "", "", "", "NOP", "Script File has a blank line"})));

  lines.push_back("10,05");
  EXPECT_NE(Refusal(lines).find("1000"), npos);
}

TEST(ScriptFileTest, SplitFieldsGivesExactlyTheAskedCount) {
  using V = std::vector<std::string>;
  const std::tuple<std::string, int, char, V> cases[] = {
      {"a,b,c", 3, ',', {"a", "b", "c"}},
      {"a,b", 4, ',', {"a", "b", "", ""}},
      {"", 3, ',', {"", "", ""}},
      {"a,,b", 3, ',', {"a", "", "b"}},
      {"a,b,", 3, ',', {"a", "b", ""}},
      {"a,,", 4, ',', {"a", "", "", ""}},
      {" a , b", 2, ',', {" a ", " b"}},
      {"1;2,3", 3, ';', {"1", "2,3", ""}},
      {"a,b", 0, ',', {}},
  };
  for (const auto& [text, count, delimiter, expected] : cases) {
    EXPECT_EQ(SplitFields(text, count, delimiter), expected) << '"' << text << "\" " << count;
  }
}

TEST(ScriptFileTest, TextEndsLinesAtCrLfLoneCrOrLfAndIsRefusedWhenItIsNoText) {
  using V = std::vector<std::string>;
  using Result = std::variant<V, std::string>;
  const std::string utf16 = "it is UTF-16 text; save it as plain text (ASCII or UTF-8)";
  const std::string utf32 = "it is UTF-32 text; save it as plain text (ASCII or UTF-8)";
  const std::string nul = " is a NUL byte (UTF-16 text and binary files hold them)";
  const std::pair<std::string, Result> cases[] = {
      {"", V{}},
      {"A", V{"A"}},
      {"A\r\n", V{"A"}},
      {"A\r\n\r\n", V{"A", ""}},
      {"A\rB\r", V{"A", "B"}},
      {"A\nB\n", V{"A", "B"}},
      {"A\r\rB", V{"A", "", "B"}},
      {"A\n\rB", V{"A", "", "B"}},
      {"\r\n", V{""}},
      {"\r\r\n", V{"", ""}},
      {" A \t\x0f\r\n", V{" A \t\x0f"}},
      // A UTF-8 byte-order mark is no part of the first line; elsewhere it is kept.
      {"\xEF\xBB\xBF`A8A\r\n10,05", V{"`A8A", "10,05"}},
      {"\xEF\xBB\xBF", V{}},
      {"A\n\xEF\xBB\xBF", V{"A", "\xEF\xBB\xBF"}},
      {"#\xB5s \xC2\xB5s", V{"#\xB5s \xC2\xB5s"}},
      // UTF-16 and UTF-32 (with or without their mark) and binary files are no scripts.
      {"\xFF\xFE`\0A\0", utf16},
      {"\xFE\xFF\0`\0A", utf16},
      {"\xEF\xBB\xBF\xFF\xFE`\0", utf16},
      {std::string("\xFF\xFE\0\0`\0\0\0", 8), utf32},
      {std::string("\0\0\xFE\xFF", 4), utf32},
      {std::string("`\0A\0", 4), "it is not a text file: byte 2" + nul},
      {std::string("10,05\r\n\x7F"
                   "ELF\x02\x01\0",
                   14),
       "it is not a text file: byte 14" + nul},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(ScriptLinesFromBytes(text), expected) << testing::PrintToString(text);
  }
}

TEST(ScriptFileTest, ReadScriptLinesKeepsTheBytesOrSaysWhyNot) {
  const test::ScratchDir dir("script_lines");
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return dir / name;
  };
  using V = std::vector<std::string>;
  using Result = std::variant<V, std::string>;
  EXPECT_EQ(ReadScriptLines(write("a.txt", "10,05\r\n\t`w\rC\nD\xb5")),
            Result(V{"10,05", "\t`w", "C", "D\xb5"}));
  EXPECT_EQ(ReadScriptLines(write("empty.txt", "")), Result(V{}));
  EXPECT_EQ(ReadScriptLines(write("one.txt", "\r\n")), Result(V{""}));
  const std::string utf16 = write("utf16.txt", std::string("\xFF\xFE"
                                                           "1\0"
                                                           "0\0",
                                                           6));
  EXPECT_EQ(ReadScriptLines(utf16),
            Result("Cannot load the script file \"" + utf16 +
                   "\": it is UTF-16 text; save it as plain text (ASCII or UTF-8). Nothing was "
                   "loaded."));

  const std::string missing = dir / "none.txt";
  const Result failed = ReadScriptLines(missing);
  ASSERT_TRUE(std::holds_alternative<std::string>(failed));
  EXPECT_NE(std::get<std::string>(failed).find(missing), npos) << std::get<std::string>(failed);
  EXPECT_NE(std::get<std::string>(failed).find("No such file or directory"), npos);
  // A folder opens on some systems and only fails when read.
  const Result folder = ReadScriptLines(dir.path.string());
  ASSERT_TRUE(std::holds_alternative<std::string>(folder));
  EXPECT_NE(std::get<std::string>(folder).find("Is a directory"), npos);
}

}  // namespace
}  // namespace kps
