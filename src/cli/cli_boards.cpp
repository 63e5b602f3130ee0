// Several boards on the bus: the list command, and which board a command
// takes (--board) before its session opens.
#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ostream>

#include "cli/cli_session.h"
#include "cli/records.h"

namespace kps::cli {

namespace {

// "EMU-0001 at 1-4.2", or the place alone when the serial number is unknown.
std::string Named(const AttachedBoard& board) {
  const std::string& serial = board.info.serial;
  return serial.empty() ? board.info.portPath : Shown(serial) + " at " + board.info.portPath;
}

std::string NamedAll(const std::vector<AttachedBoard>& boards) {
  std::string text;
  for (const AttachedBoard& board : boards) text += (text.empty() ? "" : ", ") + Named(board);
  return text;
}

std::string Openable(const AttachedBoard& board) {
  return board.openable() ? "yes" : "no: " + UsbStatusText(board.openStatus);
}

}  // namespace

UsbMatch ChosenMatch(const Request& request) {
  UsbMatch match = request.board.match;
  match.board = request.boardSelector;
  return match;
}

int ListBoards(const Request& request, Transport& transport, ConsoleToolkit& toolkit,
               std::ostream& out) {
  const UsbMatch& match = request.board.match;
  std::vector<AttachedBoard> boards;
  const uint32_t status = transport.ListBoards(match, &boards);
  if (status != kUsbOk) {
    toolkit.ShowMessage("the boards cannot be listed (" + transport.Description() +
                            "): " + UsbStatusText(status) + ".",
                        MessageButtons::Ok);
    return kExitNoBoard;
  }
  if (boards.empty()) {
    toolkit.ShowMessage("No board with USB id " + UsbIdText(match) + " is attached.",
                        MessageButtons::Ok);
    return kExitNoBoard;
  }

  // Text: columns as wide as their widest entry.
  const std::vector<std::string> headers{"Bus", "Port", "Address", "Serial", "Openable"};
  std::vector<std::vector<std::string>> rows;
  for (const AttachedBoard& board : boards) {
    rows.push_back({std::to_string(board.info.busNumber), board.info.portPath,
                    std::to_string(board.info.deviceAddress),
                    board.info.serial.empty() ? "-" : Shown(board.info.serial), Openable(board)});
  }
  std::vector<std::size_t> widths;
  for (std::size_t c = 0; c < headers.size(); ++c) {
    std::size_t width = headers[c].size();
    for (const auto& row : rows) width = std::max(width, row[c].size());
    widths.push_back(width);
  }
  const auto line = [&](const std::vector<std::string>& cells) {
    std::string text;
    for (std::size_t c = 0; c < cells.size(); ++c) {
      const bool last = c + 1 == cells.size();
      text += cells[c] + (last ? "" : std::string(widths[c] - cells[c].size() + 2, ' '));
    }
    return text;
  };

  RecordWriter writer(out, request.format);
  if (request.format == OutputFormat::Text) out << line(headers) << '\n';
  for (std::size_t i = 0; i < boards.size(); ++i) {
    const DeviceInfo& info = boards[i].info;
    writer.Write({{"bus", static_cast<long long>(info.busNumber)},
                  {"port", info.portPath},
                  {"address", static_cast<long long>(info.deviceAddress)},
                  {"serial", info.serial.empty() ? FieldValue(nullptr) : FieldValue(info.serial)},
                  {"maker", info.manufacturer},
                  {"product", info.product},
                  {"openable", boards[i].openable()}},
                 line(rows[i]));
  }
  return kExitOk;
}

int CheckBoardChoice(const Request& request, Transport& transport, ConsoleToolkit& toolkit) {
  const std::string& choice = request.boardSelector;
  std::vector<AttachedBoard> boards;
  // A transport that cannot list leaves the choice to the session, which
  // takes only the chosen board; no board at all is the session's to report.
  if (transport.ListBoards(request.board.match, &boards) != kUsbOk || boards.empty()) {
    return kExitOk;
  }
  const std::string ids = UsbIdText(request.board.match);
  if (choice.empty()) {
    if (boards.size() == 1) return kExitOk;
    toolkit.ShowMessage(std::to_string(boards.size()) + " boards with USB id " + ids +
                            " are attached: " + NamedAll(boards) +
                            ". Pick one with --board SERIAL or --board BUS-PORT.",
                        MessageButtons::Ok);
    return kExitUsage;
  }
  std::vector<AttachedBoard> chosen;
  std::copy_if(boards.begin(), boards.end(), std::back_inserter(chosen),
               [&](const AttachedBoard& board) {
                 return BoardChosen(choice, board.info.portPath, board.info.serial);
               });
  if (chosen.size() == 1) return kExitOk;
  if (chosen.size() > 1) {
    toolkit.ShowMessage("--board " + Shown(choice) + " names " + std::to_string(chosen.size()) +
                            " boards: " + NamedAll(chosen) +
                            ". Pick one by its place on the bus (--board BUS-PORT).",
                        MessageButtons::Ok);
    return kExitUsage;
  }
  const bool unreadable = std::any_of(boards.begin(), boards.end(), [](const AttachedBoard& b) {
    return b.info.serial.empty() && !b.openable();
  });
  toolkit.ShowMessage("no attached board with USB id " + ids +
                          (ChoiceIsPlace(choice) ? " is at " : " has the serial number ") +
                          Shown(choice) + "; attached: " + NamedAll(boards) +
                          (unreadable && !ChoiceIsPlace(choice)
                               ? " (a board this user may not open shows no serial number)"
                               : "") +
                          ".",
                      MessageButtons::Ok);
  return kExitNoBoard;
}

}  // namespace kps::cli
