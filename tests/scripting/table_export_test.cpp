#include "scripting/table_export.h"

#include <gtest/gtest.h>

#include "scripting/script_file.h"

namespace kps {
namespace {

const std::string kHeader =
    "Line,I2C Adr,Reg Adr,Data_Wr,Data_Rd,Act_Rd,Operation,Comment,AD Decimal, \r\n";

// The table as the script window sets it up. The worked example (a write and
// a capture after a run) is checked end to end by the script window's tests.
void AddScriptColumns(ScriptTable& table) {
  const std::pair<const char*, int> columns[] = {
      {"Line", 64},   {"I2C Adr", 64},    {"Reg Adr", 64},  {"Data_Wr", 64},     {"Data_Rd", 64},
      {"Act_Rd", 64}, {"Operation", 124}, {"Comment", 200}, {"AD Decimal", 100},
  };
  for (const auto& [header, width] : columns) table.AddColumn(header, header, width);
}

ScriptTable Loaded(const std::vector<std::string>& lines) {
  ScriptTable table;
  AddScriptColumns(table);
  auto loaded = ParseScript(lines, "88");
  if (auto* script = std::get_if<LoadedScript>(&loaded)) table.ReplaceRows(script->rows);
  EXPECT_EQ(table.rowCount(), static_cast<int>(lines.size()));
  return table;
}

TEST(TableExportTest, TextsGoOutUnquoted) {
  // The comment's comma gives the line a tenth field.
  EXPECT_EQ(ScriptTableCsv(Loaded({"10 # a, b", "`wx # say \"hi\""})),
            kHeader +
                "001,88,10,,,, Reg:1,# a, b,\r\n"
                "002,88,,,,,Error Delay_Time,# say \"hi\"Delay Error: Time not numeric,\r\n"
                "END\r\n");
}

TEST(TableExportTest, RowsAndColumnsAreTheTablesOwn) {
  ScriptTable table;
  AddScriptColumns(table);
  EXPECT_EQ(ScriptTableCsv(table), kHeader + "END\r\n");
  table.SetRowCount(24);  // the table before any load
  std::string rows;
  for (int i = 0; i < 24; ++i) rows += ",,,,,,,,\r\n";
  EXPECT_EQ(ScriptTableCsv(table), kHeader + rows + "END\r\n");
}

TEST(TableExportTest, ProposalSwapsTheExtensionForCsv) {
  const std::pair<std::string, std::string> cases[] = {
      {"dir/test.txt", "dir/test.csv"},
      {"tests/init.txt", "tests/init.csv"},
      {"/home/u/My Scripts/init.TXT", "/home/u/My Scripts/init.csv"},
      {"", ""},
  };
  for (const auto& [script, proposal] : cases) EXPECT_EQ(ExportProposal(script), proposal);
}

}  // namespace
}  // namespace kps
