#include "acquisition/strip_chart.h"

#include <gtest/gtest.h>

#include <limits>
#include <set>
#include <string>
#include <vector>

#include "core/memory_surface.h"

namespace kps {
namespace {

constexpr uint32_t kBlue = 0x0000FF;
constexpr uint32_t kGreen = 0x00FF00;
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();

// The rows of column x that have the given colour.
std::set<int> RowsOf(const MemorySurface& picture, int x, uint32_t color) {
  std::set<int> rows;
  for (int y = 0; y < picture.height(); ++y) {
    if (picture.Pixel(x, y) == color) rows.insert(y);
  }
  return rows;
}

std::set<int> Span(int from, int to, std::set<int> rows = {}) {
  for (int y = from; y <= to; ++y) rows.insert(y);
  return rows;
}

// Counts pixel writes, to hold the per-sample work to what changes.
class CountingSurface : public MemorySurface {
 public:
  using MemorySurface::MemorySurface;
  void SetPixel(int x, int y, uint32_t color) override {
    ++writes;
    MemorySurface::SetPixel(x, y, color);
  }
  int writes = 0;
};

TEST(StripChartTest, GraphRowMapsTheScaleOntoRowsOneTo304) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    int32_t scaleMin, scaleMax;
    double count;
    int32_t row;
  };
  // 4095 gives 0.07, raised to row 1; on a 608 span, counts 1 and 3 give 303.5
  // and 302.5, which go to the even row; the last scale spans more than 32 bits.
  const Case cases[] = {
      {0, 4096, 0, 304},    {0, 4096, 4095, 1},  {0, 4096, 2048, 152},   {0, 4096, 5000, 1},
      {0, 4096, -10, 304},  {0, 4096, 1e300, 1}, {0, 4096, -1e300, 304}, {0, 4096, nan, 304},
      {100, 600, 350, 152}, {0, 608, 1, 304},    {0, 608, 3, 302},       {kIntMin, kIntMax, 0, 152},
  };
  for (const Case& c : cases) {
    StripChart chart;
    chart.ScaleMin = c.scaleMin;
    chart.ScaleMax = c.scaleMax;
    EXPECT_EQ(chart.GraphRow(c.count), c.row)
        << c.scaleMin << ".." << c.scaleMax << " count " << c.count;
  }
  StripChart flat;
  flat.ScaleMin = flat.ScaleMax = 500;
  EXPECT_EQ(flat.GraphRow(500), std::nullopt);
}

TEST(GridTest, LinesAtEveryTenthCountedFromTheBottomRow) {
  struct Case {
    int width, height;
    int columnStep, rowStep;  // lines at multiples of the steps, rows counted from the bottom
    int refreshes;
  };
  const Case cases[] = {
      {401, 301, 40, 30, 20},
      {404, 304, 40, 30, 20},
      {126, 47, 12, 5, 7},  // 12.5 columns round to the even 12
  };
  for (const Case& c : cases) {
    MemorySurface picture(c.width, c.height);
    DrawGrid(picture);
    int wrong = 0;
    for (int x = 0; x < c.width; ++x) {
      for (int y = 0; y < c.height; ++y) {
        const int fromBottom = c.height - 1 - y;
        const bool line = (x > 0 && x % c.columnStep == 0) || fromBottom % c.rowStep == 0;
        if (picture.Pixel(x, y) != (line ? kBlack : kWhite)) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0) << c.width << " x " << c.height;
    EXPECT_EQ(picture.refreshes, c.refreshes) << c.width << " x " << c.height;
  }
}

TEST(StripChartTest, CaptureAndRestoreStayInsideTheBackground) {
  // Larger than the background holds: what fits comes back, the rest is left alone.
  MemorySurface picture(500, 400);
  for (int x = 0; x < 500; ++x) {
    for (int y = 0; y < 400; ++y) picture.SetPixel(x, y, static_cast<uint32_t>(x * 1000 + y));
  }
  StripChart chart;
  chart.CaptureGraph(picture);
  picture.Clear();
  chart.RestoreGraph(picture);
  EXPECT_EQ(picture.refreshes, 1);
  EXPECT_EQ(picture.Pixel(123, 45), 123045u);
  EXPECT_EQ(picture.Pixel(404, 305), 404305u);
  EXPECT_EQ(picture.Pixel(404, 306), kWhite);
  EXPECT_EQ(picture.Pixel(405, 0), kWhite);
}

TEST(StripChartTest, ScrollOverAGridLineErasesOnlyBetweenOldAndNewRow) {
  MemorySurface picture(404, 304);
  DrawGrid(picture);
  StripChart chart;
  chart.CaptureGraph(picture);
  ASSERT_EQ(picture.Pixel(100, 273), kBlack);  // the line 30 rows above the bottom

  // An earlier trace left column 100 blue over the grid line.
  for (int y = 255; y <= 285; ++y) picture.SetPixel(100, y, kBlue);
  chart.ProxTrace[100] = 260;
  chart.ProxTrace[101] = 280;
  chart.ProxTrace[102] = 280;
  chart.TraceColor = kGreen;
  chart.ScrollProxTrace(picture, 101);

  EXPECT_EQ(RowsOf(picture, 100, kBlue), Span(255, 258, Span(282, 285)));
  EXPECT_EQ(RowsOf(picture, 100, kGreen), Span(279, 281));
  // Every grid line of the column is still there, 273 among them.
  std::set<int> lines;
  for (int y = 3; y < 304; y += 30) lines.insert(y);
  EXPECT_EQ(RowsOf(picture, 100, kBlack), lines);
  EXPECT_EQ(chart.ProxTrace[100], 280);
}

TEST(StripChartTest, ScrollMovesTheTraceOneColumnLeftFromTheStartColumn) {
  Trace before;
  before.fill(1);
  before[11] = 100;
  before[12] = 120;
  before[13] = 90;
  before[21] = 0;  // shown as row 1
  before[30] = kIntMax;
  before[31] = kIntMin;
  before[403] = 50;

  for (const int start : {1, 12, 404}) {
    SCOPED_TRACE(start);
    MemorySurface picture(404, 304);
    StripChart chart;
    chart.AlsTrace = before;
    chart.TraceColor = kGreen;
    chart.ScrollAlsTrace(picture, start);
    EXPECT_EQ(picture.refreshes, 1);

    for (int x = 0; x < kTraceSize; ++x) {
      const bool moved = x >= start - 1 && x <= 402;
      const int32_t expected = !moved ? before[x] : before[x + 1] == 0 ? 1 : before[x + 1];
      ASSERT_EQ(chart.AlsTrace[x], expected) << "index " << x;
    }
    if (start > 403) {
      EXPECT_TRUE(RowsOf(picture, 402, kGreen).empty());
      continue;
    }
    // Each column: a three-pixel point joined by a vertical segment to the row
    // its right neighbour takes, up or down.
    EXPECT_EQ(RowsOf(picture, 10, kGreen), start == 1 ? Span(99, 120) : std::set<int>{});
    EXPECT_EQ(RowsOf(picture, 11, kGreen), Span(90, 121));
    EXPECT_EQ(RowsOf(picture, 12, kGreen), Span(1, 91));
    EXPECT_EQ(RowsOf(picture, 20, kGreen), Span(0, 2));
    EXPECT_EQ(RowsOf(picture, 29, kGreen), Span(0, 303));  // a connector across the graph
    EXPECT_EQ(RowsOf(picture, 30, kGreen), Span(0, 1));    // the point itself is off the graph
    EXPECT_EQ(RowsOf(picture, 402, kGreen), Span(1, 51));  // joined to index 404, row 1
  }
}

TEST(StripChartTest, ScrollWritesOnlyTheErasedSpanThePointAndTheConnector) {
  CountingSurface picture(404, 304);
  StripChart chart;
  // A flat trace erases nothing: three point pixels and a one-pixel connector a column.
  chart.ScrollAlsTrace(picture, 1);
  EXPECT_EQ(picture.writes, 403 * 4);

  // Row 1 to 11 in the newest column: rows 0..12 erased, the point, and the
  // connector back up to row 1.
  picture.writes = 0;
  chart.AlsTrace[403] = 11;
  chart.ScrollAlsTrace(picture, 403);
  EXPECT_EQ(picture.writes, 13 + 3 + 11);
}

TEST(StripChartTest, DrawTraceGivesARedStaircaseOverThePicture) {
  MemorySurface picture(404, 304);
  picture.SetPixel(200, 10, kBlack);
  StripChart chart;
  chart.AlsTrace.fill(77);
  chart.DrawTrace(picture);

  const int steps[] = {274, 243, 213, 182, 152, 122, 91, 61};
  for (int x = 0; x < 404; ++x) {
    const int row = x < 400 ? steps[x / 50] : 1;
    ASSERT_EQ(RowsOf(picture, x, kTraceRed), Span(row - 1, row + 1)) << "column " << x;
    ASSERT_EQ(chart.AlsTrace[x], row) << "index " << x;
  }
  EXPECT_EQ(chart.AlsTrace[410], 1);
  EXPECT_EQ(picture.Pixel(200, 10), kBlack);  // drawn over, nothing erased
  EXPECT_EQ(picture.refreshes, 18);           // every 25 columns and at the end
}

using Labels = std::array<std::string, 11>;

TEST(StripChartTest, AxisLabelTexts) {
  EXPECT_EQ(TimeLabelTexts(50), (Labels{"0.00", "2.00", "4.00", "6.00", "8.00", "10.00", "12.00",
                                        "14.00", "16.00", "18.00", "20.00"}));
  EXPECT_EQ(TimeLabelTexts(10), (Labels{"0.00", ".40", ".80", "1.20", "1.60", "2.00", "2.40",
                                        "2.80", "3.20", "3.60", "4.00"}));
  EXPECT_EQ(TimeLabelTexts(33), (Labels{"0.00", "1.32", "2.64", "3.96", "5.28", "6.60", "7.92",
                                        "9.24", "10.56", "11.88", "13.20"}));

  EXPECT_EQ(ScaleLabelTexts(0, 4096), (Labels{"0", "410", "820", "1230", "1640", "2050", "2460",
                                              "2870", "3280", "3690", "4100"}));
  // A step of 2.5 rounds to the even 2.
  EXPECT_EQ(ScaleLabelTexts(-200, 25), (Labels{"-200", "-198", "-196", "-194", "-192", "-190",
                                               "-188", "-186", "-184", "-182", "-180"}));
  // The manual scale 100..599 as the label panel prints it.
  const Labels printed = {"00100", "00150", "00200", "00250", "00300", "00350",
                          "00400", "00450", "00500", "00550", "00600"};
  const Labels labels = ScaleLabelTexts(100, 500);
  for (int i = 0; i < 11; ++i) EXPECT_EQ(Format00000(labels[i]), printed[i]);
}

TEST(StripChartTest, Format00000PadsNumbersAndKeepsOtherText) {
  const std::pair<std::string, std::string> cases[] = {
      {" 345", "00345"}, {"123456", "123456"}, {"12.5", "00013"},    {"-100", "-00100"},
      {"-0.4", "00000"}, {"1e3", "01000"},     {"Scaled", "Scaled"}, {"", ""},
      {"12ab", "12ab"},  {"1e", "1e"},         {"-", "-"},           {"1e400", "1e400"},
  };
  for (const auto& [label, printed] : cases) EXPECT_EQ(Format00000(label), printed) << label;
}

TEST(StripChartTest, LabelsArePlacedFromTheGraphSizeAndTheFontMetrics) {
  struct Case {
    int labelsWidth, charWidth, lineHeight, graphWidth, graphHeight;
    int bottomY, topY, rightTimeX, totalX, totalY;
  };
  const Case cases[] = {
      // The console's panel: th 13, tw 7; 304 + 13 / 1.5 = 312.67.
      {504, 7, 13, 404, 304, 313, 13, 28 + 400, 9, 343},
      // round(530 / 11) = 48, a fifth of it 9.6 printed at 9; 41.5 columns round to 42.
      {530, 8, 15, 415, 100, 110, 10, 32 + 420, 9, 345},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.labelsWidth);
    MemorySurface labels(c.labelsWidth, 360, c.charWidth, c.lineHeight);
    labels.DrawText(1, 1, "stale");
    StripChart chart;
    chart.ScaleLabels = ScaleLabelTexts(0, 4096);
    chart.ScaleLabels2 = ScaleLabelTexts(100, 500);
    chart.AxisTitle = {"Left", "Right"};
    chart.DrawGridLabels2(labels, MemorySurface(c.graphWidth, c.graphHeight));

    const int tw = c.charWidth;
    const std::vector<MemorySurface::Text> expected = {
        {tw, c.bottomY, "00000"},
        {tw + 450, c.bottomY, "00100"},
        {tw, c.topY, "04100"},
        {tw + 450, c.topY, "00600"},
        {tw, 340, "Left"},
        {tw + 450, 340, "Right"},
        {4 * tw, 325, "400"},
        {c.rightTimeX, 325, "0"},
        {c.totalX, c.totalY, "                     Total 400 Samples"},
    };
    for (const MemorySurface::Text& text : expected) {
      int found = 0;
      for (const MemorySurface::Text& drawn : labels.texts()) {
        if (drawn.text == text.text && drawn.x == text.x && drawn.y == text.y) ++found;
      }
      EXPECT_EQ(found, 1) << '"' << text.text << "\" at " << text.x << "," << text.y;
    }
    EXPECT_EQ(labels.texts().size(), 36u);  // 22 values, 2 titles, 11 times, the caption
    EXPECT_EQ(labels.refreshes, 1);
  }
}

}  // namespace
}  // namespace kps
