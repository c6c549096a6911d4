// The Spells, Signs, Shops and NPCs pages driven through the real window:
// select the tab, type the maximum, click Convert, read the status and files.
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QtTest>

#include "common/profile.h"
#include "converter/converter_window.h"
#include "converter/profile_jobs.h"
#include "tests/support/recording_messages.h"
#include "tests/support/scratch_folder.h"

using vostrel::frmMain;

class PagesRecords : public QObject {
  Q_OBJECT

 private:
  // Selects tab `index`, types `max` into the page's box and clicks its
  // Convert button; returns the status label's text afterwards.
  QString ConvertOnPage(frmMain& w, int index, const char* maxBox, const char* button,
                        const char* statusLabel, const QString& max) {
    auto* tabs = w.findChild<QTabBar*>("tabOrganizationTabs");
    auto* box = w.findChild<QLineEdit*>(maxBox);
    auto* convert = w.findChild<QPushButton*>(button);
    auto* status = w.findChild<QLabel*>(statusLabel);
    if (!tabs || !box || !convert || !status) {
      QTest::qFail("control missing", __FILE__, __LINE__);
      return {};
    }
    tabs->setCurrentIndex(index);
    if (!convert->isVisible()) {
      QTest::qFail("Convert button hidden after selecting its tab", __FILE__, __LINE__);
      return {};
    }
    box->setText(max);
    QTest::mouseClick(convert, Qt::LeftButton);
    return status->text();
  }

 private slots:
  void spellsPageReportsTheSkippedSpell() {
    ScratchFolder server;
    server.Write("spells.ini", "[SPELL1]\nName=Heal\nLevelReq=99\n[SPELL2]\nData1=32768\n");
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();

    QCOMPARE(ConvertOnPage(w, 1, "txtMaxSpells", "cmdSpellConvert", "lblSpellStatus", "3"),
             QString("Conversion completed."));
    const std::string spell1 = server.Read("Spells/Spell1.dat");
    QCOMPARE(spell1.size(), vostrel::kSpellRecSize);
    QCOMPARE(spell1.substr(0, 4), std::string("Heal"));
    QCOMPARE(static_cast<int>(spell1[41]), 99);
    QVERIFY(!server.Exists("Spells/Spell2.dat"));
    QVERIFY(server.Exists("Spells/Spell3.dat"));
    QCOMPARE(w.findChild<QProgressBar*>("prgbarStatus")->value(), 100);

    QCOMPARE(messages.shown.size(), size_t{1});
    QCOMPARE(messages.shown[0].title, std::string(vostrel::kTitleSkipped));
    QVERIFY(messages.shown[0].prompt.find("Record 2") != std::string::npos);
  }

  void signsPageWritesEverySign() {
    ScratchFolder server;
    server.Write("signs.ini", "[SIGN2]\nHeader=Hello\n");
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();

    QCOMPARE(ConvertOnPage(w, 2, "txtMaxSigns", "cmdSignConvert", "lblSignStatus", "2"),
             QString("Conversion completed."));
    QCOMPARE(server.Read("Signs/Sign1.dat"), std::string(9, '\0'));
    QCOMPARE(server.Read("Signs/Sign2.dat"),
             std::string("\x05\x00Hello\x00\x00\x00\x00\x00\x00\x00", 14));
    QVERIFY(messages.shown.empty());
  }

  void shopsPageWritesProfileFiles() {
    ScratchFolder server;
    server.Write("shops.ini", "[SHOP1]\nName=Inn\nGiveItem8=4\n");
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();

    QCOMPARE(ConvertOnPage(w, 3, "txtMaxShops", "cmdShopConvert", "lblShopStatus", "2"),
             QString("Conversion completed."));
    const std::string shop1 = server.At("Shops/Shop1.dat");
    QCOMPARE(common::ReadIniKey(shop1, "SHOP1", "Name"), std::string("Inn"));
    QCOMPARE(common::ReadIniKey(shop1, "SHOP1", "GiveItem8"), std::string("4"));
    QCOMPARE(common::ReadIniKey(shop1, "SHOP1", "GetValue8"), std::string("0"));
    QCOMPARE(common::ReadIniKey(server.At("Shops/Shop2.dat"), "SHOP2", "FixesItems"),
             std::string("0"));
    QVERIFY(!server.Exists("Shops/Shop3.dat"));
    QVERIFY(messages.shown.empty());
  }

  void npcsPageWritesIntoTheNPCsFolder() {
    ScratchFolder server;
    server.Write("npcs.ini", "[NPC1]\nName=Rat\nBehavior=3\nSpawnTime=9\n");
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();

    QCOMPARE(ConvertOnPage(w, 4, "txtMaxNPCs", "cmdNPCConvert", "lblNPCStatus", "1"),
             QString("Conversion completed."));
    const std::string npc1 = server.Read("NPCs/NPC1.dat");
    QCOMPARE(npc1.size(), vostrel::kNPCRecSize);
    QCOMPARE(static_cast<int>(npc1[283]), 3);
    QCOMPARE(static_cast<int>(npc1[284]), 9);
    QVERIFY(messages.shown.empty());
  }
};

QTEST_MAIN(PagesRecords)
#include "tst_pages_records.moc"
