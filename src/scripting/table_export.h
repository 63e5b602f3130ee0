// The script table as comma-separated text: a header line of the column
// headers (each followed by a comma, then one blank after the last), one line
// per row with the cell texts joined by commas, and "END"; every line ended by
// CR LF. Texts go out as they stand, with no quoting.
#pragma once

#include <string>

#include "scripting/script_table.h"

namespace kps {

std::string ScriptTableCsv(const ScriptTable& table);

// The export file Browse proposes for a script: the same path with ".csv" as
// its extension ("tests/init.txt" -> "tests/init.csv"); empty for no script.
std::string ExportProposal(const std::string& scriptPath);

}  // namespace kps
