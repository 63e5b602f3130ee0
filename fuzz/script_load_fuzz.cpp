// The script loader from raw file bytes. Whatever a file holds, a load gives
// a message, or one row of nine cells per line whose byte counts fit the
// frames they go into; a row in error sends nothing and says why.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "scripting/script_file.h"

namespace {

void Require(bool condition) {
  if (!condition) __builtin_trap();
}

void CheckScript(const std::vector<std::string>& lines, const kps::LoadedScript& script) {
  Require(script.rows.size() == lines.size() && script.counts.size() == lines.size());
  int reads = 0;
  for (std::size_t r = 0; r < lines.size(); ++r) {
    const auto& row = script.rows[r];
    const kps::ScriptRowCounts& c = script.counts[r];
    Require(row.size() == static_cast<std::size_t>(kps::kScriptColumnCount));
    reads += row[kps::kColDataRd - 1].text.empty() ? 0 : 1;
    Require(c.regBytes >= 0 && c.writeBytes >= 0 && c.readBytes >= 0);
    Require(c.writeBytes == 0 || c.regBytes + c.writeBytes <= kps::kMaxRowWriteBytes);
    Require(c.readBytes <= kps::kMaxRowReadBytes);
    switch (c.kind) {
      case kps::RowKind::Error:
        Require(c.regBytes == 0 && c.writeBytes == 0 && c.readBytes == 0 && c.delay == 0);
        Require(row[kps::kColOperation - 1].text.starts_with("Error "));
        break;
      case kps::RowKind::Pause:
        Require(c.delay == -1);
        break;
      case kps::RowKind::Delay:
        Require(c.delay >= 0 && c.delay <= kps::kMaxDelayMs);
        break;
      case kps::RowKind::Other:
        Require(c.delay == 0);
        break;
    }
  }
  Require(reads == script.totalReads);
  // Notes in line order; each error row has exactly one error note.
  int last = 0;
  std::vector<int> errors(lines.size() + 1, 0);
  for (const kps::ScriptNote& note : script.notes) {
    Require(note.line >= last && note.line >= 1 && note.line <= static_cast<int>(lines.size()) &&
            !note.text.empty());
    last = note.line;
    if (note.error) ++errors[static_cast<std::size_t>(note.line)];
  }
  for (std::size_t r = 0; r < lines.size(); ++r) {
    Require(errors[r + 1] == (script.counts[r].kind == kps::RowKind::Error ? 1 : 0));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto read = kps::ScriptLinesFromBytes(bytes);
  const auto* lines = std::get_if<std::vector<std::string>>(&read);
  if (lines == nullptr) {
    Require(!std::get<std::string>(read).empty());
    return 0;
  }
  const auto parsed = kps::ParseScript(*lines, "88");
  if (const auto* script = std::get_if<kps::LoadedScript>(&parsed)) CheckScript(*lines, *script);
  return 0;
}
