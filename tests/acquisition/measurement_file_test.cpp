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

constexpr auto npos = std::string::npos;
const MeasurementHeader kHeader{"00", "A2", "50", LocalTime{2026, 12, 5, 10, 35, 12}};

// A block of 1011-slot histories holding `prox` and `als` from slot 11 on; every other slot
// carries a marker that no test expects.
std::string Block(const std::vector<double>& prox, const std::vector<double>& als, int index) {
  std::vector<double> p(1011, 777), a(1011, 7777);
  std::copy(prox.begin(), prox.end(), p.begin() + 11);
  std::copy(als.begin(), als.end(), a.begin() + 11);
  return MeasurementBlock(kHeader, p, a, index);
}

TEST(MeasurementFileBlockTest, TwentySamplesGiveNineWholeCounts) {
  EXPECT_EQ(Block({37, 38, 0, 255, 36, 40, 41, 39, 36},
                  {1200, 1198, 4095, 0, 1203, 1201, 1199, 1200, 1203}, 20),
            "Collect Reg0:&h00 :Reg1 &hA2,Interval 50, 12-05-2026,10:35:12, Qty 9\r\n"
            "Measurement#,Proximity (8-bit),ALS/IR (12-bit)\r\n"
            " 0, 37, 1200\r\n 1, 38, 1198\r\n 2, 0, 4095\r\n 3, 255, 0\r\n 4, 36, 1203\r\n"
            " 5, 40, 1201\r\n 6, 41, 1199\r\n 7, 39, 1200\r\n 8, 36, 1203\r\n"
            "END\r\n");
  EXPECT_EQ(TimeText(LocalTime{2026, 1, 1, 0, 0, 0}), "00:00:00");
  // Counts are whole, halves to even, with a blank for the sign.
  EXPECT_NE(
      Block({2.5, 3.5, -5, -0.4, 0.6}, {1199.5, 1200.5, -2.5, 4095.49, 4095}, 16)
          .find(" 0, 2, 1200\r\n 1, 4, 1200\r\n 2,-5,-2\r\n 3, 0, 4095\r\n 4, 1, 4095\r\nEND"),
      npos);
}

TEST(MeasurementFileBlockTest, LinesStopBeforeTheNewestSlot) {
  std::vector<double> prox, als;
  for (int i = 11; i < 1010; ++i) prox.push_back(i), als.push_back(2 * i);
  prox.push_back(5555), als.push_back(5555);  // slot 1010, the newest
  const std::string block = Block(prox, als, 1010);
  EXPECT_EQ(std::count(block.begin(), block.end(), '\n'), 999 + 3);
  EXPECT_NE(block.find(", Qty 999\r\n"), npos);
  EXPECT_NE(block.find("(12-bit)\r\n 0, 11, 22\r\n"), npos);
  EXPECT_TRUE(block.ends_with("\r\n 998, 1009, 2018\r\nEND\r\n"));
  // An index below the first recorded slot gives no lines.
  EXPECT_TRUE(Block({}, {}, 3).ends_with(
      ", Qty 0\r\nMeasurement#,Proximity (8-bit),ALS/IR (12-bit)\r\nEND\r\n"));
}

class MeasurementFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("kps_measurement_test_" + std::to_string(getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string Read(const fs::path& path) { return test::FileText(path); }

  fs::path dir_;
  const std::string a_ = "first block\r\n", b_ = "second block\r\n";
};

TEST_F(MeasurementFileTest, AppendAddsOverwriteReplacesAndAFailedWriteChangesNothing) {
  const std::string file = Path("Data.csv");
  EXPECT_EQ(WriteMeasurementFile(file, b_, true), "");  // creates the missing file
  EXPECT_EQ(WriteMeasurementFile(file, a_, true), "");
  EXPECT_EQ(Read(file), b_ + a_);
  EXPECT_EQ(WriteMeasurementFile(file, a_, false), "");  // shorter than what it replaces
  EXPECT_EQ(Read(file), a_);

  // A file size limit makes a regular file fail part way, like a disk filling up.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const rlimit small{100, saved.rlim_max};
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string overwrite = WriteMeasurementFile(file, std::string(300, 'x'), false);
  const std::string append = WriteMeasurementFile(file, std::string(300, 'x'), true);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(overwrite.find("File too large"), npos);
  EXPECT_NE(append.find("File too large"), npos);
  EXPECT_EQ(Read(file), a_);
  // No temporary file is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(MeasurementFileTest, FailuresNameTheFileAndTheReason) {
  const std::string missing = Path("no such folder/Data.csv");
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
  EXPECT_FALSE(fs::exists(Path("no such folder")));
  EXPECT_EQ(fs::is_character_file("/dev/full"), devFull);  // written to, never replaced
}

TEST_F(MeasurementFileTest, ReadOnlyFileIsLeftAloneButAReadOnlyFolderIsNoObstacle) {
  if (geteuid() == 0) GTEST_SKIP() << "root ignores file permissions";
  const std::string file = Path("Data.csv");
  std::ofstream(file, std::ios::binary) << b_;
  fs::permissions(file, fs::perms::owner_read);
  for (bool append : {false, true}) {
    EXPECT_NE(WriteMeasurementFile(file, a_, append).find("Permission denied"), npos);
    EXPECT_EQ(Read(file), b_);
  }
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(WriteMeasurementFile(file, a_, false), "");
  EXPECT_EQ(Read(file), a_);
}

}  // namespace
}  // namespace kps
