#include <sys/stat.h>
#include <unistd.h>

#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QtTest>
#include <filesystem>

#include "accounts/accounts_window.h"
#include "accounts/inventory_wipe.h"
#include "common/profile.h"
#include "common/server_layout.h"
#include "tests/accounts/account_files.h"
#include "tests/support/recording_messages.h"
#include "tests/support/scratch_folder.h"
#include "tests/support/stand_in.h"

using calmet::frmMain;
using calmet_test::ItemFile;
using calmet_test::Section;

namespace {

template <typename T>
T* Find(QWidget& w, const char* name) {
  T* c = w.findChild<T*>(QString::fromLatin1(name));
  if (!c) qWarning("missing control %s", name);
  return c;
}

// A server folder with items and two accounts, Bob's and Cy's.
void WriteServer(const ScratchFolder& s) {
  s.Write("Items/Item5.dat", ItemFile("5", "Sword", "1"));
  s.Write("Items/Item7.dat", ItemFile("7", "Gold", "12"));
  s.Write("Accounts/bob.ini", Section("CHAR1", {{"Name", "Bob"},
                                                {"Access", "3"},
                                                {"Level", "12"},
                                                {"STR", "10"},
                                                {"DEF", "11"},
                                                {"SPEED", "12"},
                                                {"MAGI", "13"},
                                                {"InvItemNum1", "5"},
                                                {"InvItemNum2", "7"},
                                                {"InvItemVal2", "500"}}));
  s.Write("Accounts/cy.ini", Section("CHAR1", {{"Name", "Cy"},
                                               {"Access", "0"},
                                               {"Level", "2"},
                                               {"InvItemNum1", "7"},
                                               {"InvItemVal1", "3"}}));
}

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private slots:
  void controlsCarryTheirNamesCaptionsAndFonts();
  void startListsAccountsAndWarnsWithoutItems();
  void startReportsAnAccountsFolderItCannotRead();
  void selectingShowsTheAccountAndReplacesTheLines();
  void clickingTheSelectedAccountReadsItAgainAsPlainText();
  void wipeAnsweredNoChangesNothing();
  void wipeRunsFrozenThenShowsTheFirstAccount();
  void wipeWithoutAccountsSaysSoAndEnablesTheList();
  void wipeNamesAccountsItCouldNotWrite();
  void wipeWhileTheServerRunsAsksAgainAndNoChangesNothing();
  void wipeBacksUpFirstAndAJournalItCannotWriteIsOnlyAWarning();
};

void FrmMainTest::controlsCarryTheirNamesCaptionsAndFonts() {
  ScratchFolder s;
  WriteServer(s);
  RecordingMessages messages;
  frmMain w(&messages);
  QCOMPARE(w.windowTitle(), QStringLiteral("Nolvaria Calmet"));
  QCOMPARE(w.centralWidget()->size(), QSize(584, 542));

  QMenu* file = w.menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
  QVERIFY(file);
  QCOMPARE(file->title(), QStringLiteral("&File"));
  QVERIFY(file->actions().isEmpty());

  auto* list = Find<QListWidget>(w, "lstAccounts");
  QVERIFY(list);
  QVERIFY(!list->isSortingEnabled());
  QCOMPARE(list->geometry(), QRect(0, 16, 217, 420));
  QVERIFY(list->font().bold());
  QCOMPARE(list->font().pointSizeF(), 9.75);
  QCOMPARE(list->font().family(), QStringLiteral("MS Sans Serif"));

  auto* button = Find<QPushButton>(w, "cmdClear");
  QVERIFY(button);
  QCOMPARE(button->text(), QStringLiteral("Delete all items from player inventories"));
  auto* bar = Find<QProgressBar>(w, "prgbarProgress");
  QVERIFY(bar);
  QCOMPARE(bar->minimum(), 0);
  QCOMPARE(bar->maximum(), 100);
  QCOMPARE(bar->value(), 0);
  QVERIFY(Find<QLabel>(w, "lblTAccounts"));

  const char* captions[] = {"Character One", "Character Two", "Character Three"};
  const int tops[] = {8, 184, 360};
  for (int n = 1; n <= 3; ++n) {
    const QByteArray suffix = QByteArray::number(n);
    auto* frame = Find<QGroupBox>(w, "fraChar" + suffix);
    QVERIFY(frame);
    QCOMPARE(frame->title(), QString::fromLatin1(captions[n - 1]));
    QCOMPARE(frame->geometry(), QRect(272, tops[n - 1], 305, 169));
    QVERIFY(frame->font().bold());
    QCOMPARE(frame->font().pointSizeF(), 8.25);
    auto* inv = Find<QListWidget>(w, "lstChar" + suffix);
    QVERIFY(inv);
    QCOMPARE(inv->parentWidget(), frame);
    QVERIFY(!inv->font().bold());
    QCOMPARE(inv->count(), 0);
    const char* stats[][2] = {
        {"lblSTR", "Strength"}, {"lblDEF", "Defense"}, {"lblSPD", "Speed"}, {"lblMAGI", "Magic"}};
    for (auto& [prefix, caption] : stats) {
      auto* label = Find<QLabel>(w, QByteArray(prefix) + suffix);
      QVERIFY(label);
      QVERIFY(label->text().isEmpty());
      QVERIFY(label->font().bold());
      QVERIFY(label->alignment() & Qt::AlignHCenter);
      auto* statFrame = qobject_cast<QGroupBox*>(label->parentWidget());
      QVERIFY(statFrame);
      QCOMPARE(statFrame->parentWidget(), frame);
      QCOMPARE(statFrame->title(), QString::fromLatin1(caption));
      QVERIFY(statFrame->font().bold());
    }
  }
}

void FrmMainTest::startListsAccountsAndWarnsWithoutItems() {
  {
    ScratchFolder s;
    WriteServer(s);
    RecordingMessages messages;
    frmMain w(&messages);
    auto* list = Find<QListWidget>(w, "lstAccounts");
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(0)->text(), QStringLiteral("Bob.ini"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("Cy.ini"));
    QCOMPARE(Find<QLabel>(w, "lblTAccounts")->text(), QStringLiteral("Total Accounts: 2"));
    QVERIFY(list->selectedItems().isEmpty());
    QVERIFY(messages.shown.empty());
    // Focus alone selects nothing and shows nothing.
    QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
    QCoreApplication::sendEvent(list, &focusIn);
    QCOMPARE(list->currentRow(), 0);
    QCOMPARE(Find<QGroupBox>(w, "fraChar1")->title(), QStringLiteral("Character One"));
    QCOMPARE(Find<QListWidget>(w, "lstChar1")->count(), 0);
  }
  {
    ScratchFolder s;
    s.MakeDir("Items/old");  // no ordinary file
    RecordingMessages messages;
    frmMain w(&messages);
    QCOMPARE(Find<QLabel>(w, "lblTAccounts")->text(), QStringLiteral("No accounts found."));
    QCOMPARE(messages.shown.size(), size_t{1});
    QCOMPARE(
        messages.shown[0].prompt,
        std::string("Please place this in the same folder as the server for optimal results."));
    QCOMPARE(messages.shown[0].title, std::string("Warning"));
    QVERIFY(messages.shown[0].buttons == common::MsgButtons::Ok);
    QVERIFY(messages.shown[0].icon == common::MsgIcon::None);
  }
}

void FrmMainTest::startReportsAnAccountsFolderItCannotRead() {
  ScratchFolder s;
  s.Write("Items/Item5.dat", ItemFile("5", "Sword", "1"));
  // A link to itself: there is an accounts folder, but it cannot be opened.
  QCOMPARE(symlink("Accounts", s.At("Accounts").c_str()), 0);
  RecordingMessages messages;
  frmMain w(&messages);
  QCOMPARE(Find<QListWidget>(w, "lstAccounts")->count(), 0);
  QCOMPARE(Find<QLabel>(w, "lblTAccounts")->text(), QStringLiteral("No accounts found."));
  QCOMPARE(messages.shown.size(), size_t{1});
  const ShownMessage& m = messages.shown[0];
  QVERIFY(m.prompt.rfind(std::string(calmet::kListFailed) + "\n", 0) == 0);
  QVERIFY(m.prompt.find(s.At("Accounts")) != std::string::npos);
  QCOMPARE(m.title, std::string(calmet::kListFailedTitle));
  QVERIFY(m.buttons == common::MsgButtons::Ok);
  QVERIFY(m.icon == common::MsgIcon::Stop);
  QCOMPARE(w.state().TotalAccounts, 0);
}

void FrmMainTest::selectingShowsTheAccountAndReplacesTheLines() {
  ScratchFolder s;
  WriteServer(s);
  RecordingMessages messages;
  frmMain w(&messages);
  auto* list = Find<QListWidget>(w, "lstAccounts");
  auto* inv1 = Find<QListWidget>(w, "lstChar1");
  list->setCurrentRow(0);
  QCOMPARE(Find<QGroupBox>(w, "fraChar1")->title(), QStringLiteral("Bob - Developer - 12"));
  QCOMPARE(Find<QLabel>(w, "lblSTR1")->text(), QStringLiteral("10"));
  QCOMPARE(Find<QLabel>(w, "lblMAGI1")->text(), QStringLiteral("13"));
  QCOMPARE(inv1->count(), 100);
  QCOMPARE(inv1->item(0)->text(), QStringLiteral("1: Sword"));
  QCOMPARE(inv1->item(1)->text(), QStringLiteral("2: Gold (500)"));
  QCOMPARE(inv1->item(2)->text(), QStringLiteral("3: <free item slot>"));

  list->setCurrentRow(1);
  list->setCurrentRow(0);
  w.lstAccounts_Click();
  for (const char* name : {"lstChar1", "lstChar2", "lstChar3"}) {
    QCOMPARE(Find<QListWidget>(w, name)->count(), 100);
  }
  list->setCurrentRow(1);
  QCOMPARE(Find<QGroupBox>(w, "fraChar1")->title(), QStringLiteral("Cy - Player - 2"));
  QCOMPARE(Find<QLabel>(w, "lblSTR1")->text(), QString());
  QCOMPARE(inv1->item(0)->text(), QStringLiteral("1: Gold (3)"));
}

void FrmMainTest::clickingTheSelectedAccountReadsItAgainAsPlainText() {
  ScratchFolder s;
  WriteServer(s);
  RecordingMessages messages;
  frmMain w(&messages);
  auto* list = Find<QListWidget>(w, "lstAccounts");
  const QPoint bob = list->visualItemRect(list->item(0)).center();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, bob);
  QCOMPARE(Find<QLabel>(w, "lblSTR1")->text(), QStringLiteral("10"));
  // The server rewrites the account; a click on the same line shows it.
  s.Write("Accounts/bob.ini", Section("CHAR1", {{"Name", "Bob"}, {"STR", "<b>9</b>"}}));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, bob);
  auto* str = Find<QLabel>(w, "lblSTR1");
  QCOMPARE(str->text(), QStringLiteral("<b>9</b>"));
  QCOMPARE(str->textFormat(), Qt::PlainText);
  QCOMPARE(list->currentRow(), 0);
}

void FrmMainTest::wipeAnsweredNoChangesNothing() {
  ScratchFolder s;
  WriteServer(s);
  const std::string before = s.Read("Accounts/bob.ini");
  RecordingMessages messages;
  messages.answers.push_back(common::MsgAnswer::No);
  frmMain w(&messages);
  QTest::mouseClick(Find<QPushButton>(w, "cmdClear"), Qt::LeftButton);
  QCOMPARE(messages.shown.size(), size_t{1});
  const ShownMessage& q = messages.shown[0];
  QCOMPARE(q.prompt,
           std::string("If you continue all players will lose everything in their inventory. "
                       "This also will not work completely if your server is running."));
  QCOMPARE(q.title, std::string("You are on the path to account inventory deletion."));
  QVERIFY(q.buttons == common::MsgButtons::YesNo);
  QVERIFY(q.icon == common::MsgIcon::None);
  QCOMPARE(s.Read("Accounts/bob.ini"), before);
  QVERIFY(Find<QListWidget>(w, "lstAccounts")->isEnabled());
  QCOMPARE(Find<QProgressBar>(w, "prgbarProgress")->value(), 0);
}

void FrmMainTest::wipeRunsFrozenThenShowsTheFirstAccount() {
  ScratchFolder s;
  WriteServer(s);
  RecordingMessages messages;
  messages.answers.push_back(common::MsgAnswer::Yes);
  frmMain w(&messages);
  auto* list = Find<QListWidget>(w, "lstAccounts");
  auto* bar = Find<QProgressBar>(w, "prgbarProgress");
  auto* frame1 = Find<QGroupBox>(w, "fraChar1");
  auto* inv1 = Find<QListWidget>(w, "lstChar1");
  list->setCurrentRow(1);  // Cy is on view when the wipe starts
  QCOMPARE(frame1->title(), QStringLiteral("Cy - Player - 2"));

  struct Step {
    int bar;
    int row;
    bool listEnabled;
    QString caption;
    QString firstLine;
  };
  std::vector<Step> steps;
  w.SetWipeObserver([&](float) {
    steps.push_back({bar->value(), list->currentRow(), list->isEnabled(), frame1->title(),
                     inv1->item(0)->text()});
  });
  QTest::mouseClick(Find<QPushButton>(w, "cmdClear"), Qt::LeftButton);

  QCOMPARE(steps.size(), size_t{2});
  for (size_t i = 0; i < steps.size(); ++i) {
    QCOMPARE(steps[i].bar, 50 * static_cast<int>(i + 1));
    QCOMPARE(steps[i].row, static_cast<int>(i));
    QVERIFY(!steps[i].listEnabled);
    QCOMPARE(steps[i].caption, QStringLiteral("Cy - Player - 2"));
    QCOMPARE(steps[i].firstLine, QStringLiteral("1: Gold (3)"));
  }
  QCOMPARE(messages.shown.size(), size_t{2});
  QCOMPARE(messages.shown[1].prompt, std::string("Inventory wipe completed."));
  QCOMPARE(messages.shown[1].title, std::string("Inventories cleared."));

  QCOMPARE(list->currentRow(), 0);
  QVERIFY(list->isEnabled());
  QCOMPARE(bar->value(), 0);
  QVERIFY(!w.state().WipeInProgress);
  QCOMPARE(frame1->title(), QStringLiteral("Bob - Developer - 12"));
  QCOMPARE(inv1->count(), 100);
  QCOMPARE(inv1->item(0)->text(), QStringLiteral("1: <free item slot>"));
  QCOMPARE(inv1->item(1)->text(), QStringLiteral("2: <free item slot>"));
  const std::string cy = common::layout::AccountFile("cy.ini");
  QCOMPARE(common::ReadIniKey(cy, "CHAR1", "InvItemNum1"), std::string("0"));
  QCOMPARE(common::ReadIniKey(cy, "CHAR3", "InvItemDur100"), std::string("0"));
  QCOMPARE(common::ReadIniKey(cy, "CHAR1", "Name"), std::string("Cy"));
}

void FrmMainTest::wipeWithoutAccountsSaysSoAndEnablesTheList() {
  ScratchFolder s;
  s.Write("Items/Item5.dat", ItemFile("5", "Sword", "1"));
  RecordingMessages messages;
  messages.answers.push_back(common::MsgAnswer::Yes);
  frmMain w(&messages);
  QTest::mouseClick(Find<QPushButton>(w, "cmdClear"), Qt::LeftButton);
  QCOMPARE(messages.shown.size(), size_t{2});  // the question, then that there is nothing
  QCOMPARE(messages.shown[1].title, std::string(calmet::kWipeNothingTitle));
  QVERIFY(Find<QListWidget>(w, "lstAccounts")->isEnabled());
  QCOMPARE(Find<QProgressBar>(w, "prgbarProgress")->value(), 0);
  QVERIFY(!s.Exists("Accounts"));
}

void FrmMainTest::wipeNamesAccountsItCouldNotWrite() {
  ScratchFolder s;
  WriteServer(s);
  QCOMPARE(chmod(s.At("Accounts/cy.ini").c_str(), 0444), 0);
  const std::string before = s.Read("Accounts/cy.ini");
  RecordingMessages messages;
  messages.answers.push_back(common::MsgAnswer::Yes);
  frmMain w(&messages);
  auto* list = Find<QListWidget>(w, "lstAccounts");
  auto* bar = Find<QProgressBar>(w, "prgbarProgress");
  // The window's side of the wipe's events: the selection reaches the
  // account it could not write too, and the bar counts it.
  std::vector<int> rows, bars;
  w.SetWipeObserver([&](float) {
    rows.push_back(list->currentRow());
    bars.push_back(bar->value());
  });
  QTest::mouseClick(Find<QPushButton>(w, "cmdClear"), Qt::LeftButton);
  QCOMPARE(rows, (std::vector<int>{0, 1}));
  QCOMPARE(bars, (std::vector<int>{50, 100}));
  QCOMPARE(list->currentRow(), 0);
  QCOMPARE(bar->value(), 0);
  QVERIFY(!w.state().WipeInProgress);
  QCOMPARE(messages.shown.size(), size_t{2});
  QVERIFY(messages.shown[1].prompt.find("Cy.ini") != std::string::npos);
  QVERIFY(messages.shown[1].prompt.find("Bob.ini") == std::string::npos);
  QVERIFY(messages.shown[1].title != "Inventories cleared.");
  QCOMPARE(s.Read("Accounts/cy.ini"), before);
  QVERIFY(Find<QListWidget>(w, "lstAccounts")->isEnabled());
}

void FrmMainTest::wipeWhileTheServerRunsAsksAgainAndNoChangesNothing() {
  ScratchFolder s;
  WriteServer(s);
  tests::CopyStandIn(s.At("server.exe"));
  tests::StandInProcess server("./server.exe", {"./server.exe"}, s.path());
  QVERIFY(server.started());
  const std::string before = s.Read("Accounts/bob.ini");
  RecordingMessages messages;
  messages.answers = {common::MsgAnswer::Yes, common::MsgAnswer::No};
  frmMain w(&messages);
  QTest::mouseClick(Find<QPushButton>(w, "cmdClear"), Qt::LeftButton);
  // The wipe's question, the server question, and that nothing was wiped.
  QCOMPARE(messages.shown.size(), size_t{3});
  QCOMPARE(messages.shown[1].title, std::string("Server running"));
  QVERIFY(messages.shown[1].buttons == common::MsgButtons::YesNoDefaultNo);
  QCOMPARE(messages.shown[2].prompt, std::string(calmet::kWipeNotStarted) +
                                         "\nThe game server of this folder is running (process " +
                                         std::to_string(server.pid()) + ").");
  QCOMPARE(s.Read("Accounts/bob.ini"), before);
  QVERIFY(Find<QListWidget>(w, "lstAccounts")->isEnabled());
}

void FrmMainTest::wipeBacksUpFirstAndAJournalItCannotWriteIsOnlyAWarning() {
  ScratchFolder s;
  WriteServer(s);
  const std::string bob = s.Read("Accounts/bob.ini");
  // Something in the journal's place that cannot be appended to.
  s.MakeDir("server-tools.journal");
  RecordingMessages messages;
  messages.answers.push_back(common::MsgAnswer::Yes);
  frmMain w(&messages);
  QTest::mouseClick(Find<QPushButton>(w, "cmdClear"), Qt::LeftButton);
  // The window's boxes are as they were: the question, then done.
  QCOMPARE(messages.shown.size(), size_t{2});
  QCOMPARE(messages.shown[1].title, std::string(calmet::kWipeDoneTitle));
  QVERIFY(s.Read("Accounts/bob.ini") != bob);
  std::vector<std::filesystem::path> backups;
  for (const auto& e : std::filesystem::directory_iterator(s.At("Backups"))) {
    backups.push_back(e.path());
  }
  QCOMPARE(backups.size(), size_t{1});
  QVERIFY(backups[0].filename().string().ends_with("Z-wipe"));
  QVERIFY(std::filesystem::exists(backups[0] / "manifest.json"));
  QCOMPARE(s.Read("Backups/" + backups[0].filename().string() + "/bob.ini"), bob);
  QVERIFY(w.statusBar()->currentMessage().contains(QStringLiteral("journal was not written")));
}

QTEST_MAIN(FrmMainTest)
#include "tst_frmmain.moc"
