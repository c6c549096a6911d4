#include "accounts/accounts_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStatusBar>
#include <cmath>
#include <cstdio>

#include "accounts/wipe_backup.h"
#include "common/file_search.h"
#include "common/qt/ansi_text.h"
#include "common/qt/qt_message_port.h"
#include "common/server_layout.h"
#include "common/server_process.h"
#include "common/visible_text.h"

namespace calmet {

namespace {

// The layout is kept in twips, as the window was designed; 15 twips a pixel.
constexpr int kTwipsPerPixel = 15;

QRect Twips(int left, int top, int width, int height) {
  return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
               height / kTwipsPerPixel);
}

QFont FormFont(double points, bool bold) {
  QFont f(QStringLiteral("MS Sans Serif"));
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

const char* const kCharacterObjectSuffix[kCharacters] = {"1", "2", "3"};

}  // namespace

// The wipe's events in this window: the list's selection follows the
// account the wipe is at, without showing it, and the bar its progress.
class frmMain::WipeEvents : public common::JobEvents {
 public:
  explicit WipeEvents(frmMain& w) : w_(w) {}
  void Started(const common::JobResult& result) override {
    w_.state_.WipeInProgress = true;
    total_ = result.last - result.first + 1;
  }
  void BeforeItem(int32_t item) override { w_.SelectWithoutShowing(item - 1); }
  void ItemDone(int32_t item) override { Progress(item); }
  void ItemProblem(const common::ItemProblem& problem) override { Progress(problem.item); }

 private:
  void Progress(int32_t item) {
    const float percent = static_cast<float>(static_cast<double>(item) / total_ * 100.0);
    w_.prgbarProgress_->setValue(static_cast<int>(std::lround(percent)));
    // The wipe keeps the event loop waiting, so paint the bar now.
    w_.prgbarProgress_->repaint();
    if (w_.wipeObserver_) w_.wipeObserver_(percent);
  }

  frmMain& w_;
  int32_t total_ = 1;
};

frmMain::frmMain(common::MessagePort* messages, QWidget* parent)
    : QMainWindow(parent), server_(common::ServerFolder::Program()) {
  if (messages) {
    messages_ = messages;
  } else {
    ownMessages_ = std::make_unique<common::QtMessagePort>(this);
    messages_ = ownMessages_.get();
  }
  BuildControls();
  Form_Load();
}

frmMain::~frmMain() = default;

void frmMain::BuildControls() {
  setWindowTitle(QStringLiteral("Nolvaria Calmet"));
  setFont(FormFont(8.25, false));

  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("mnuFile"));

  auto* client = new QWidget(this);
  client->setFixedSize(8760 / kTwipsPerPixel, 8130 / kTwipsPerPixel);
  setCentralWidget(client);

  lblTAccounts_ = new QLabel(client);
  lblTAccounts_->setObjectName(QStringLiteral("lblTAccounts"));
  lblTAccounts_->setGeometry(Twips(0, 0, 1815, 255));
  lblTAccounts_->setTextFormat(Qt::PlainText);

  lstAccounts_ = new QListWidget(client);
  lstAccounts_->setObjectName(QStringLiteral("lstAccounts"));
  lstAccounts_->setGeometry(Twips(0, 240, 3255, 6300));
  lstAccounts_->setFont(FormFont(9.75, true));
  lstAccounts_->setSortingEnabled(false);
  lstAccounts_->setSelectionMode(QAbstractItemView::SingleSelection);

  cmdClear_ = new QPushButton(QStringLiteral("Delete all items from player inventories"), client);
  cmdClear_->setObjectName(QStringLiteral("cmdClear"));
  cmdClear_->setGeometry(Twips(0, 6600, 2895, 375));
  // The host's substitute for "MS Sans Serif" may be wider than the original
  // face: shrink the caption's font until the whole caption fits the button.
  {
    QFont f = cmdClear_->font();
    const int room = cmdClear_->width() - 8;
    while (f.pointSizeF() > 5 && QFontMetrics(f).horizontalAdvance(cmdClear_->text()) > room) {
      f.setPointSizeF(f.pointSizeF() - 0.25);
    }
    cmdClear_->setFont(f);
  }

  prgbarProgress_ = new QProgressBar(client);
  prgbarProgress_->setObjectName(QStringLiteral("prgbarProgress"));
  prgbarProgress_->setGeometry(Twips(0, 7800, 3975, 255));
  prgbarProgress_->setRange(0, 100);
  prgbarProgress_->setValue(0);
  prgbarProgress_->setTextVisible(false);

  const int frameTops[kCharacters] = {120, 2760, 5400};
  const char* const statCaptions[4] = {"Strength", "Defense", "Speed", "Magic"};
  const char* const statPrefixes[4] = {"lblSTR", "lblDEF", "lblSPD", "lblMAGI"};
  const int statTops[4] = {150, 720, 1320, 1920};
  for (int c = 0; c < kCharacters; ++c) {
    const QString n = QString::fromLatin1(kCharacterObjectSuffix[c]);
    auto* frame = new QGroupBox(common::AnsiToQString(DefaultCaption(c + 1)), client);
    frame->setObjectName(QStringLiteral("fraChar") + n);
    frame->setGeometry(Twips(4080, frameTops[c], 4575, 2535));
    frame->setFont(FormFont(8.25, true));
    fraChar_[c] = frame;

    auto* list = new QListWidget(frame);
    list->setObjectName(QStringLiteral("lstChar") + n);
    list->setGeometry(Twips(120, 240, 2655, 2205));
    list->setFont(FormFont(8.25, false));
    lstChar_[c] = list;

    std::array<QLabel*, 4> labels{};
    for (int s = 0; s < 4; ++s) {
      auto* stat = new QGroupBox(QString::fromLatin1(statCaptions[s]), frame);
      stat->setGeometry(Twips(3000, statTops[s], 1215, 495));
      stat->setFont(FormFont(8.25, true));
      auto* label = new QLabel(stat);
      label->setObjectName(QString::fromLatin1(statPrefixes[s]) + n);
      label->setGeometry(Twips(120, 240, 855, 255));
      label->setFont(FormFont(8.25, true));
      label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
      // Values come from the server's files: shown as they are, never as
      // markup.
      label->setTextFormat(Qt::PlainText);
      labels[s] = label;
    }
    lblSTR_[c] = labels[0];
    lblDEF_[c] = labels[1];
    lblSPD_[c] = labels[2];
    lblMAGI_[c] = labels[3];
  }

  // Selection, by the user or by code, shows the account. Focus alone moves
  // the current row without selecting, and must not.
  connect(lstAccounts_, &QListWidget::itemSelectionChanged, this, [this] {
    selectionChangedByPress_ = true;
    lstAccounts_Click();
  });
  // A click on the account already selected changes no selection, yet the
  // server may have rewritten the file since: read it again then.
  lstAccounts_->viewport()->installEventFilter(this);
  connect(lstAccounts_, &QListWidget::pressed, this, [this] {
    if (!selectionChangedByPress_) lstAccounts_Click();
  });
  connect(cmdClear_, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
}

void frmMain::Form_Load() {
  AccountsStart start = StartListing(server_, state_);
  for (const Box& box : start.boxes) ShowBox(*messages_, box, false);
  listing_ = std::move(start.listing);
  for (const std::string& line : listing_.lines) lstAccounts_->addItem(common::AnsiToQString(line));
  lblTAccounts_->setText(common::AnsiToQString(listing_.label));
}

int frmMain::SelectedRow() const {
  const QModelIndexList rows = lstAccounts_->selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == lstAccounts_->viewport() && event->type() == QEvent::MouseButtonPress) {
    selectionChangedByPress_ = false;  // set again if this press selects another row
  }
  return QMainWindow::eventFilter(watched, event);
}

void frmMain::lstAccounts_Click() {
  const int row = SelectedRow();
  if (row < 0 || static_cast<size_t>(row) >= listing_.files.size()) return;
  // Each position reaches its own file, whatever case the list shows.
  const AccountView view = ShowAccount(server_, listing_.files[row]);
  ShowView(view);
  if (!view.status.ok()) ShowBox(*messages_, UnreadableBox(view.status), false);
}

void frmMain::SelectWithoutShowing(int row) {
  const QSignalBlocker quiet(lstAccounts_);
  lstAccounts_->setCurrentRow(row);
}

void frmMain::ShowView(const AccountView& view) {
  for (int c = 0; c < kCharacters; ++c) {
    const CharacterView& ch = view.characters[c];
    fraChar_[c]->setTitle(common::AnsiToQString(ch.caption));
    lblSTR_[c]->setText(common::AnsiToQString(ch.str));
    lblDEF_[c]->setText(common::AnsiToQString(ch.def));
    lblSPD_[c]->setText(common::AnsiToQString(ch.spd));
    lblMAGI_[c]->setText(common::AnsiToQString(ch.magi));
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(ch.inventory.size()));
    for (const std::string& line : ch.inventory) lines.append(common::AnsiToQString(line));
    lstChar_[c]->clear();
    lstChar_[c]->addItems(lines);
  }
}

void frmMain::cmdClear_Click() {
  WipeEvents events(*this);
  // Every account is backed up before the first write, into a new folder
  // below Backups; the window's texts stay as they were, the folder is named
  // on the console and in the journal.
  WipeBackup backup;
  const WipeClickResult click = WipeClick(
      server_, listing_, *messages_, events,
      [&] {
        // Asked after the wipe's own question, right before the first write.
        if (common::Status s =
                common::CheckServerBeforeWrite(*messages_, common::ServerCheck::kAsk);
            !s.ok()) {
          return s;
        }
        lstAccounts_->setEnabled(false);
        common::JobEvents quiet;
        if (common::Status s = backup.Make(server_, listing_, std::string(), quiet); !s.ok()) {
          return s;
        }
        std::fprintf(
            stderr, "%s\n",
            common::VisibleName("Calmet: the accounts are backed up in " + backup.host()).c_str());
        return common::Status::OK();
      },
      &backup.copies(), backup.written());
  if (click.outcome == WipeClickOutcome::kDeclined) return;
  if (const std::optional<Box> box = ClickBox(click, listing_)) ShowBox(*messages_, *box, false);
  if (click.wipe.started) {
    std::string shown;
    // A wipe that started had its backup made first.
    for (const std::string& warning : RecordWipe(server_, click.wipe, &backup)) {
      std::fprintf(stderr, "%s\n", common::VisibleName("Calmet: warning: " + warning).c_str());
      shown += (shown.empty() ? "Warning: " : "; ") + warning;
    }
    if (!shown.empty()) statusBar()->showMessage(common::VisibleText(common::AnsiToQString(shown)));
    // Still frozen: this selection must not redraw the view.
    SelectWithoutShowing(0);
    state_.WipeInProgress = false;
    lstAccounts_Click();
    prgbarProgress_->setValue(0);
  }
  lstAccounts_->setEnabled(true);
}

void frmMain::closeEvent(QCloseEvent* event) {
  // Closing the window ends the program; nothing is saved or asked.
  event->accept();
  QCoreApplication::quit();
}

}  // namespace calmet
