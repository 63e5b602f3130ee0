// Runs kps-eval-cli as a user's shell would: a separate process with its
// standard input from /dev/null (no terminal), its output and errors captured.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/file_text.h"

namespace kps::test {

struct CliResult {
  int status = -1;  // the exit status; -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// `stdoutPath`: where the standard output goes instead of being captured.
inline CliResult RunCli(const std::vector<std::string>& args, const ScratchDir& dir,
                        const std::string& stdoutPath = "") {
  const std::string outPath = stdoutPath.empty() ? dir / ".stdout" : stdoutPath;
  const std::string errPath = dir / ".stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<std::string> all{KPS_CLI_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : all) argv.push_back(arg.data());
  argv.push_back(nullptr);

  CliResult result;
  pid_t pid = 0;
  if (posix_spawn(&pid, KPS_CLI_PATH, &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  if (stdoutPath.empty()) result.out = FileText(outPath);
  result.err = FileText(errPath);
  return result;
}

// The simulated board, then the rest.
inline CliResult RunSim(std::vector<std::string> args, const ScratchDir& dir) {
  args.insert(args.begin(), "--simulated-board");
  return RunCli(args, dir);
}

}  // namespace kps::test
