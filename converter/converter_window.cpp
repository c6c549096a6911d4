#include "converter/converter_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>

#include "common/qt/ansi_text.h"
#include "common/qt/qt_message_port.h"
#include "common/server_folder.h"
#include "converter/page_click.h"

namespace vostrel {

namespace {

// The layout is kept in twips, as the window was always drawn; 15 twips make
// one pixel at 96 dots per inch.
constexpr int Px(int twips) { return twips / 15; }

QRect TwipRect(int left, int top, int width, int height) {
  return QRect(Px(left), Px(top), Px(width), Px(height));
}

constexpr int kPageCount = 6;
const char* const kTabCaptions[kPageCount] = {"Items", "Spells", "Signs", "Shops", "NPCs", "Maps"};

}  // namespace

frmMain::frmMain(common::MessagePort* messages, QWidget* parent) : QWidget(parent) {
  setObjectName("frmMain");
  setWindowTitle(common::AnsiToQString("Drask Conversion Software"));
  setFixedSize(Px(4845), Px(2460));
  // The layout was drawn for a small 8-point face; larger default fonts
  // would cut the captions short.
  QFont small = font();
  small.setPixelSize(10);
  setFont(small);
  SetMessagePort(messages);

  tabOrganization_ = new QWidget(this);
  tabOrganization_->setObjectName("tabOrganization");
  tabOrganization_->setGeometry(TwipRect(0, 0, 4815, 2160));

  tabBar_ = new QTabBar(tabOrganization_);
  tabBar_->setObjectName("tabOrganizationTabs");
  tabBar_->setExpanding(true);
  tabBar_->setUsesScrollButtons(false);  // all six tabs stay in view
  tabBar_->setDrawBase(false);
  for (const char* caption : kTabCaptions) tabBar_->addTab(common::AnsiToQString(caption));
  tabBar_->adjustSize();
  const int barHeight = tabBar_->sizeHint().height();
  tabBar_->setGeometry(0, 0, tabOrganization_->width(), barHeight);

  // The panel under the tabs, only for looks.
  auto* pane = new QFrame(tabOrganization_);
  pane->setFrameShape(QFrame::StyledPanel);
  pane->setGeometry(0, barHeight - 1, tabOrganization_->width(),
                    tabOrganization_->height() - barHeight + 1);

  for (int i = 0; i < kPageCount; ++i) {
    pages_[i].page = new QWidget(tabOrganization_);
    pages_[i].page->setObjectName(QString("tabPage%1").arg(kTabCaptions[i]));
    pages_[i].page->setGeometry(0, 0, tabOrganization_->width(), tabOrganization_->height());
  }
  BuildPage(Page::Items, "fraItems", "lblMaxItems", "Max Items:", "txtMaxItems",
            DefaultMaximum(Page::Items), "cmdItemConvert", "lblItemStatus");
  BuildPage(Page::Spells, "fraSpells", "lblMaxSpells", "Max Spells:", "txtMaxSpells",
            DefaultMaximum(Page::Spells), "cmdSpellConvert", "lblSpellStatus");
  BuildPage(Page::Signs, "fraSigns", "lblMaxSigns", "Max Signs:", "txtMaxSigns",
            DefaultMaximum(Page::Signs), "cmdSignConvert", "lblSignStatus");
  BuildPage(Page::Shops, "fraShops", "lblMaxShops", "Max Shops:", "txtMaxShops",
            DefaultMaximum(Page::Shops), "cmdShopConvert", "lblShopStatus");
  BuildPage(Page::NPCs, "fraNPC", "lblMaxNPCs", "Max NPCs:", "txtMaxNPCs",
            DefaultMaximum(Page::NPCs), "cmdNPCConvert", "lblNPCStatus");
  BuildPage(Page::Maps, "fraMaps", "lblMaxMaps", "Max Maps:", "txtMaxMaps",
            DefaultMaximum(Page::Maps), "cmdMapConvert", "lblMapStatus");

  chk98_ = new QCheckBox(common::AnsiToQString("Format to work for Windows 98"),
                         pages_[static_cast<int>(Page::Maps)].frame);
  chk98_->setObjectName("chk98");
  chk98_->setGeometry(TwipRect(0, 480, 2775, 255));
  chk98_->setCheckState(Qt::Unchecked);

  // Only the Items and Maps frames start out shown; the tab handler shows
  // one of the five profile-file frames at a time from then on.
  for (Page p : {Page::Spells, Page::Signs, Page::Shops, Page::NPCs}) {
    pages_[static_cast<int>(p)].frame->hide();
  }

  tabBar_->raise();
  ShowTabPage(0);

  prgbarStatus_ = new QProgressBar(this);
  prgbarStatus_->setObjectName("prgbarStatus");
  prgbarStatus_->setGeometry(TwipRect(0, 2160, 4815, 255));
  prgbarStatus_->setRange(0, 100);
  prgbarStatus_->setValue(0);

  connect(tabBar_, &QTabBar::currentChanged, this, [this](int index) {
    ShowTabPage(index);
    frmMain_tabOrganization_Click();
  });
  auto button = [this](Page p) { return pages_[static_cast<int>(p)].convert; };
  connect(button(Page::Items), &QPushButton::clicked, this,
          [this] { frmMain_cmdItemConvert_Click(); });
  connect(button(Page::Spells), &QPushButton::clicked, this,
          [this] { frmMain_cmdSpellConvert_Click(); });
  connect(button(Page::Signs), &QPushButton::clicked, this,
          [this] { frmMain_cmdSignConvert_Click(); });
  connect(button(Page::Shops), &QPushButton::clicked, this,
          [this] { frmMain_cmdShopConvert_Click(); });
  connect(button(Page::NPCs), &QPushButton::clicked, this,
          [this] { frmMain_cmdNPCConvert_Click(); });
  connect(button(Page::Maps), &QPushButton::clicked, this,
          [this] { frmMain_cmdMapConvert_Click(); });
}

frmMain::~frmMain() = default;

void frmMain::BuildPage(Page page, const char* frameName, const char* maxLabelName,
                        const char* maxLabelCaption, const char* maxTextName,
                        const char* maxTextDefault, const char* buttonName,
                        const char* statusName) {
  PageControls& c = pages_[static_cast<int>(page)];
  c.frame = new QFrame(c.page);
  c.frame->setObjectName(frameName);
  c.frame->setFrameShape(QFrame::NoFrame);
  c.frame->setGeometry(TwipRect(120, 600, 4575, 1455));

  c.maxLabel = new QLabel(common::AnsiToQString(maxLabelCaption), c.frame);
  c.maxLabel->setObjectName(maxLabelName);
  c.maxLabel->setGeometry(TwipRect(0, 0, 855, 255));

  c.maxText = new QLineEdit(common::AnsiToQString(maxTextDefault), c.frame);
  c.maxText->setObjectName(maxTextName);
  c.maxText->setGeometry(TwipRect(840, 0, 735, 285));

  c.convert = new QPushButton(common::AnsiToQString("Convert"), c.frame);
  c.convert->setObjectName(buttonName);
  c.convert->setGeometry(TwipRect(1680, 0, 1335, 255));

  c.status = new QLabel(QString(), c.frame);
  c.status->setObjectName(statusName);
  c.status->setGeometry(TwipRect(3000, 0, 1575, 375));
  c.status->setWordWrap(true);
  c.status->setTextFormat(Qt::PlainText);
  c.status->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void frmMain::ShowTabPage(int index) {
  for (int i = 0; i < kPageCount; ++i) pages_[i].page->setVisible(i == index);
  tabBar_->raise();
}

void frmMain::SetMessagePort(common::MessagePort* messages) {
  if (messages) {
    messages_ = messages;
    return;
  }
  if (!ownMessages_) ownMessages_ = std::make_unique<common::QtMessagePort>(this);
  messages_ = ownMessages_.get();
}

common::MessagePort& frmMain::Messages() { return *messages_; }

// The jobs call this once per record; the loop runs when it is due (every
// 10 ms), while the bar is still set per record and painted as the loop runs.
void frmMain::PumpEventsOnce() { pump_.PumpWhenDue(); }

void frmMain::SetProgress(uint8_t percent) { prgbarStatus_->setValue(percent); }

void frmMain::SetStatus(Page page, const std::string& caption) {
  pages_[static_cast<int>(page)].status->setText(common::AnsiToQString(caption));
}

std::string frmMain::MaxText(Page page) const {
  return common::QStringToAnsi(pages_[static_cast<int>(page)].maxText->text());
}

void frmMain::SetJobControlsEnabled(bool enabled) {
  for (PageControls& c : pages_) {
    c.maxText->setEnabled(enabled);
    c.convert->setEnabled(enabled);
  }
  chk98_->setEnabled(enabled);
}

template <typename Job>
void frmMain::RunJob(Job job) {
  // The jobs let the event loop run between records; with the controls that
  // start a job disabled, no job can begin inside another and change the
  // maximum or table the running one works on.
  if (jobRunning_) return;
  jobRunning_ = true;
  stopRequested_ = false;
  SetJobControlsEnabled(false);
  pump_.Restart(prgbarStatus_);
  job();
  pump_.End();
  SetJobControlsEnabled(true);
  jobRunning_ = false;
  if (closeAfterJob_) {
    closeAfterJob_ = false;
    close();
  }
}

void frmMain::frmMain_cmdItemConvert_Click() {
  RunJob([this] {
    ConvertClick(common::ServerFolder::Program(), state_, Page::Items, MaxText(Page::Items), *this);
  });
}

void frmMain::frmMain_cmdSpellConvert_Click() {
  RunJob([this] {
    ConvertClick(common::ServerFolder::Program(), state_, Page::Spells, MaxText(Page::Spells),
                 *this);
  });
}

void frmMain::frmMain_cmdSignConvert_Click() {
  RunJob([this] {
    ConvertClick(common::ServerFolder::Program(), state_, Page::Signs, MaxText(Page::Signs), *this);
  });
}

void frmMain::frmMain_cmdShopConvert_Click() {
  RunJob([this] {
    ConvertClick(common::ServerFolder::Program(), state_, Page::Shops, MaxText(Page::Shops), *this);
  });
}

void frmMain::frmMain_cmdNPCConvert_Click() {
  RunJob([this] {
    ConvertClick(common::ServerFolder::Program(), state_, Page::NPCs, MaxText(Page::NPCs), *this);
  });
}

void frmMain::frmMain_cmdMapConvert_Click() {
  RunJob([this] {
    // The box's value as the map job knows it: 0 unchecked, 1 checked,
    // 2 grayed.
    int chk98State = 0;
    if (chk98_->checkState() == Qt::Checked) chk98State = 1;
    if (chk98_->checkState() == Qt::PartiallyChecked) chk98State = 2;
    MapConvertClick(common::ServerFolder::Program(), state_, MaxText(Page::Maps), chk98State,
                    *this);
  });
}

void frmMain::frmMain_tabOrganization_Click() {
  // Only the bar goes back to 0; the shared percentage keeps its value.
  prgbarStatus_->setValue(0);
  const int index = tabBar_->currentIndex();
  if (index < 0 || index >= static_cast<int>(Page::Maps)) return;  // Maps: frames unchanged
  for (int i = 0; i < static_cast<int>(Page::Maps); ++i) pages_[i].frame->setVisible(i == index);
}

void frmMain::closeEvent(QCloseEvent* event) {
  if (jobRunning_) {
    // Let the job finish the record at hand, so no file is left
    // half-written; RunJob closes the window once the job has returned.
    stopRequested_ = true;
    closeAfterJob_ = true;
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace vostrel
