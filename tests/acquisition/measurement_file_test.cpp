#include "acquisition/measurement_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/file_text.h"

namespace kps {
namespace {

namespace fs = std::filesystem;
using test::FileText;

constexpr auto npos = std::string::npos;

// A block of 1011-slot histories holding `prox` and `als` from slot 11 on; every other slot
// carries a marker that no test expects.
std::string Block(const std::vector<double>& prox, const std::vector<double>& als, int index) {
  std::vector<double> p(1011, 777), a(1011, 7777);
  std::copy(prox.begin(), prox.end(), p.begin() + 11);
  std::copy(als.begin(), als.end(), a.begin() + 11);
  return MeasurementBlock({"00", "A2", "50", LocalTime{2026, 12, 5, 9, 5, 2}}, p, a, index);
}

TEST(MeasurementFileBlockTest, LinesFromTheEleventhSlotUpToTheIndexInWholeCounts) {
  EXPECT_EQ(Block({37, 38, 0, 255, 36, 40, 41, 39, 36},
                  {1200, 1198, 4095, 0, 1203, 1201, 1199, 1200, 1203}, 20),
            "Collect Reg0:&h00 :Reg1 &hA2,Interval 50, 12-05-2026,09:05:02, Qty 9\r\n"
            "Measurement#,Proximity (8-bit),ALS/IR (12-bit)\r\n"
            " 0, 37, 1200\r\n 1, 38, 1198\r\n 2, 0, 4095\r\n 3, 255, 0\r\n 4, 36, 1203\r\n"
            " 5, 40, 1201\r\n 6, 41, 1199\r\n 7, 39, 1200\r\n 8, 36, 1203\r\n"
            "END\r\n");
  // Counts are whole, halves to even, with a blank for the sign.
  EXPECT_NE(
      Block({2.5, 3.5, -5, -0.4, 0.6}, {1199.5, 1200.5, -2.5, 4095.49, 4095}, 16)
          .find(" 0, 2, 1200\r\n 1, 4, 1200\r\n 2,-5,-2\r\n 3, 0, 4095\r\n 4, 1, 4095\r\nEND"),
      npos);
  // An index below the first recorded slot gives no lines; one past the history, all of it.
  EXPECT_TRUE(Block({}, {}, 3).ends_with(
      ", Qty 0\r\nMeasurement#,Proximity (8-bit),ALS/IR (12-bit)\r\nEND\r\n"));
  EXPECT_NE(Block({}, {}, 5000).find(", Qty 1000\r\n"), npos);
}

class MeasurementFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }

  const fs::path dir_ = fs::temp_directory_path() / ("kps_measurement_" + std::to_string(getpid()));
  const std::string file_ = (dir_ / "Data.csv").string();
  const std::string a_ = "first block\r\n", b_ = "second block\r\n";
};

TEST_F(MeasurementFileTest, AppendAddsOverwriteReplacesAndAFailedWriteChangesNothing) {
  EXPECT_EQ(WriteMeasurementFile(file_, b_, true), "");  // creates the missing file
  EXPECT_EQ(WriteMeasurementFile(file_, a_, true), "");
  EXPECT_EQ(FileText(file_), b_ + a_);
  // Shorter than what it replaces, and through a new file that takes the old one's mode.
  const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
  fs::permissions(file_, mode);
  EXPECT_EQ(WriteMeasurementFile(file_, a_, false), "");
  EXPECT_EQ(FileText(file_), a_);
  EXPECT_EQ(fs::status(file_).permissions(), mode);

  // A file size limit makes a regular file fail part way, like a disk filling up.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit small{100, saved.rlim_max};
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string overwrite = WriteMeasurementFile(file_, std::string(300, 'x'), false);
  const std::string append = WriteMeasurementFile(file_, std::string(300, 'x'), true);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(overwrite.find("File too large"), npos);
  EXPECT_NE(append.find("File too large"), npos);
  EXPECT_EQ(FileText(file_), a_);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(MeasurementFileTest, FailuresNameTheFileAndTheReason) {
  const std::string missing = (dir_ / "no such folder/Data.csv").string();
  const bool devFull = fs::is_character_file("/dev/full");
  for (bool append : {false, true}) {
    EXPECT_EQ(WriteMeasurementFile(missing, a_, append),
              "Cannot write the measurement file \"" + missing + "\": No such file or directory");
    EXPECT_NE(WriteMeasurementFile("", a_, append), "");
    if (devFull) {
      EXPECT_EQ(WriteMeasurementFile("/dev/full", a_, append),
                "Cannot write the measurement file \"/dev/full\": No space left on device");
    }
  }
  EXPECT_FALSE(fs::exists(dir_ / "no such folder"));
  EXPECT_EQ(fs::is_character_file("/dev/full"), devFull);  // written to, never replaced
}

TEST_F(MeasurementFileTest, ReadOnlyFileIsLeftAloneButAReadOnlyFolderIsNoObstacle) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  std::ofstream(file_, std::ios::binary) << b_;
  fs::permissions(file_, fs::perms::owner_read);
  for (bool append : {false, true}) {
    EXPECT_NE(WriteMeasurementFile(file_, a_, append).find("Permission denied"), npos);
    EXPECT_EQ(FileText(file_), b_);
  }
  fs::permissions(file_, fs::perms::owner_write, fs::perm_options::add);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(WriteMeasurementFile(file_, a_, false), "");
  EXPECT_EQ(FileText(file_), a_);
}

}  // namespace
}  // namespace kps
