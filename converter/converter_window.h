// The converter's one window: six tab pages (five profile-file kinds and the
// maps), a Max box and a Convert button on each, one shared progress bar.
// The window only reads its controls and hands them, with the state it owns
// and the server folder, to its pages' Convert clicks (page_click), which
// run the jobs and show their events and results through the window as a
// PageView.
//
// Controls carry their names as Qt object names. "tabOrganization" is a plain
// widget at the tab strip's place holding the window's only QTabBar and one
// page widget per tab, each page as large as the strip, so a frame's position
// on its page is its position in the strip; selecting a tab on that QTabBar
// (a click or setCurrentIndex) runs frmMain_tabOrganization_Click.
#pragma once

#include <QWidget>
#include <memory>
#include <string>

#include "common/qt/event_pump.h"
#include "converter/converter_state.h"
#include "converter/page_click.h"

class QCheckBox;
class QCloseEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTabBar;

namespace vostrel {

class frmMain : public QWidget, public PageView {
  Q_OBJECT

 public:
  // `messages` answers the window's message boxes; null means real Qt boxes.
  // The port must outlive the window.
  explicit frmMain(common::MessagePort* messages = nullptr, QWidget* parent = nullptr);
  ~frmMain() override;

  // Replaces the port that shows message boxes (null: real Qt boxes again).
  void SetMessagePort(common::MessagePort* messages);

  // True while a Convert click runs its job.
  bool JobRunning() const { return jobRunning_; }

  // The maxima, record tables and progress the jobs work on.
  ConverterState& State() { return state_; }

  // PageView.
  void PumpEventsOnce() override;
  void SetProgress(uint8_t percent) override;
  void SetStatus(Page page, const std::string& caption) override;
  bool StopRequested() override { return stopRequested_; }
  common::MessagePort& Messages() override;

  // Event handlers, public so tests can drive them like the controls do.
  void frmMain_cmdItemConvert_Click();
  void frmMain_cmdSpellConvert_Click();
  void frmMain_cmdSignConvert_Click();
  void frmMain_cmdShopConvert_Click();
  void frmMain_cmdNPCConvert_Click();
  void frmMain_cmdMapConvert_Click();
  void frmMain_tabOrganization_Click();

 protected:
  // A close during a job asks the job to stop and closes once it returned.
  void closeEvent(QCloseEvent* event) override;

 private:
  struct PageControls {
    QWidget* page = nullptr;  // the tab page that holds the frame
    QFrame* frame = nullptr;
    QLabel* maxLabel = nullptr;
    QLineEdit* maxText = nullptr;
    QPushButton* convert = nullptr;
    QLabel* status = nullptr;
  };

  void BuildPage(Page page, const char* frameName, const char* maxLabelName,
                 const char* maxLabelCaption, const char* maxTextName, const char* maxTextDefault,
                 const char* buttonName, const char* statusName);
  void ShowTabPage(int index);
  // Runs one page's job with every control that could start another job
  // disabled, then closes the window if that was asked for meanwhile.
  template <typename Job>
  void RunJob(Job job);
  void SetJobControlsEnabled(bool enabled);
  std::string MaxText(Page page) const;

  PageControls pages_[6];
  QWidget* tabOrganization_ = nullptr;
  QTabBar* tabBar_ = nullptr;
  QProgressBar* prgbarStatus_ = nullptr;
  QCheckBox* chk98_ = nullptr;

  ConverterState state_;
  std::unique_ptr<common::MessagePort> ownMessages_;
  common::MessagePort* messages_ = nullptr;
  bool jobRunning_ = false;
  bool stopRequested_ = false;
  bool closeAfterJob_ = false;
  common::EventPump pump_;
};

}  // namespace vostrel
