#include "scripting/script_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>

namespace kps {
namespace {

namespace fs = std::filesystem;

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

struct LineCase {
  std::string line;
  // I2C Adr, Reg Adr, Data_Wr, Data_Rd, Act_Rd, Operation, Comment.
  std::array<std::string, 7> cells;
  std::tuple<int, int, int, int> counts;  // reg, write, read bytes; delay
  bool red = false;
};

TEST(ScriptFileTest, EachLineGivesItsRow) {
  const std::string noReg = "No Internal Register";
  const LineCase cases[] = {
      // Register lines: blanks go, short fields get a leading zero, hex is upper case.
      {"8,5", {"88", "08", "05", "", "", " Reg:1 W:1", ""}, {1, 1, 0, 0}},
      {"08,,XX", {"88", "08", "", "XX", "--", " Reg:1 R:1", ""}, {1, 0, 1, 0}},
      {"08,,XXXX", {"88", "08", "", "XXXX", "--", " Reg:1 R:2", ""}, {1, 0, 2, 0}},
      {"08,,xx", {"88", "08", "", "XX", "--", " Reg:1 R:1", ""}, {1, 0, 1, 0}},
      {"0a,b,x", {"88", "0A", "0B", "0X", "--", " Reg:1 W:1 R:1", ""}, {1, 1, 1, 0}},
      {"10", {"88", "10", "", "", "", " Reg:1", ""}, {1, 0, 0, 0}},
      {"10,05,XX,99,77", {"88", "10", "05", "XX", "--", " Reg:1 W:1 R:1", ""}, {1, 1, 1, 0}},
      {"  10 , 05  # init", {"88", "10", "05", "", "", " Reg:1 W:1", "# init"}, {1, 1, 0, 0}},
      {"10#a#b, c", {"88", "10", "", "", "", " Reg:1", "#a#b, c"}, {1, 0, 0, 0}},
      // Odd lengths: a byte per two characters, halves to even; 1 and 3 characters are padded
      // in the data fields, only 1 in the register field.
      {"123,123,123", {"88", "123", "0123", "0123", "--", " Reg:2 W:2 R:2", ""}, {2, 2, 2, 0}},
      {"12345,12345,12345",
       {"88", "12345", "12345", "12345", "--", " Reg:2 W:2 R:2", ""},
       {2, 2, 2, 0}},
      {"1234567,1234567,1234567",
       {"88", "1234567", "1234567", "1234567", "--", " Reg:4 W:4 R:4", ""},
       {4, 4, 4, 0}},
      {"123456789,0a0b0c0d0e",
       {"88", "123456789", "0A0B0C0D0E", "", "", " Reg:4 W:5", ""},
       {4, 5, 0, 0}},
      // No register address.
      {",05", {"88", "", "05", "", "", " W:1", noReg}, {0, 1, 0, 0}},
      {",,XX # rd", {"88", "", "", "XX", "--", " R:1", noReg + "# rd"}, {0, 0, 1, 0}},
      {"   ", {"88", "", "", "", "", "", noReg}, {0, 0, 0, 0}},
      // TAB and code 15 are blanks, in the fields and in the comment; alone they are not a
      // blank line.
      {"\t10,\x0f"
       "05 #a\tb\x0f",
       {"88", "10", "05", "", "", " Reg:1 W:1", "#a b "},
       {1, 1, 0, 0}},
      {"\t", {"88", "", "", "", "", "", noReg}, {0, 0, 0, 0}},
      // A blank in front of the mark makes a register line of the command.
      {" `A8A", {"88", "`A8A", "", "", "", " Reg:2", ""}, {2, 0, 0, 0}},
      // Comment-only and blank lines do nothing.
      {"#note", {"88", "", "", "", "", "NOP", "#note"}, {0, 0, 0, 0}},
      {"  # c, d", {"88", "", "", "", "", "NOP", "# c, d"}, {0, 0, 0, 0}},
      {"", {"88", "", "", "", "", "NOP", "Script File has a blank line"}, {0, 0, 0, 0}},
      // Commands.
      {"`A8A", {"8A", "", "", "", "", "Cmd:Set I2C Adr", ""}, {0, 0, 0, 0}},
      {"`A 8a # set", {"8A", "", "", "", "", "Cmd:Set I2C Adr", "# set"}, {0, 0, 0, 0}},
      {"`A8", {"88", "", "", "", "", "Cmd:Set I2C Adr", ""}, {0, 0, 0, 0}},
      {"`A", {"88", "", "", "", "", "Cmd:Set I2C Adr", ""}, {0, 0, 0, 0}},
      {"`w", {"88", "", "", "", "", "Cmd: Delay Keypress", ""}, {0, 0, 0, -1}},
      {"`w#wait", {"88", "", "", "", "", "Cmd: Delay Keypress", "#wait"}, {0, 0, 0, -1}},
      {"`w250", {"88", "", "", "", "", "Cmd:Delay :250: mSec", ""}, {0, 0, 0, 250}},
      {"`w 250 # x", {"88", "", "", "", "", "Cmd:Delay :250: mSec", "# x"}, {0, 0, 0, 250}},
      {"`w2.5", {"88", "", "", "", "", "Cmd:Delay :2.5: mSec", ""}, {0, 0, 0, 2}},
      {"`w3.5", {"88", "", "", "", "", "Cmd:Delay :3.5: mSec", ""}, {0, 0, 0, 4}},
      {"`w1e3", {"88", "", "", "", "", "Cmd:Delay :1E3: mSec", ""}, {0, 0, 0, 1000}},
      {"`w32767", {"88", "", "", "", "", "Cmd:Delay :32767: mSec", ""}, {0, 0, 0, 32767}},
      {"`w-32768.5", {"88", "", "", "", "", "Cmd:Delay :-32768.5: mSec", ""}, {0, 0, 0, -32768}},
      {"`wabc", {"88", "", "", "", "", "Error Delay_Time", kDelayError}, {0, 0, 0, 0}, true},
      {"`w12a", {"88", "", "", "", "", "Error Delay_Time", kDelayError}, {0, 0, 0, 0}, true},
      {"`wabc # slow",
       {"88", "", "", "", "", "Error Delay_Time", "# slow" + kDelayError},
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
  EXPECT_EQ(Counts(loaded.counts[998]), std::make_tuple(1, 0, 2, 0));
  EXPECT_EQ(Show(loaded.rows[999]),
            Show(Row("1000", {"88", "", "", "", "", "NOP", "Script File has a blank line"})));

  lines.push_back("10,05");
  EXPECT_NE(Refusal(lines).find("1000"), npos);
}

TEST(ScriptFileTest, DelaysOutsideSixteenBitsRefuseTheLoad) {
  for (const std::string bad : {"`w40000", "`w32767.5", "`w-32769", "`w1e5", "`w40000 # x"}) {
    std::vector<std::string> lines(36, "10,05");
    lines.push_back(bad);
    lines.push_back("`w10");
    const std::string message = Refusal(lines);
    EXPECT_NE(message, "(loaded)") << bad;
    EXPECT_NE(message.find("37"), npos) << bad << ": " << message;
  }
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

TEST(ScriptFileTest, LinesEndAtCrLfLoneCrOrLf) {
  using V = std::vector<std::string>;
  const std::pair<std::string, V> cases[] = {
      {"", {}},
      {"A", {"A"}},
      {"A\r\n", {"A"}},
      {"A\r\n\r\n", {"A", ""}},
      {"A\rB\r", {"A", "B"}},
      {"A\nB\n", {"A", "B"}},
      {"A\r\rB", {"A", "", "B"}},
      {"A\n\rB", {"A", "", "B"}},
      {"\r\n", {""}},
      {"\r\r\n", {"", ""}},
      {" A \t\x0f\r\n", {" A \t\x0f"}},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(SplitScriptLines(text), expected) << testing::PrintToString(text);
  }
}

TEST(ScriptFileTest, ReadScriptLinesKeepsTheBytesOrSaysWhyNot) {
  const fs::path dir = fs::temp_directory_path() / ("kps_script_test_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return (dir / name).string();
  };
  using V = std::vector<std::string>;
  using Result = std::variant<V, std::string>;
  EXPECT_EQ(ReadScriptLines(write("a.txt", "10,05\r\n\t`w\rC\nD\xb5")),
            Result(V{"10,05", "\t`w", "C", "D\xb5"}));
  EXPECT_EQ(ReadScriptLines(write("empty.txt", "")), Result(V{}));
  EXPECT_EQ(ReadScriptLines(write("one.txt", "\r\n")), Result(V{""}));

  const std::string missing = (dir / "none.txt").string();
  const Result failed = ReadScriptLines(missing);
  ASSERT_TRUE(std::holds_alternative<std::string>(failed));
  EXPECT_NE(std::get<std::string>(failed).find(missing), npos) << std::get<std::string>(failed);
  EXPECT_NE(std::get<std::string>(failed).find("No such file or directory"), npos);
  // A folder opens on some systems and only fails when read.
  const Result folder = ReadScriptLines(dir.string());
  ASSERT_TRUE(std::holds_alternative<std::string>(folder));
  EXPECT_NE(std::get<std::string>(folder).find("Is a directory"), npos);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kps
