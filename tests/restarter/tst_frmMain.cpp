// Ruvane's window: the start-up check, the three timers and how the program
// ends, with the server start and the program's end recorded, not done.
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <cstring>
#include <unistd.h>
#include <optional>
#include <string>

#include "common/qt/journal.h"
#include "restarter/restarter_window.h"
#include "tests/support/recording_messages.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

namespace ruvane {
namespace {

class RecordingStarter : public ServerStarter {
 public:
  common::Status StartServer() override {
    ++starts;
    if (onStart) onStart();
    return result;
  }
  pid_t started() const override { return result.ok() ? 4242 : 0; }
  int starts = 0;
  common::Status result;
  std::function<void()> onStart;
};

// A window wired to recorders.
struct Harness {
  explicit Harness(Intervals intervals = {}) {
    frmMainDeps deps;
    deps.messages = &messages;
    deps.starter = &starter;
    deps.endProgram = [this](int code) { endCodes.push_back(code); };
    deps.intervals = intervals;
    window.emplace(deps);
  }
  QLabel* status() { return window->findChild<QLabel*>("lblStatus"); }
  QTimer* timer(const char* name) { return window->findChild<QTimer*>(name); }

  RecordingMessages messages;
  RecordingStarter starter;
  std::vector<int> endCodes;
  std::optional<frmMain> window;
};

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { server_.emplace(); }
  void cleanup() { server_.reset(); }

  void startsPreparingWithOnlyTheWaitTimerRunning() {
    server_->Write("server.exe", "x");
    Harness h;
    QCOMPARE(h.window->windowTitle(), QString("Ruvane"));
    QVERIFY(h.status());
    QCOMPARE(h.status()->text(), QString("Preparing to restart the server..."));
    QCOMPARE(h.status()->font().pointSizeF(), 13.5);
    QCOMPARE(h.status()->font().weight(), QFont::Normal);
    QVERIFY(h.timer("tmrWait") && h.timer("tmrActivate") && h.timer("tmrEnd"));
    QCOMPARE(h.timer("tmrWait")->interval(), 35000);
    QCOMPARE(h.timer("tmrActivate")->interval(), 3000);
    QCOMPARE(h.timer("tmrEnd")->interval(), 5000);

    QVERIFY(h.window->frmMain_Form_Load());
    QVERIFY(h.messages.shown.empty());
    QVERIFY(h.timer("tmrWait")->isActive());
    QVERIFY(!h.timer("tmrActivate")->isActive());
    QVERIFY(!h.timer("tmrEnd")->isActive());
    QVERIFY(h.endCodes.empty());
  }

  void missingServerShowsOnlyTheBoxAndEnds_data() {
    QTest::addColumn<QString>("setup");
    QTest::newRow("missing") << "missing";
    QTest::newRow("folder") << "folder";
  }

  void missingServerShowsOnlyTheBoxAndEnds() {
    QFETCH(QString, setup);
    if (setup == "folder") server_->MakeDir("server.exe");
    Harness h;
    QVERIFY(!h.window->frmMain_Form_Load());
    QCOMPARE(h.messages.shown.size(), size_t{1});
    QCOMPARE(h.messages.shown[0].prompt,
             std::string("Please put this in the same folder as server.exe"));
    QCOMPARE(h.messages.shown[0].title, std::string("Server not found!"));
    QVERIFY(h.messages.shown[0].icon == common::MsgIcon::Stop);
    QVERIFY(h.messages.shown[0].buttons == common::MsgButtons::Ok);
    QCOMPARE(h.endCodes, std::vector<int>{1});  // a failure, unlike a restart
    QVERIFY(!h.window->isVisible());
    QVERIFY(!h.timer("tmrWait")->isActive());
    // Even a stray tick cannot start anything now.
    h.window->frmMain_tmrWait_Timer();
    h.window->frmMain_tmrActivate_Timer();
    QCOMPARE(h.starter.starts, 0);
  }

  void sequenceAnnouncesStartsAndEnds() {
    server_->Write("server.exe", "x");
    Harness h;
    QVERIFY(h.window->frmMain_Form_Load());

    h.window->frmMain_tmrWait_Timer();
    QCOMPARE(h.status()->text(), QString("Restarting the server..."));
    QVERIFY(h.timer("tmrActivate")->isActive());
    QVERIFY(h.timer("tmrWait")->isActive());
    QCOMPARE(h.starter.starts, 0);

    h.window->frmMain_tmrActivate_Timer();
    QCOMPARE(h.starter.starts, 1);
    QVERIFY(!h.timer("tmrActivate")->isActive());
    QVERIFY(h.timer("tmrEnd")->isActive());
    QVERIFY(h.timer("tmrWait")->isActive());
    QVERIFY(h.endCodes.empty());
    QVERIFY(h.messages.shown.empty());

    h.window->frmMain_tmrEnd_Timer();
    QCOMPARE(h.endCodes, std::vector<int>{0});
    QVERIFY(h.window->ended());
    QCOMPARE(h.starter.starts, 1);
  }

  // A start is the one change the restarter makes: the journal keeps it
  // with the server's process id; a journal that cannot be written is said
  // under the status text, and the server was started all the same.
  void startIsJournalledAndAJournalFailureOnlyWarns() {
    server_->Write("server.exe", "x");
    server_->MakeDir("server-tools.journal");
    for (const bool writable : {false, true}) {
      if (writable) QCOMPARE(rmdir(server_->At("server-tools.journal").c_str()), 0);
      Harness h;
      QVERIFY(h.window->frmMain_Form_Load());
      h.window->frmMain_tmrWait_Timer();
      h.window->frmMain_tmrActivate_Timer();
      QCOMPARE(h.starter.starts, 1);
      QCOMPARE(h.status()->text().startsWith("Restarting the server..."), true);
      QCOMPARE(h.status()->text().contains("journal"), !writable);
      h.window->frmMain_tmrEnd_Timer();
      QCOMPARE(h.endCodes, std::vector<int>{0});
    }
    std::vector<QJsonObject> entries;
    QVERIFY(common::ReadJournal(common::ServerFolder(server_->path()), &entries).ok());
    QCOMPARE(entries.size(), size_t{1});
    QCOMPARE(entries[0]["action"].toString(), QString("start"));
    QCOMPARE(entries[0]["pid"].toInteger(), 4242);
  }

  void failedStartReportsTheErrorAndEndsWithoutTheEndTimer() {
    server_->Write("server.exe", "x");
    Harness h;
    h.starter.result = common::PosixError("cannot start server.exe", EACCES);
    QVERIFY(h.window->frmMain_Form_Load());
    h.window->frmMain_tmrWait_Timer();
    h.window->frmMain_tmrActivate_Timer();

    QCOMPARE(h.starter.starts, 1);
    QCOMPARE(h.messages.shown.size(), size_t{1});
    QCOMPARE(h.messages.shown[0].prompt,
             "Run-time error '" + std::to_string(EACCES) + "':\n\n" + std::strerror(EACCES));
    QCOMPARE(h.messages.shown[0].title, std::string("Ruvane"));
    QVERIFY(h.messages.shown[0].icon == common::MsgIcon::Stop);
    QVERIFY(h.messages.shown[0].buttons == common::MsgButtons::Ok);
    QCOMPARE(h.endCodes.size(), size_t{1});
    QVERIFY(h.endCodes[0] != 0);
    for (const char* name : {"tmrWait", "tmrActivate", "tmrEnd"}) {
      QVERIFY2(!h.timer(name)->isActive(), name);
    }
    // No second attempt.
    h.window->frmMain_tmrActivate_Timer();
    QCOMPARE(h.starter.starts, 1);
  }

  void closingBeforeTheStartEndsAndStartsNothing() {
    server_->Write("server.exe", "x");
    Harness h;
    QVERIFY(h.window->frmMain_Form_Load());
    h.window->show();
    h.window->frmMain_tmrWait_Timer();  // announced, start pending
    QVERIFY(h.window->close());

    QCOMPARE(h.endCodes, std::vector<int>{0});
    for (const char* name : {"tmrWait", "tmrActivate", "tmrEnd"}) {
      QVERIFY2(!h.timer(name)->isActive(), name);
    }
    h.window->frmMain_tmrActivate_Timer();
    QCOMPARE(h.starter.starts, 0);
  }

  void serverStillRunningIsNotStartedAgain() {
    tests::CopyStandIn(server_->At("server.exe"));
    tests::StandInProcess running("./server.exe", {"./server.exe"}, server_->path());
    QVERIFY(running.started());
    Harness h;
    QVERIFY(h.window->frmMain_Form_Load());
    h.window->frmMain_tmrWait_Timer();
    h.window->frmMain_tmrActivate_Timer();
    QCOMPARE(h.starter.starts, 0);
    QCOMPARE(h.messages.shown.size(), size_t{1});
    QCOMPARE(h.messages.shown[0].prompt, "The server is still running; not started.\n(process " +
                                             std::to_string(running.pid()) + ")");
    QVERIFY(h.messages.shown[0].icon == common::MsgIcon::Stop);
    QCOMPARE(h.endCodes, std::vector<int>{1});
    QVERIFY(!h.timer("tmrEnd")->isActive());
  }

  // The timers themselves drive the sequence, in order, exactly once.
  void timersRunTheWholeSequence() {
    server_->Write("server.exe", "x");
    Harness h({.wait = 400, .activate = 200, .end = 200});
    QString statusAtStart;
    bool endTimerRunningAtStart = true;
    QElapsedTimer clock;
    qint64 startedAt = 0;
    h.starter.onStart = [&] {
      startedAt = clock.elapsed();
      statusAtStart = h.status()->text();
      endTimerRunningAtStart = h.timer("tmrEnd")->isActive();
    };
    clock.start();
    QVERIFY(h.window->frmMain_Form_Load());
    h.window->show();
    QTRY_VERIFY_WITH_TIMEOUT(!h.endCodes.empty(), 10000);
    // No step comes before its interval.
    QVERIFY2(startedAt >= 600, qPrintable(QString::number(startedAt)));
    QVERIFY2(clock.elapsed() >= 800, qPrintable(QString::number(clock.elapsed())));
    for (const char* name : {"tmrWait", "tmrActivate", "tmrEnd"}) {
      QCOMPARE(h.timer(name)->timerType(), Qt::PreciseTimer);
    }

    QCOMPARE(h.starter.starts, 1);
    QCOMPARE(statusAtStart, QString("Restarting the server..."));
    QVERIFY(!endTimerRunningAtStart);
    QCOMPARE(h.endCodes, std::vector<int>{0});
    QVERIFY(!h.window->isVisible());
    QVERIFY(h.messages.shown.empty());
  }

 private:
  std::optional<ScratchFolder> server_;
};

}  // namespace ruvane

QTEST_MAIN(ruvane::FrmMainTest)
#include "tst_frmMain.moc"
