#include "restarter/restarter_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QVBoxLayout>

#include "common/qt/ansi_text.h"
#include "common/qt/qt_message_port.h"
#include "restarter/startup_check.h"

namespace ruvane {

frmMain::frmMain(frmMainDeps deps, QWidget* parent) : QWidget(parent), deps_(std::move(deps)) {
  setObjectName("frmMain");
  setWindowTitle(kProgramTitle);
  if (!deps_.messages) {
    // The start-up box comes before the window is shown, so it has no parent.
    ownMessages_ = std::make_unique<common::QtMessagePort>(nullptr);
    deps_.messages = ownMessages_.get();
  }
  if (!deps_.starter) {
    ownStarter_ = std::make_unique<ProcessServerStarter>();
    deps_.starter = ownStarter_.get();
  }
  if (!deps_.endProgram) {
    deps_.endProgram = [](int code) { QCoreApplication::exit(code); };
  }

  lblStatus_ = new QLabel(kStatusPreparing, this);
  lblStatus_->setObjectName("lblStatus");
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);  // the closest face where it is missing
  font.setPointSizeF(13.5);
  font.setWeight(QFont::Normal);
  lblStatus_->setFont(font);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblStatus_);
  resize(380, 80);

  RestartSequence::Hooks hooks{deps_.messages, deps_.starter,
                               [this](Step step) {
                                 if (step == Step::kAnnounced)
                                   lblStatus_->setText(kStatusRestarting);
                                 if (step == Step::kStarted) ShowJournalWarning();
                               },
                               [this](const RestartResult& result) {
                                 hide();
                                 deps_.endProgram(ExitCodeOf(result));
                               }};
  sequence_.emplace(this, deps_.intervals, std::move(hooks));
}

frmMain::~frmMain() = default;

void frmMain::ShowJournalWarning() {
  const common::Status& journal = sequence_->result().journal;
  if (journal.ok()) return;
  // The restart's own text stays; the warning goes below it.
  lblStatus_->setText(lblStatus_->text() + "\n" + kJournalWarning + ".");
  lblStatus_->setToolTip(common::AnsiToQString(journal.ToString()));
}

bool frmMain::frmMain_Form_Load() { return sequence_->Load(); }

void frmMain::frmMain_tmrWait_Timer() { sequence_->OnWait(); }

void frmMain::frmMain_tmrActivate_Timer() { sequence_->OnActivate(); }

void frmMain::frmMain_tmrEnd_Timer() { sequence_->OnEnd(); }

void frmMain::frmMain_Form_Unload() { sequence_->Unload(); }

void frmMain::closeEvent(QCloseEvent* event) {
  frmMain_Form_Unload();
  event->accept();
}

}  // namespace ruvane
