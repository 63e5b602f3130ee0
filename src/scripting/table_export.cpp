#include "scripting/table_export.h"

#include <filesystem>

namespace kps {

std::string ScriptTableCsv(const ScriptTable& table) {
  constexpr const char* kLineEnd = "\r\n";
  std::string out;
  for (int c = 1; c <= table.columnCount(); ++c) out += table.column(c).header + ",";
  out += std::string(" ") + kLineEnd;
  for (int r = 1; r <= table.rowCount(); ++r) {
    for (int c = 1; c <= table.columnCount(); ++c) {
      if (c > 1) out += ',';
      out += table.text(r, c);
    }
    out += kLineEnd;
  }
  out += std::string("END") + kLineEnd;
  return out;
}

std::string ExportProposal(const std::string& scriptPath) {
  if (scriptPath.empty()) return {};
  std::filesystem::path path(scriptPath);
  path.replace_extension(".csv");
  return path.string();
}

}  // namespace kps
