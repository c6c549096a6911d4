// The map conversion jobs and the Maps page's Convert click, on a scratch
// server folder.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/host_path.h"
#include "converter/map_job.h"
#include "converter/page_click.h"
#include "converter/map_records.h"
#include "tests/support/fake_page_view.h"
#include "tests/support/scratch_folder.h"

namespace vostrel {
namespace {

namespace fs = std::filesystem;

constexpr int kStandard = 0;
constexpr int kWin98 = 1;
constexpr int kGrayed = 2;

std::unique_ptr<LegacyMapRec> NewLegacy() { return std::make_unique<LegacyMapRec>(); }

void WriteLegacy(const ScratchFolder& server, int n, const LegacyMapRec& rec) {
  std::vector<uint8_t> b = EncodeLegacyMap(rec);
  server.Write("maps/map" + std::to_string(n) + ".dat",
               std::string(reinterpret_cast<const char*>(b.data()), b.size()));
}

// The converted file of map n as the server finds it: the newmaps folder is
// named without regard to case.
std::string ConvertedPath(const ScratchFolder& server, int n) {
  return common::ResolvePath(server.path() + "\\newmaps\\map" + std::to_string(n) + ".dat");
}

std::string ConvertedBytes(const ScratchFolder& server, int n) {
  std::ifstream in(ConvertedPath(server, n), std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + ConvertedPath(server, n));
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::unique_ptr<MapRec> ReadConverted(const ScratchFolder& server, int n) {
  std::string b = ConvertedBytes(server, n);
  auto rec = std::make_unique<MapRec>();
  DecodeMap(reinterpret_cast<const uint8_t*>(b.data()), b.size(), *rec);
  return rec;
}

bool Converted(const ScratchFolder& server, int n) {
  return fs::is_regular_file(ConvertedPath(server, n));
}

// A server folder with a maps folder holding a plain map 1, and an empty
// newmaps folder.
struct MapServer : ScratchFolder {
  MapServer() {
    WriteLegacy(*this, 1, *NewLegacy());
    MakeDir("newmaps");
  }
};

std::vector<std::string> CompletedRun() { return {kStatusInitiated, kStatusCompleted}; }

TEST(RemapLayer, RenumbersIntoAGridTwiceAsWide) {
  const std::pair<int16_t, int16_t> examples[] = {{0, 0},   {6, 6},   {7, 14},   {13, 20},
                                                  {48, 90}, {-1, -1}, {-7, -14}, {-8, -15}};
  for (auto [n, want] : examples) {
    std::optional<int16_t> got = RemapLayer(n);
    ASSERT_TRUE(got.has_value()) << n;
    EXPECT_EQ(want, *got) << n;
  }
}

TEST(RemapLayer, FitsExactlyFromMinus16386To16386) {
  EXPECT_EQ(32766, RemapLayer(16386).value_or(0));
  EXPECT_EQ(-32766, RemapLayer(-16386).value_or(0));
  EXPECT_FALSE(RemapLayer(16387).has_value());
  EXPECT_FALSE(RemapLayer(-16387).has_value());
  EXPECT_FALSE(RemapLayer(32767).has_value());
  EXPECT_FALSE(RemapLayer(-32768).has_value());
  for (int n = -32768; n <= 32767; ++n) {
    std::optional<int16_t> got = RemapLayer(static_cast<int16_t>(n));
    ASSERT_EQ(n >= -16386 && n <= 16386, got.has_value()) << n;
    if (got && n >= 0) {
      // Same row and column, in a grid 14 wide instead of 7.
      ASSERT_EQ(n / 7, *got / 14) << n;
      ASSERT_EQ(n % 7, *got % 14) << n;
    }
  }
}

TEST(MapConversion, CarriesTheHeaderOver) {
  MapServer server;
  const uint8_t modes[] = {0, 1, 2, 3, 4, 255};
  for (int i = 0; i < 6; ++i) {
    auto rec = NewLegacy();
    // Trailing spaces and zero bytes of the name travel unchanged.
    std::memcpy(rec->Name, "Cave\0of \xE9 ghosts    ", 20);
    rec->Mode = modes[i];
    rec->UpdateCount = i == 0 ? 41 : i == 1 ? -1 : 1000 * i;
    rec->Int1 = -2;
    rec->Int4 = 32767;
    rec->Byte1 = 250;
    rec->Int5 = -32768;
    rec->Byte4 = 4;
    rec->Byte5 = 0xB5;
    rec->Slot[0] = 200;
    rec->Slot[15] = 255;
    WriteLegacy(server, i + 1, *rec);
  }
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "6", kStandard, ui);
  EXPECT_EQ(CompletedRun(), ui.statusHistory);
  EXPECT_TRUE(ui.messages.shown.empty());

  const uint8_t wantModes[] = {0, 1, 2, 1, 4, 255};
  for (int i = 0; i < 6; ++i) {
    SCOPED_TRACE(i + 1);
    std::string b = ConvertedBytes(server, i + 1);
    ASSERT_EQ(4105u, b.size());
    EXPECT_EQ(std::string("Cave\0of \xE9 ghosts    ", 20), b.substr(0, 20));
    auto rec = ReadConverted(server, i + 1);
    EXPECT_EQ(wantModes[i], rec->Mode);
    EXPECT_EQ(-2, rec->Int1);
    EXPECT_EQ(32767, rec->Int4);
    EXPECT_EQ(250, rec->Byte1);
    EXPECT_EQ(-32768, rec->Int5);
    EXPECT_EQ(4, rec->Byte4);
    EXPECT_EQ(0xB5, rec->Byte5);
    EXPECT_EQ(0, rec->Byte6);
    // Slot bytes are unsigned: 200 becomes C8 00, never -56.
    EXPECT_EQ('\xC8', b[4073]);
    EXPECT_EQ('\x00', b[4074]);
    EXPECT_EQ(255, rec->Slot[15]);
  }
  EXPECT_EQ(42, ReadConverted(server, 1)->UpdateCount);
  EXPECT_EQ(0, ReadConverted(server, 2)->UpdateCount);
  EXPECT_EQ(2001, ReadConverted(server, 3)->UpdateCount);
}

// One legacy tile with layers 7, -8, -1 and a fourth layer of 9, converted
// by the job the check box state picks.
std::unique_ptr<MapRec> ConvertOneTile(int chk98State) {
  ScratchFolder server;
  auto rec = NewLegacy();
  LegacyTileRec& t = rec->Tile[15][11];
  t.Layer1 = 7;
  t.Layer2 = -8;
  t.Layer3 = -1;
  t.Layer4 = 9;
  t.Kind = 200;
  t.Data1 = -5;
  t.Data2 = 300;
  t.Data3 = 32767;
  rec->Tile[4][2].Layer1 = 48;
  WriteLegacy(server, 1, *rec);
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "1", chk98State, ui);
  EXPECT_EQ(CompletedRun(), ui.statusHistory);
  return ReadConverted(server, 1);
}

TEST(MapConversion, StandardJobRenumbersLayersAndMovesTheFourth) {
  for (int chk98State : {kStandard, kGrayed}) {
    SCOPED_TRACE(chk98State);
    auto rec = ConvertOneTile(chk98State);
    const TileRec& t = rec->Tile[15][11];
    EXPECT_EQ(14, t.Layer1);
    EXPECT_EQ(-15, t.Layer2);
    EXPECT_EQ(-1, t.Layer3);
    EXPECT_EQ(0, t.Layer4);
    EXPECT_EQ(16, t.Layer5);
    EXPECT_EQ(0, t.Layer6);
    EXPECT_EQ(0, t.Layer7);
    EXPECT_EQ(200, t.Kind);
    EXPECT_EQ(-5, t.Data1);
    EXPECT_EQ(300, t.Data2);
    EXPECT_EQ(32767, t.Data3);
    EXPECT_EQ(90, rec->Tile[4][2].Layer1);
    EXPECT_EQ(0, rec->Tile[2][4].Layer1);
  }
}

TEST(MapConversion, Win98JobCopiesLayersAndMovesTheFourth) {
  auto rec = ConvertOneTile(kWin98);
  const TileRec& t = rec->Tile[15][11];
  EXPECT_EQ(7, t.Layer1);
  EXPECT_EQ(-8, t.Layer2);
  EXPECT_EQ(-1, t.Layer3);
  EXPECT_EQ(0, t.Layer4);
  EXPECT_EQ(9, t.Layer5);
  EXPECT_EQ(0, t.Layer6);
  EXPECT_EQ(0, t.Layer7);
  EXPECT_EQ(200, t.Kind);
  EXPECT_EQ(32767, t.Data3);
  EXPECT_EQ(48, rec->Tile[4][2].Layer1);
}

TEST(MapConversion, LongerOldConvertedFileKeepsItsTail) {
  MapServer server;
  server.Write("newmaps/map5.dat", std::string(5000, '\xEE'));
  auto rec = NewLegacy();
  rec->UpdateCount = 7;
  WriteLegacy(server, 5, *rec);
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "5", kStandard, ui);

  std::string b = ConvertedBytes(server, 5);
  ASSERT_EQ(5000u, b.size());
  EXPECT_EQ(std::string(895, '\xEE'), b.substr(4105));
  EXPECT_EQ(8, ReadConverted(server, 5)->UpdateCount);
  EXPECT_EQ(std::string(4105 - 24, '\0'), b.substr(24, 4105 - 24));
}

TEST(MapConversion, EveryNumberIsConvertedAndMissingLegacyFilesAreCreatedEmpty) {
  ScratchFolder server;
  auto rec = NewLegacy();
  rec->Tile[0][0].Layer1 = 8;
  WriteLegacy(server, 1, *rec);
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "1000", kStandard, ui);
  EXPECT_EQ(CompletedRun(), ui.statusHistory);
  for (int n = 1; n <= 1000; ++n) {
    ASSERT_EQ(4105u, fs::file_size(ConvertedPath(server, n))) << n;
    ASSERT_EQ(n == 1 ? 2936u : 0u,
              fs::file_size(server.At("maps/map" + std::to_string(n) + ".dat")))
        << n;
  }
  EXPECT_FALSE(Converted(server, 1001));
  EXPECT_EQ(1000, ui.pumps);
  EXPECT_EQ(100, ui.progress.back());
  EXPECT_EQ(15, ReadConverted(server, 1)->Tile[0][0].Layer1);
  // A missing legacy map converts as an empty one, whatever map came before.
  auto second = ReadConverted(server, 2);
  EXPECT_EQ(0, second->Tile[0][0].Layer1);
  EXPECT_EQ(1, second->UpdateCount);
}

TEST(MapConversion, ShortLegacyFileAfterAFullOneYieldsZeros) {
  MapServer server;
  auto full = NewLegacy();
  full->Byte5 = 9;
  full->Tile[0][0].Layer1 = 3;
  full->Tile[15][11].Data3 = 1234;
  full->Slot[15] = 77;
  WriteLegacy(server, 1, *full);
  auto shorter = NewLegacy();
  shorter->UpdateCount = 10;
  std::vector<uint8_t> b = EncodeLegacyMap(*shorter);
  server.Write("maps/map2.dat", std::string(reinterpret_cast<const char*>(b.data()), 58));

  for (int chk98State : {kStandard, kWin98}) {
    SCOPED_TRACE(chk98State);
    ConverterState state;
    FakePageView ui;
    MapConvertClick(common::ServerFolder(server.path()), state, "2", chk98State, ui);
    auto rec = ReadConverted(server, 2);
    EXPECT_EQ(11, rec->UpdateCount);
    EXPECT_EQ(0, rec->Byte5);
    EXPECT_EQ(0, rec->Tile[0][0].Layer1);
    EXPECT_EQ(0, rec->Tile[15][11].Data3);
    EXPECT_EQ(0, rec->Slot[15]);
    EXPECT_EQ(1234, ReadConverted(server, 1)->Tile[15][11].Data3);
  }
}

TEST(MapConversion, MaximumsBelowOneConvertNothing) {
  for (const char* text : {"0", "-5", "letters", " "}) {
    SCOPED_TRACE(text);
    ScratchFolder server;
    WriteLegacy(server, 1, *NewLegacy());
    ConverterState state;
    FakePageView ui;
    MapConvertClick(common::ServerFolder(server.path()), state, text, kStandard, ui);
    EXPECT_EQ(CompletedRun(), ui.statusHistory);
    EXPECT_TRUE(ui.messages.shown.empty());
    EXPECT_EQ(0, ui.pumps);
    ASSERT_TRUE(fs::is_directory(server.At("Newmaps")));
    EXPECT_TRUE(fs::is_empty(server.At("Newmaps")));
    EXPECT_EQ(1,
              std::distance(fs::directory_iterator(server.At("maps")), fs::directory_iterator()));
  }
}

TEST(MapConversion, MaximumBeyondSixteenBitsIsRefusedAfterTheFolderExists) {
  ScratchFolder server;
  WriteLegacy(server, 1, *NewLegacy());
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "40000", kStandard, ui);
  EXPECT_EQ(1u, ui.messages.shown.size());
  EXPECT_TRUE(ui.statusHistory.empty());
  EXPECT_EQ(0, ui.pumps);
  ASSERT_TRUE(fs::is_directory(server.At("Newmaps")));
  EXPECT_TRUE(fs::is_empty(server.At("Newmaps")));
}

TEST(MapConversion, EmptyTextDoesNothing) {
  ScratchFolder server;
  WriteLegacy(server, 1, *NewLegacy());
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "", kStandard, ui);
  EXPECT_TRUE(ui.statusHistory.empty());
  EXPECT_TRUE(ui.messages.shown.empty());
  EXPECT_FALSE(server.Exists("Newmaps"));
}

TEST(MapConversion, MissingOrEmptyMapsFolderIsReported) {
  for (bool makeFolder : {false, true}) {
    SCOPED_TRACE(makeFolder);
    ScratchFolder server;
    if (makeFolder) server.MakeDir("maps");
    ConverterState state;
    FakePageView ui;
    MapConvertClick(common::ServerFolder(server.path()), state, "3", kStandard, ui);
    ASSERT_EQ(1u, ui.messages.shown.size());
    const ShownMessage& m = ui.messages.shown[0];
    EXPECT_EQ("Please place this in the same folder as your maps folder", m.prompt);
    EXPECT_EQ("File not found", m.title);
    EXPECT_EQ(common::MsgButtons::Ok, m.buttons);
    EXPECT_EQ(common::MsgIcon::None, m.icon);
    EXPECT_TRUE(ui.statusHistory.empty());
    EXPECT_FALSE(server.Exists("Newmaps"));
    EXPECT_FALSE(server.Exists("maps/map1.dat"));
  }
}

TEST(MapConversion, NewmapsFolderIsFoundInAnyCase) {
  ScratchFolder server;
  server.Write("MAPS/map1.dat", "");
  server.MakeDir("NEWMAPS");
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "2", kStandard, ui);
  EXPECT_EQ(CompletedRun(), ui.statusHistory);
  EXPECT_EQ(4105u, fs::file_size(server.At("NEWMAPS/map1.dat")));
  EXPECT_EQ(4105u, fs::file_size(server.At("NEWMAPS/map2.dat")));
  EXPECT_TRUE(server.Exists("MAPS/map2.dat"));
  EXPECT_FALSE(server.Exists("Newmaps"));
  EXPECT_FALSE(server.Exists("newmaps"));
}

TEST(MapConversion, ProgressShowsEachMapOutOfTheMaximum) {
  MapServer server;
  ConverterState state;
  FakePageView three;
  MapConvertClick(common::ServerFolder(server.path()), state, "3", kStandard, three);
  EXPECT_EQ((std::vector<int>{33, 67, 100}), three.progress);

  FakePageView eight;
  MapConvertClick(common::ServerFolder(server.path()), state, "8", kWin98, eight);
  ASSERT_EQ(8u, eight.progress.size());
  EXPECT_EQ(12, eight.progress[0]);
  EXPECT_EQ(25, eight.progress[1]);
  EXPECT_EQ(38, eight.progress[2]);
  EXPECT_EQ(100, eight.progress[7]);
  EXPECT_EQ(100, state.ProgressPercent);
}

TEST(MapConversion, StopRequestEndsTheJobAfterTheMapAtHand) {
  MapServer server;
  ConverterState state;
  FakePageView ui;
  ui.onPump = [&ui](int pump) { ui.stop = pump >= 2; };
  MapConvertClick(common::ServerFolder(server.path()), state, "5", kStandard, ui);
  EXPECT_TRUE(Converted(server, 2));
  EXPECT_FALSE(Converted(server, 3));
  EXPECT_TRUE(ui.messages.shown.empty());
  EXPECT_NE(ui.status[Page::Maps], kStatusCompleted);
}

// A map that cannot be converted stops the job there, with the status and
// a message naming the map; earlier maps stay, later ones are not written.
void ExpectStoppedAt(const FakePageView& ui, int map, const std::string& reasonPart) {
  const std::string m = std::to_string(map);
  EXPECT_EQ("Conversion stopped at map " + m + ".", ui.status.at(Page::Maps));
  ASSERT_EQ(1u, ui.messages.shown.size());
  const ShownMessage& box = ui.messages.shown[0];
  EXPECT_NE(std::string::npos, box.prompt.find("map " + m)) << box.prompt;
  EXPECT_NE(std::string::npos, box.prompt.find(reasonPart)) << box.prompt;
  EXPECT_EQ(common::MsgButtons::Ok, box.buttons);
}

TEST(MapConversionStops, UpdateCountThatCannotBeRaised) {
  MapServer server;
  auto rec = NewLegacy();
  rec->UpdateCount = 2147483647;
  WriteLegacy(server, 3, *rec);
  server.Write("newmaps/map3.dat", "old");
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "5", kWin98, ui);
  ExpectStoppedAt(ui, 3, "2147483647");
  EXPECT_TRUE(Converted(server, 1));
  EXPECT_TRUE(Converted(server, 2));
  EXPECT_EQ("old", ConvertedBytes(server, 3));
  EXPECT_FALSE(Converted(server, 4));
  EXPECT_FALSE(server.Exists("maps/map4.dat"));
}

TEST(MapConversionStops, LayerThatCannotBeRenumbered) {
  MapServer server;
  auto rec = NewLegacy();
  rec->Tile[5][6].Layer4 = 16387;
  WriteLegacy(server, 2, *rec);
  ConverterState state;
  FakePageView ui;
  MapConvertClick(common::ServerFolder(server.path()), state, "3", kStandard, ui);
  ExpectStoppedAt(ui, 2, "16387");
  EXPECT_TRUE(Converted(server, 1));
  EXPECT_FALSE(Converted(server, 2));
  EXPECT_FALSE(Converted(server, 3));

  FakePageView win98;
  MapConvertClick(common::ServerFolder(server.path()), state, "3", kWin98, win98);
  EXPECT_EQ(CompletedRun(), win98.statusHistory);
  EXPECT_TRUE(win98.messages.shown.empty());
  EXPECT_EQ(16387, ReadConverted(server, 2)->Tile[5][6].Layer5);
  EXPECT_TRUE(Converted(server, 3));
}

TEST(MapConversion, AFileThatIsNoOrdinaryFileIsLeftOutAndNamed) {
  // A folder where map 2's legacy or converted file should be.
  for (const char* blocked : {"maps/map2.dat", "newmaps/map2.dat"}) {
    SCOPED_TRACE(blocked);
    MapServer server;
    server.MakeDir(blocked);
    ConverterState state;
    FakePageView ui;
    EXPECT_EQ(common::OutcomeOf(MapConvertClick(common::ServerFolder(server.path()), state, "3", kStandard, ui)),
              common::Outcome::kSkipped);
    EXPECT_EQ(kStatusCompleted, ui.status.at(Page::Maps));
    ASSERT_EQ(1u, ui.messages.shown.size());
    const ShownMessage& box = ui.messages.shown[0];
    EXPECT_EQ(kTitleSkipped, box.title);
    EXPECT_NE(std::string::npos, box.prompt.find("1 map was not converted")) << box.prompt;
    EXPECT_NE(std::string::npos, box.prompt.find("map2.dat is not an ordinary file")) << box.prompt;
    EXPECT_TRUE(Converted(server, 1));
    EXPECT_FALSE(Converted(server, 2));
    EXPECT_TRUE(Converted(server, 3));
  }
}

}  // namespace
}  // namespace vostrel
