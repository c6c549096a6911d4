// The converter window: its controls, its tabs and how it runs a job.
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTimer>
#include <QtTest>
#include <vector>

#include "converter/converter_window.h"
#include "converter/page_click.h"
#include "tests/support/recording_messages.h"
#include "tests/support/scratch_folder.h"

using vostrel::frmMain;

class FrmMainTest : public QObject {
  Q_OBJECT

 private:
  template <typename T>
  static T* Find(const frmMain& w, const char* name) {
    T* control = w.findChild<T*>(name);
    if (!control) qFatal("control %s is missing", name);
    return control;
  }

  // The control's rectangle in its frame (or the window), in pixels.
  static QRect Geometry(const frmMain& w, const char* name) {
    return Find<QWidget>(w, name)->geometry();
  }

  static void ClickTab(frmMain& w, int index) {
    QTabBar* bar = w.findChild<QTabBar*>();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(index).center());
  }

  static void WriteItems(const ScratchFolder& server, int count) {
    std::string ini;
    for (int n = 1; n <= count; ++n) ini += "[ITEM" + std::to_string(n) + "]\r\nName=I\r\n";
    server.Write("items.ini", ini);
  }

 private slots:
  void layoutFollowsTheTwipTable() {
    frmMain w;
    QCOMPARE(w.windowTitle(), QString("Drask Conversion Software"));
    QCOMPARE(w.size(), QSize(323, 164));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(Geometry(w, "tabOrganization"), QRect(0, 0, 321, 144));
    QCOMPARE(Geometry(w, "prgbarStatus"), QRect(0, 144, 321, 17));
    QProgressBar* bar = Find<QProgressBar>(w, "prgbarStatus");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 100);
    QCOMPARE(bar->value(), 0);

    QTabBar* tabs = w.findChild<QTabBar*>();
    QVERIFY(tabs);
    QCOMPARE(tabs->count(), 6);
    const char* captions[] = {"Items", "Spells", "Signs", "Shops", "NPCs", "Maps"};
    for (int i = 0; i < 6; ++i) QCOMPARE(tabs->tabText(i), QString(captions[i]));
    QCOMPARE(tabs->currentIndex(), 0);

    struct PageNames {
      const char *frame, *label, *caption, *text, *defaultText, *button, *status;
    };
    const PageNames pages[] = {
        {"fraItems", "lblMaxItems", "Max Items:", "txtMaxItems", "1000", "cmdItemConvert",
         "lblItemStatus"},
        {"fraSpells", "lblMaxSpells", "Max Spells:", "txtMaxSpells", "500", "cmdSpellConvert",
         "lblSpellStatus"},
        {"fraSigns", "lblMaxSigns", "Max Signs:", "txtMaxSigns", "500", "cmdSignConvert",
         "lblSignStatus"},
        {"fraShops", "lblMaxShops", "Max Shops:", "txtMaxShops", "500", "cmdShopConvert",
         "lblShopStatus"},
        {"fraNPC", "lblMaxNPCs", "Max NPCs:", "txtMaxNPCs", "500", "cmdNPCConvert", "lblNPCStatus"},
        {"fraMaps", "lblMaxMaps", "Max Maps:", "txtMaxMaps", "1000", "cmdMapConvert",
         "lblMapStatus"},
    };
    QWidget* strip = Find<QWidget>(w, "tabOrganization");
    for (const PageNames& p : pages) {
      QFrame* frame = Find<QFrame>(w, p.frame);
      QCOMPARE(frame->size(), QSize(305, 97));
      // Placed on its page as in the strip itself.
      QCOMPARE(frame->mapTo(strip, QPoint(0, 0)), QPoint(8, 40));
      QCOMPARE(Find<QLabel>(w, p.label)->text(), QString(p.caption));
      QCOMPARE(Find<QLineEdit>(w, p.text)->text(), QString(p.defaultText));
      QCOMPARE(Find<QPushButton>(w, p.button)->text(), QString("Convert"));
      QCOMPARE(Find<QLabel>(w, p.status)->text(), QString());
      QCOMPARE(Find<QWidget>(w, p.label)->parentWidget(), frame);
      QCOMPARE(Find<QWidget>(w, p.button)->parentWidget(), frame);
      QCOMPARE(Geometry(w, p.label), QRect(0, 0, 57, 17));
      QCOMPARE(Geometry(w, p.text), QRect(56, 0, 49, 19));
      QCOMPARE(Geometry(w, p.button), QRect(112, 0, 89, 17));
      QCOMPARE(Geometry(w, p.status), QRect(200, 0, 105, 25));
    }
    QCheckBox* chk98 = Find<QCheckBox>(w, "chk98");
    QCOMPARE(chk98->parentWidget(), Find<QWidget>(w, "fraMaps"));
    QCOMPARE(chk98->text(), QString("Format to work for Windows 98"));
    QCOMPARE(chk98->geometry(), QRect(0, 32, 185, 17));
    QCOMPARE(chk98->checkState(), Qt::Unchecked);
    chk98->setCheckState(Qt::PartiallyChecked);  // a grayed box can be represented
    QCOMPARE(chk98->checkState(), Qt::PartiallyChecked);
  }

  void tabsShowOneProfileFrameAndResetTheBar() {
    frmMain w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const char* frames[] = {"fraItems", "fraSpells", "fraSigns", "fraShops", "fraNPC"};
    auto shownFrames = [&] {
      QString s;
      for (const char* f : frames) s += Find<QWidget>(w, f)->isHidden() ? '-' : 'x';
      return s;
    };
    QCOMPARE(shownFrames(), QString("x----"));
    QVERIFY(!Find<QWidget>(w, "fraMaps")->isHidden());
    QVERIFY(Find<QWidget>(w, "cmdItemConvert")->isVisible());
    QVERIFY(!Find<QWidget>(w, "cmdMapConvert")->isVisible());  // on a page not selected

    QProgressBar* bar = Find<QProgressBar>(w, "prgbarStatus");
    const char* expected[] = {"x----", "-x---", "--x--", "---x-", "----x"};
    for (int i = 4; i >= 0; --i) {
      bar->setValue(55);
      w.State().ProgressPercent = 55;
      ClickTab(w, i);
      QCOMPARE(shownFrames(), QString(expected[i]));
      QCOMPARE(bar->value(), 0);
      QCOMPARE(w.State().ProgressPercent, 55);  // only the bar is reset
    }

    // Maps: the bar goes to 0, the five frames stay as they were.
    ClickTab(w, 3);
    bar->setValue(70);
    ClickTab(w, 5);
    QCOMPARE(bar->value(), 0);
    QCOMPARE(shownFrames(), QString("---x-"));
    QVERIFY(Find<QWidget>(w, "cmdMapConvert")->isVisible());
    QVERIFY(!Find<QWidget>(w, "cmdShopConvert")->isVisible());
  }

  void emptyMaxDoesNothing() {
    ScratchFolder server;
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();
    Find<QLineEdit>(w, "txtMaxItems")->clear();
    QTest::mouseClick(Find<QPushButton>(w, "cmdItemConvert"), Qt::LeftButton);
    QVERIFY(messages.shown.empty());
    QCOMPARE(Find<QLabel>(w, "lblItemStatus")->text(), QString());
  }

  void missingSourceShowsItsBox() {
    ScratchFolder server;
    RecordingMessages messages;
    frmMain w(&messages);
    w.frmMain_cmdItemConvert_Click();
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].prompt,
             std::string("Please place this in the same folder as items.ini"));
    QCOMPARE(messages.shown[0].title, std::string("File not found"));
    QCOMPARE(Find<QLabel>(w, "lblItemStatus")->text(), QString());
    QVERIFY(!server.Exists("Items"));
  }

  void convertClickRunsTheItemJob() {
    ScratchFolder server;
    WriteItems(server, 2);
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();
    QLineEdit* max = Find<QLineEdit>(w, "txtMaxItems");
    max->setText("4");
    // Set per record, whenever it is painted.
    QProgressBar* bar = Find<QProgressBar>(w, "prgbarStatus");
    std::vector<int> values;
    connect(bar, &QProgressBar::valueChanged, [&values](int v) { values.push_back(v); });
    QTest::mouseClick(Find<QPushButton>(w, "cmdItemConvert"), Qt::LeftButton);
    QCOMPARE(Find<QLabel>(w, "lblItemStatus")->text(), QString("Conversion completed."));
    QCOMPARE(values, (std::vector<int>{25, 50, 75, 100}));
    // After the job the bar paints as usual again.
    QVERIFY(bar->updatesEnabled());
    QVERIFY(server.Exists("Items/Item4.dat"));
    QVERIFY(!server.Exists("Items/Item5.dat"));
    QVERIFY(messages.shown.empty());

    // The refused maximum shows its box and leaves the status alone.
    max->setText("40000");
    w.frmMain_cmdItemConvert_Click();
    QCOMPARE(messages.shown.size(), size_t(1));
    QCOMPARE(messages.shown[0].prompt, std::string(vostrel::kPromptBadMaximum));
    QCOMPARE(Find<QLabel>(w, "lblItemStatus")->text(), QString("Conversion completed."));
  }

  void jobControlsAreDisabledWhileAJobRuns() {
    ScratchFolder server;
    WriteItems(server, 3);
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();
    Find<QLineEdit>(w, "txtMaxItems")->setText("3");
    const char* locked[] = {"cmdItemConvert", "cmdSpellConvert", "cmdSignConvert", "cmdShopConvert",
                            "cmdNPCConvert",  "cmdMapConvert",   "txtMaxItems",    "txtMaxSpells",
                            "txtMaxSigns",    "txtMaxShops",     "txtMaxNPCs",     "txtMaxMaps",
                            "chk98"};
    QStringList enabledDuringJob;
    bool sawJob = false;
    QString statusDuringJob;
    // Runs inside the job's first event-loop step.
    QTimer::singleShot(0, &w, [&] {
      sawJob = w.JobRunning();
      for (const char* name : locked) {
        if (Find<QWidget>(w, name)->isEnabled()) enabledDuringJob << name;
      }
      statusDuringJob = Find<QLabel>(w, "lblItemStatus")->text();
      // A click on another page's button is refused while the job runs.
      w.frmMain_cmdShopConvert_Click();
      // The tab strip stays live.
      QVERIFY(w.findChild<QTabBar*>()->isEnabled());
    });
    w.frmMain_cmdItemConvert_Click();
    QVERIFY(sawJob);
    QVERIFY2(enabledDuringJob.isEmpty(), qPrintable(enabledDuringJob.join(",")));
    QCOMPARE(statusDuringJob, QString("Conversion initiated..."));
    QVERIFY(messages.shown.empty());  // no shops.ini box: the nested click never ran
    QVERIFY(!w.JobRunning());
    for (const char* name : locked) QVERIFY2(Find<QWidget>(w, name)->isEnabled(), name);
    QVERIFY(server.Exists("Items/Item3.dat"));
  }

  void closingDuringAJobStopsItAfterTheRecordAtHand() {
    ScratchFolder server;
    WriteItems(server, 5);
    RecordingMessages messages;
    frmMain w(&messages);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    Find<QLineEdit>(w, "txtMaxItems")->setText("5");
    bool stillShownAfterClose = false;
    QTimer::singleShot(0, &w, [&] {
      w.close();
      stillShownAfterClose = w.isVisible();
    });
    w.frmMain_cmdItemConvert_Click();
    QVERIFY(stillShownAfterClose);  // the close waited for the job
    QVERIFY(!w.isVisible());        // and happened once it returned
    QVERIFY(server.Exists("Items/Item1.dat"));
    QCOMPARE(server.Read("Items/Item1.dat").size(), size_t(92));
    QVERIFY(!server.Exists("Items/Item2.dat"));
    QVERIFY(messages.shown.empty());
  }
};

QTEST_MAIN(FrmMainTest)
#include "tst_frmmain.moc"
