// The account inspector's window: the account list, the three character
// frames and the wipe button. It reads its controls, calls the listing, the
// view and the wipe, and shows what comes back; they hold the logic.
#pragma once

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>

#include "accounts/account_list.h"
#include "accounts/accounts_state.h"
#include "accounts/character_view.h"
#include "accounts/inventory_wipe.h"
#include "common/message_port.h"
#include "common/server_folder.h"

class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace calmet {

class frmMain : public QMainWindow {
  Q_OBJECT

 public:
  // Builds the window and runs its start (list, then the items-folder
  // warning) on the program folder. `messages` answers the boxes; null means
  // real message boxes.
  explicit frmMain(common::MessagePort* messages = nullptr, QWidget* parent = nullptr);
  ~frmMain() override;

  // Called after each account of a wipe, once the bar shows `percent`.
  void SetWipeObserver(std::function<void(float percent)> observer) {
    wipeObserver_ = std::move(observer);
  }

  // What the procedures remember between calls (the account count, the wipe
  // flag); the window owns it.
  const AccountsState& state() const { return state_; }

 public slots:
  void lstAccounts_Click();
  void cmdClear_Click();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class WipeEvents;

  void BuildControls();
  void Form_Load();
  int SelectedRow() const;
  void ShowView(const AccountView& view);
  // Moves the list's selection without showing the account (the wipe's
  // walk through the list).
  void SelectWithoutShowing(int row);

  std::unique_ptr<common::MessagePort> ownMessages_;
  common::MessagePort* messages_;
  // The server folder the window works on, fixed at its start.
  common::ServerFolder server_;
  AccountsState state_;
  AccountListing listing_;
  std::function<void(float)> wipeObserver_;
  // Whether the mouse press being handled selected another row (which shows
  // it already).
  bool selectionChangedByPress_ = false;

  QLabel* lblTAccounts_ = nullptr;
  QListWidget* lstAccounts_ = nullptr;
  QPushButton* cmdClear_ = nullptr;
  QProgressBar* prgbarProgress_ = nullptr;
  std::array<QGroupBox*, kCharacters> fraChar_{};
  std::array<QListWidget*, kCharacters> lstChar_{};
  std::array<QLabel*, kCharacters> lblSTR_{}, lblDEF_{}, lblSPD_{}, lblMAGI_{};
};

}  // namespace calmet
