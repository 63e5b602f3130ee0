#include "acquisition/measurement_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace kps {
namespace {

namespace fs = std::filesystem;

const MeasurementHeader kHeader{"00", "A2", "50", LocalTime{2026, 12, 5, 10, 35, 12}};

struct Histories {
  // Slots that must never be written carry a marker that no test expects.
  Histories() : prox(1011, 777), als(1011, 7777) {}
  std::vector<double> prox, als;
};

std::string Block(const Histories& h, int sampleIndex, const MeasurementHeader& header = kHeader) {
  return MeasurementBlock(header, h.prox, h.als, sampleIndex);
}

TEST(MeasurementFileBlockTest, TwentySamplesGiveNineLines) {
  Histories h;
  const double prox[] = {37, 38, 0, 255, 36, 40, 41, 39, 36};
  const double als[] = {1200, 1198, 4095, 0, 1203, 1201, 1199, 1200, 1203};
  std::copy(std::begin(prox), std::end(prox), h.prox.begin() + 11);
  std::copy(std::begin(als), std::end(als), h.als.begin() + 11);
  EXPECT_EQ(Block(h, 20),
            "Collect Reg0:&h00 :Reg1 &hA2,Interval 50, 12-05-2026,10:35:12, Qty 9\r\n"
            "Measurement#,Proximity (8-bit),ALS/IR (12-bit)\r\n"
            " 0, 37, 1200\r\n 1, 38, 1198\r\n 2, 0, 4095\r\n 3, 255, 0\r\n 4, 36, 1203\r\n"
            " 5, 40, 1201\r\n 6, 41, 1199\r\n 7, 39, 1200\r\n 8, 36, 1203\r\n"
            "END\r\n");
  EXPECT_EQ(RecordedSampleCount(1011, 20), 9);
}

TEST(MeasurementFileBlockTest, HeaderTakesTheBoxTextsAsTheyStand) {
  const MeasurementHeader empty{"", "", "50", LocalTime{2026, 1, 2, 3, 4, 5}};
  const std::string block = Block(Histories(), 11, empty);
  EXPECT_EQ(block.substr(0, block.find('\n') + 1),
            "Collect Reg0:&h :Reg1 &h,Interval 50, 01-02-2026,03:04:05, Qty 0\r\n");
  EXPECT_EQ(DateText(LocalTime{987, 1, 2}), "01-02-0987");
  EXPECT_EQ(TimeText(LocalTime{2026, 1, 1, 0, 0, 0}), "00:00:00");
}

TEST(MeasurementFileBlockTest, FullHistoryStopsBeforeTheNewestSlot) {
  Histories h;
  for (int i = 11; i < 1010; ++i) h.prox[i] = i, h.als[i] = 2 * i;
  h.prox[1010] = h.als[1010] = 5555;
  const std::string block = Block(h, 1010);
  EXPECT_EQ(std::count(block.begin(), block.end(), '\n'), 999 + 3);
  EXPECT_NE(
      block.find(", Qty 999\r\nMeasurement#,Proximity (8-bit),ALS/IR (12-bit)\r\n 0, 11, 22\r\n"),
      std::string::npos);
  EXPECT_NE(block.find("\r\n 998, 1009, 2018\r\nEND\r\n"), std::string::npos);
  EXPECT_EQ(block.find("5555"), std::string::npos);
}

TEST(MeasurementFileBlockTest, CountsAreWholeWithABlankForTheSign) {
  Histories h;
  const double prox[] = {2.5, 3.5, -5, -0.4, 0.6};
  const double als[] = {1199.5, 1200.5, -2.5, 4095.49, 4095};
  std::copy(std::begin(prox), std::end(prox), h.prox.begin() + 11);
  std::copy(std::begin(als), std::end(als), h.als.begin() + 11);
  EXPECT_NE(Block(h, 16).find(" 0, 2, 1200\r\n 1, 4, 1200\r\n 2,-5,-2\r\n 3, 0, 4095\r\n"
                              " 4, 1, 4095\r\nEND"),
            std::string::npos);
}

TEST(MeasurementFileBlockTest, IndexOutsideTheHistoriesIsHeld) {
  Histories h;
  EXPECT_EQ(Block(h, 3), Block(h, 11));
  EXPECT_NE(Block(h, 11).find("Qty 0\r\nMeasurement#,Proximity (8-bit),ALS/IR (12-bit)\r\nEND\r\n"),
            std::string::npos);
  h.als.resize(15);  // the shorter history bounds the lines
  EXPECT_NE(Block(h, 1010).find(", Qty 4\r\n"), std::string::npos);
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
  static std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void Put(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  // Tests that need the system to refuse access are meaningless for root.
  static bool Privileged() { return geteuid() == 0; }

  fs::path dir_;
  const std::string a_ = "first block\r\n", b_ = "second block\r\n";
};

TEST_F(MeasurementFileTest, OverwriteReplacesTheContentInPlace) {
  const std::string file = Path("Data.csv");
  Put(file, "older and longer content\r\n");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(file, Path("link.csv"));
  EXPECT_EQ(WriteMeasurementFile(Path("link.csv"), a_, false), "");
  EXPECT_TRUE(fs::is_symlink(Path("link.csv")));
  EXPECT_EQ(Read(file), a_);
  EXPECT_EQ(fs::status(file).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 2);
}

TEST_F(MeasurementFileTest, AppendAddsBlocksAndCreatesAMissingFile) {
  EXPECT_EQ(WriteMeasurementFile(Path("new.csv"), a_, true), "");
  EXPECT_EQ(Read(Path("new.csv")), a_);
  EXPECT_EQ(WriteMeasurementFile(Path("new.csv"), b_, true), "");
  EXPECT_EQ(Read(Path("new.csv")), a_ + b_);
}

TEST_F(MeasurementFileTest, BadPathsNameTheFileAndTheReason) {
  for (bool append : {false, true}) {
    const std::string missing = Path("no such folder/Data.csv");
    EXPECT_EQ(WriteMeasurementFile(missing, a_, append),
              "Cannot write the measurement file \"" + missing + "\": No such file or directory");
    fs::create_directory(Path("folder"));
    Put(Path("folder/kept.csv"), b_);
    EXPECT_NE(WriteMeasurementFile(Path("folder"), a_, append).find("\": Is a directory"),
              std::string::npos);
    EXPECT_EQ(Read(Path("folder/kept.csv")), b_);
    EXPECT_NE(WriteMeasurementFile("", a_, append), "");
  }
  EXPECT_FALSE(fs::exists(Path("no such folder")));
}

TEST_F(MeasurementFileTest, ReadOnlyFileOrFolderIsLeftAlone) {
  if (Privileged()) GTEST_SKIP() << "root ignores file permissions";
  const std::string file = Path("Data.csv");
  Put(file, b_);
  fs::permissions(file, fs::perms::owner_read);
  for (bool append : {false, true}) {
    EXPECT_NE(WriteMeasurementFile(file, a_, append).find("Permission denied"), std::string::npos);
    EXPECT_EQ(Read(file), b_);
  }
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_NE(WriteMeasurementFile(file, a_, false).find("Permission denied"), std::string::npos);
  EXPECT_NE(WriteMeasurementFile(Path("new.csv"), a_, true).find("Permission denied"),
            std::string::npos);
  EXPECT_EQ(Read(file), b_);
}

TEST_F(MeasurementFileTest, WritableFileInAReadOnlyFolderIsStillWritten) {
  const std::string file = Path("Data.csv");
  Put(file, b_);
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(WriteMeasurementFile(file, a_, false), "");
  EXPECT_EQ(Read(file), a_);
}

TEST_F(MeasurementFileTest, FailedWriteLeavesTheOldContent) {
  const std::string file = Path("Data.csv");
  Put(file, b_);
  // A file size limit makes a regular file fail part way, like a disk filling up.
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  rlimit small = saved;
  small.rlim_cur = 100;
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const std::string overwrite = WriteMeasurementFile(file, std::string(300, 'x'), false);
  const std::string append = WriteMeasurementFile(file, std::string(300, 'x'), true);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(overwrite.find("File too large"), std::string::npos);
  EXPECT_NE(append.find("File too large"), std::string::npos);
  EXPECT_EQ(Read(file), b_);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(MeasurementFileTest, FullDiskIsReported) {
  if (!fs::is_character_file("/dev/full")) GTEST_SKIP() << "no /dev/full";
  for (bool append : {false, true}) {
    EXPECT_EQ(WriteMeasurementFile("/dev/full", a_, append),
              "Cannot write the measurement file \"/dev/full\": No space left on device");
  }
  EXPECT_TRUE(fs::is_character_file("/dev/full"));  // written to, never replaced
}

}  // namespace
}  // namespace kps
