// The Maps page driven through the real window: type the maximum, set the
// check box, click Convert, read the status label and the converted files.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>
#include <memory>
#include <vector>

#include "converter/converter_window.h"
#include "converter/map_records.h"
#include "tests/support/recording_messages.h"
#include "tests/support/scratch_folder.h"

using vostrel::frmMain;

namespace {

void WriteLegacyMap(const ScratchFolder& server, int n, const vostrel::LegacyMapRec& rec) {
  std::vector<uint8_t> b = vostrel::EncodeLegacyMap(rec);
  server.Write("maps/map" + std::to_string(n) + ".dat",
               std::string(reinterpret_cast<const char*>(b.data()), b.size()));
}

// Layer1 of cell (2,3) of a converted file, read from its bytes.
int ConvertedLayer1(const std::string& bytes) {
  const size_t at = 41 + 21 * (3 * 16 + 2);
  return static_cast<int16_t>(static_cast<uint8_t>(bytes.at(at)) |
                              (static_cast<uint8_t>(bytes.at(at + 1)) << 8));
}

}  // namespace

class MapsPage : public QObject {
  Q_OBJECT

 private:
  // Selects the Maps tab, types `max`, sets chk98 and clicks Convert.
  // Returns the status label's text afterwards.
  QString Convert(frmMain& w, const QString& max, Qt::CheckState chk98) {
    auto* tabs = w.findChild<QTabBar*>("tabOrganizationTabs");
    auto* box = w.findChild<QLineEdit*>("txtMaxMaps");
    auto* convert = w.findChild<QPushButton*>("cmdMapConvert");
    auto* status = w.findChild<QLabel*>("lblMapStatus");
    auto* check = w.findChild<QCheckBox*>("chk98");
    if (!tabs || !box || !convert || !status || !check) {
      QTest::qFail("control missing", __FILE__, __LINE__);
      return {};
    }
    tabs->setCurrentIndex(5);
    box->setText(max);
    check->setCheckState(chk98);
    QTest::mouseClick(convert, Qt::LeftButton);
    return status->text();
  }

  // A server folder with maps 1 and 2 whose cell (2,3) has layer 7.
  std::unique_ptr<ScratchFolder> MapServer() {
    auto server = std::make_unique<ScratchFolder>();
    auto rec = std::make_unique<vostrel::LegacyMapRec>();
    rec->Tile[2][3].Layer1 = 7;
    WriteLegacyMap(*server, 1, *rec);
    WriteLegacyMap(*server, 2, *rec);
    return server;
  }

 private slots:
  void standardJobRenumbersLayers() {
    auto server = MapServer();
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();
    QCOMPARE(Convert(w, "2", Qt::Unchecked), QString("Conversion completed."));
    QVERIFY(messages.shown.empty());
    for (int n : {1, 2}) {
      const std::string b = server->Read("Newmaps/map" + std::to_string(n) + ".dat");
      QCOMPARE(b.size(), vostrel::kMapSize);
      QCOMPARE(ConvertedLayer1(b), 14);
    }
    QVERIFY(!server->Exists("Newmaps/map3.dat"));
    QCOMPARE(w.findChild<QProgressBar*>("prgbarStatus")->value(), 100);
    // The controls are usable again once the job returned.
    QVERIFY(w.findChild<QPushButton*>("cmdMapConvert")->isEnabled());
    QVERIFY(w.findChild<QCheckBox*>("chk98")->isEnabled());
  }

  void checkedBoxRunsTheWin98JobAndGrayedTheStandardOne() {
    auto server = MapServer();
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();
    QCOMPARE(Convert(w, "1", Qt::Checked), QString("Conversion completed."));
    QCOMPARE(ConvertedLayer1(server->Read("Newmaps/map1.dat")), 7);
    QCOMPARE(Convert(w, "1", Qt::PartiallyChecked), QString("Conversion completed."));
    QCOMPARE(ConvertedLayer1(server->Read("Newmaps/map1.dat")), 14);
  }

  void mapThatCannotBeConvertedStopsTheJob() {
    auto server = MapServer();
    auto rec = std::make_unique<vostrel::LegacyMapRec>();
    rec->Tile[0][0].Layer2 = -16387;
    WriteLegacyMap(*server, 2, *rec);
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();
    QCOMPARE(Convert(w, "3", Qt::Unchecked), QString("Conversion stopped at map 2."));
    QCOMPARE(messages.shown.size(), size_t{1});
    QVERIFY(messages.shown[0].prompt.find("-16387") != std::string::npos);
    QVERIFY(server->Exists("Newmaps/map1.dat"));
    QVERIFY(!server->Exists("Newmaps/map2.dat"));
    QVERIFY(!server->Exists("Newmaps/map3.dat"));
  }
};

QTEST_MAIN(MapsPage)
#include "tst_maps_page.moc"
