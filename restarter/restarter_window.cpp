#include "restarter/restarter_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "common/qt/qt_message_port.h"
#include "restarter/startup_check.h"

namespace ruvane {

namespace {

QTimer* MakeTimer(QObject* owner, const char* name, int interval) {
  auto* timer = new QTimer(owner);
  timer->setObjectName(name);
  timer->setInterval(interval);
  // A coarse timer may fire up to 5% early (1.75 s on the 35 s wait); each
  // step of the restart must come no sooner than its interval.
  timer->setTimerType(Qt::PreciseTimer);
  return timer;
}

}  // namespace

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

  lblStatus_ = new QLabel("Preparing to restart the server...", this);
  lblStatus_->setObjectName("lblStatus");
  QFont font("MS Sans Serif");
  font.setStyleHint(QFont::SansSerif);  // the closest face where it is missing
  font.setPointSizeF(13.5);
  font.setWeight(QFont::Normal);
  lblStatus_->setFont(font);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblStatus_);
  resize(380, 80);

  tmrWait_ = MakeTimer(this, "tmrWait", deps_.intervals.wait);
  tmrActivate_ = MakeTimer(this, "tmrActivate", deps_.intervals.activate);
  tmrEnd_ = MakeTimer(this, "tmrEnd", deps_.intervals.end);
  connect(tmrWait_, &QTimer::timeout, this, &frmMain::frmMain_tmrWait_Timer);
  connect(tmrActivate_, &QTimer::timeout, this, &frmMain::frmMain_tmrActivate_Timer);
  connect(tmrEnd_, &QTimer::timeout, this, &frmMain::frmMain_tmrEnd_Timer);
  tmrWait_->start();
}

frmMain::~frmMain() = default;

bool frmMain::frmMain_Form_Load() {
  // Nothing may tick while the box waits for the user: a failed check starts
  // no server, however long the box stays open.
  tmrWait_->stop();
  if (!CheckServerPresent(*deps_.messages)) {
    EndProgram(1);
    return false;
  }
  tmrWait_->start();
  return true;
}

void frmMain::frmMain_tmrWait_Timer() {
  if (ended_) return;
  // tmrWait stays enabled; its next tick would come after the program ended.
  tmrActivate_->start();
  lblStatus_->setText("Restarting the server...");
}

void frmMain::frmMain_tmrActivate_Timer() {
  if (ended_) return;
  const common::Status result = deps_.starter->StartServer();
  if (!result.ok()) {
    // No tick may start anything while the report waits for the user.
    ended_ = true;
    StopTimers();
    ReportStartError(*deps_.messages, result);
    EndProgram(1);
    return;
  }
  tmrEnd_->start();
  tmrActivate_->stop();
}

void frmMain::frmMain_tmrEnd_Timer() {
  if (ended_) return;
  EndProgram(0);
}

void frmMain::frmMain_Form_Unload() {
  if (ended_) return;
  EndProgram(0);
}

void frmMain::closeEvent(QCloseEvent* event) {
  frmMain_Form_Unload();
  event->accept();
}

void frmMain::StopTimers() {
  tmrWait_->stop();
  tmrActivate_->stop();
  tmrEnd_->stop();
}

void frmMain::EndProgram(int code) {
  ended_ = true;
  StopTimers();
  hide();
  deps_.endProgram(code);
}

}  // namespace ruvane
