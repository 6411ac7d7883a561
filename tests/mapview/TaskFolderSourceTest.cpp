#include <QBuffer>
#include <QImageReader>
#include <QTest>

#include <gtest/gtest.h>

#include "MapServices.h"
#include "MapViewTestSupport.h"
#include "MapWidget.h"
#include "TaskFolderSource.h"
#include "TileImage.h"

namespace {

const QByteArray kBlank = PngOfColour(Qt::white, 16);

uint32_t Crc32(const QByteArray& bytes) {
  uint32_t crc = 0xffffffffu;
  for (const char c : bytes) {
    crc ^= static_cast<uint8_t>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// A well-formed PNG whose header claims 100000 x 100000 pixels; decoding it
// would take 40 GB.
QByteArray HugeHeaderPng() {
  QByteArray bytes = PngOfColour(Qt::red, 4);
  // IHDR: length at 8, type at 12, width and height at 16, its CRC at 29.
  const char huge[8] = {0, 1, static_cast<char>(0x86), static_cast<char>(0xa0),
                        0, 1, static_cast<char>(0x86), static_cast<char>(0xa0)};
  bytes.replace(16, 8, QByteArray(huge, 8));
  const uint32_t crc = Crc32(bytes.mid(12, 17));
  for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<char>(crc >> (24 - 8 * i));
  return bytes;
}

class TaskFolderSourceStates : public testing::TestWithParam<int> {};

// A 2x2 task at zoom 4 (10..20 E, 40..50 N): one tile of each state.
TEST_P(TaskFolderSourceStates, DrawsEachTilesStateWhereverTheServiceCountsRows) {
  const int mapsType = GetParam();
  ScratchFolder folder("mapview");
  WriteFile(folder / "area.qrnl", ProjectText(mapsType, "10", "25", "50", "40", 4));
  const TaskExtent extent = ReadTaskExtent(folder / "area.qrnl");
  ASSERT_EQ(extent.TileCount(), 4);
  folder.MakeFolder("area");
  const int32_t x0 = extent.minX, x1 = extent.maxX;
  // The northern row in the service's count.
  const int32_t north = extent.origin == RowOrigin::FromTop ? extent.minY : extent.maxY;
  const int32_t south = extent.origin == RowOrigin::FromTop ? extent.maxY : extent.minY;
  WriteFile(extent.FilePath(x0, north), PngOfColour(Qt::blue).toStdString());
  WriteFile(extent.FilePath(x1, north), kBlank.toStdString());
  WriteFile(extent.FilePath(x1, south), kBlank.toStdString());
  WriteFile(extent.failedListPath, extent.FilePath(x1, south) + "|http://127.0.0.1/t\r\n");

  TaskFolderSource source(ScanTaskFolder(extent, kBlank.toStdString()), kBlank);
  const int32_t topNorth = ServiceRow(north, 4, extent.origin), topSouth = ServiceRow(south, 4, extent.origin);
  EXPECT_EQ(topNorth + 1, topSouth);
  EXPECT_EQ(source.Image(x0, topNorth, 4).pixelColor(5, 5), QColor(Qt::blue));
  EXPECT_FALSE(source.Overlay(x0, topNorth, 4).isValid());
  EXPECT_EQ(source.Overlay(x1, topNorth, 4).rgb(), TaskFolderSource::StateColour(TileState::Blank).rgb());
  EXPECT_EQ(source.Overlay(x1, topSouth, 4).rgb(), TaskFolderSource::StateColour(TileState::Failed).rgb());
  EXPECT_EQ(source.Overlay(x0, topSouth, 4).rgb(), TaskFolderSource::StateColour(TileState::Missing).rgb());
  EXPECT_TRUE(source.Image(x0, topSouth, 4).isNull());
  EXPECT_FALSE(source.Overlay(x0, topNorth, 5).isValid());  // another zoom: not this task's tiles

  // Zoomed out, the coverage cells lie where the tiles do, north row first.
  QRectF covers;
  const QImage cells = source.Coverage(&covers);
  EXPECT_EQ(covers, QRectF(x0, topNorth, 2, 2));
  EXPECT_EQ(cells.pixelColor(0, 0).rgb(), TaskFolderSource::StateColour(TileState::Saved).rgb());
  EXPECT_EQ(cells.pixelColor(1, 1).rgb(), TaskFolderSource::StateColour(TileState::Failed).rgb());

  // The view through the widget: the cursor names the tile in the service's count.
  MapWidget widget;
  widget.resize(512, 512);
  widget.show();
  widget.SetSource(&source);
  widget.SetCenter({x0 + 1.0, topNorth + 1.0}, 4);
  EXPECT_EQ(widget.TileAt(QPointF(100, 100)), (TileKey{x0, north, 4}));
  EXPECT_EQ(widget.TileAt(QPointF(300, 300)), (TileKey{x1, south, 4}));
  const QImage shot = widget.grab().toImage();
  EXPECT_EQ(shot.pixelColor(100, 100), QColor(Qt::blue));
  // At the task's zoom each tile's state frames it, the saved ones too.
  EXPECT_EQ(source.Border(x0, topNorth, 4), TaskFolderSource::StateColour(TileState::Saved));
  EXPECT_EQ(source.Border(x1, topSouth, 4), TaskFolderSource::StateColour(TileState::Failed));
  EXPECT_FALSE(source.Border(x0, topNorth, 5).isValid());
  EXPECT_EQ(shot.pixelColor(1, 100), TaskFolderSource::StateColour(TileState::Saved));

  source.SetState(x1, south, TileState::Saved);
  EXPECT_EQ(source.States().Count(TileState::Failed), 0);
  EXPECT_EQ(source.Coverage(&covers).pixelColor(1, 1).rgb(), TaskFolderSource::StateColour(TileState::Saved).rgb());
}

INSTANTIATE_TEST_SUITE_P(TopAndBottomCounted, TaskFolderSourceStates, testing::Values(kOpenStreetMap, 5));

TEST(TileImage, RefusesBytesThatAreNoImageOrClaimAHugeSize) {
  EXPECT_FALSE(DecodeTileImage(PngOfColour(Qt::green, 8)).isNull());
  QBuffer huge;
  huge.setData(HugeHeaderPng());
  EXPECT_EQ(QImageReader(&huge).size(), QSize(100000, 100000));  // a header that reads well
  EXPECT_TRUE(DecodeTileImage(HugeHeaderPng()).isNull());
  EXPECT_TRUE(DecodeTileImage("<html>404</html>").isNull());
  EXPECT_TRUE(DecodeTileImage(PngOfColour(Qt::green, 8).left(40)).isNull());  // cut short
}

TEST(TaskFolderSource, DecodedTilesStayWithinTheBoundWhilePanningALargeTask) {
  ScratchFolder folder("mapview");
  // About 64 x 64 tiles at zoom 12.
  WriteFile(folder / "big.qrnl", ProjectText(kOpenStreetMap, "0", "5.6", "5.6", "0", 12));
  const TaskExtent extent = ReadTaskExtent(folder / "big.qrnl");
  ASSERT_GT(extent.TileCount(), 3000);
  folder.MakeFolder("big");
  const std::string tile = PngOfColour(Qt::darkGreen, 8).toStdString();
  for (int32_t x = extent.minX; x <= extent.maxX; ++x)
    for (int32_t y = extent.minY; y <= extent.maxY; ++y) WriteFile(extent.FilePath(x, y), tile);
  WriteFile(extent.FilePath(extent.minX, extent.minY), HugeHeaderPng().toStdString());

  constexpr std::size_t kBound = 40;
  TaskFolderSource source(ScanTaskFolder(extent, kBlank.toStdString()), kBlank, kBound);
  EXPECT_EQ(source.States().Count(TileState::Saved), extent.TileCount());
  MapWidget widget;
  widget.resize(640, 480);  // 3 x 3 tiles or so in view
  widget.show();
  widget.SetSource(&source);
  widget.SetCenter({extent.minX + 0.5, extent.minY + 0.5}, 12);
  std::size_t most = 0;
  for (int step = 0; step < 60; ++step) {
    QTest::keyClick(&widget, step % 20 < 10 ? Qt::Key_Right : Qt::Key_Down);
    widget.grab();
    most = std::max(most, source.DecodedCount());
  }
  EXPECT_EQ(most, kBound);  // the cache filled, and never went beyond
  EXPECT_TRUE(source.Undecodable(extent.minX, extent.minY));
}

}  // namespace
