#include "core/text_file.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace kps {

namespace {

namespace fs = std::filesystem;

std::error_code LastError() {
  // A stdio failure that left errno alone still must not read as success.
  return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

// Writes everything and closes the stream, whatever happens; the first error.
// The flush is checked separately so a full disk is caught while the data is
// still ours to report, and the close because some file systems only fail there.
std::error_code WriteAndClose(std::FILE* file, const std::string& block) {
  std::error_code error;
  errno = 0;
  if (std::fwrite(block.data(), 1, block.size(), file) != block.size()) error = LastError();
  if (!error && std::fflush(file) != 0) error = LastError();
  errno = 0;
  if (std::fclose(file) != 0 && !error) error = LastError();
  return error;
}

std::error_code WriteWhole(const fs::path& path, const std::string& block, const char* mode) {
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (file == nullptr) return LastError();
  return WriteAndClose(file, block);
}

std::error_code Append(const std::string& path, const std::string& block) {
  std::error_code ec;
  const bool existed = fs::exists(fs::symlink_status(path, ec));
  const bool regular = fs::is_regular_file(path, ec);
  std::uintmax_t oldSize = regular ? fs::file_size(path, ec) : 0;
  const bool canUndo = regular && !ec;

  const std::error_code error = WriteWhole(path, block, "ab");
  if (!error) return {};
  // Take back a partial block so the file does not end in half a recording.
  if (!existed) {
    if (fs::is_regular_file(path, ec)) fs::remove(path, ec);
  } else if (canUndo) {
    const std::uintmax_t size = fs::file_size(path, ec);
    if (!ec && size > oldSize) fs::resize_file(path, oldSize, ec);
  }
  return error;
}

// A new, empty file next to `target`, opened exclusively so that two writers
// never share it.
std::FILE* CreateTemporary(const fs::path& target, fs::path& tempPath, std::error_code& error) {
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = target;
    tempPath.replace_filename("." + target.filename().string() + ".tmp" + std::to_string(stamp) +
                              "-" + std::to_string(attempt));
    errno = 0;
    if (std::FILE* file = std::fopen(tempPath.c_str(), "wbx")) return file;
    error = LastError();
    if (error != std::errc::file_exists) return nullptr;
  }
  return nullptr;
}

std::error_code Replace(const std::string& path, const std::string& block) {
  std::error_code ec;
  fs::path target = path;
  bool direct = false;
  if (fs::is_symlink(fs::symlink_status(target, ec))) {
    // Replace the file the link points to, not the link itself.
    const fs::path resolved = fs::canonical(target, ec);
    // A dangling link is left to the system, which creates the file it names.
    direct = static_cast<bool>(ec);
    if (!direct) target = resolved;
  }
  const fs::file_status status = fs::status(target, ec);
  if (fs::is_directory(status)) return std::make_error_code(std::errc::is_a_directory);
  const bool exists = fs::exists(status);
  // Devices and pipes must be written in place; renaming over them would
  // destroy them. An unknown status or a name without a file part is left to
  // the system, which then gives the true reason.
  if ((exists && !fs::is_regular_file(status)) || status.type() == fs::file_type::none ||
      !target.has_filename()) {
    direct = true;
  }
  if (direct) {
    const std::error_code error = WriteWhole(path, block, "wb");
    return error;
  }

  if (exists) {
    // The rename below only needs the folder to be writable; a file that the
    // user may not write must stay untouched, as a plain overwrite would.
    errno = 0;
    std::FILE* probe = std::fopen(target.c_str(), "ab");
    if (probe == nullptr) return LastError();
    std::fclose(probe);
  }

  fs::path tempPath;
  std::error_code error;
  std::FILE* temp = CreateTemporary(target, tempPath, error);
  if (temp == nullptr) {
    // A folder that forbids new files may still hold a writable file: write it
    // in place, at the price of losing the old content if that write fails.
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted) {
      error = WriteWhole(path, block, "wb");
      return error;
    }
    return error;
  }
  error = WriteAndClose(temp, block);
  if (!error && exists) {
    // Ownership cannot follow without leaving the standard library; the mode can.
    fs::permissions(tempPath, status.permissions(), fs::perm_options::replace, ec);
  }
  if (!error) fs::rename(tempPath, target, error);
  if (error) {
    fs::remove(tempPath, ec);
    return error;
  }
  return {};
}

}  // namespace

std::string SaveTextFile(const std::string& path, const std::string& text, bool append,
                         const std::string& what) {
  if (path.empty()) return "Cannot write the " + what + ": no file name was given";
  const std::error_code error = append ? Append(path, text) : Replace(path, text);
  if (!error) return {};
  return "Cannot write the " + what + " \"" + path + "\": " + error.message();
}

}  // namespace kps
