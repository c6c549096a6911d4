#include "common/qt/qt_message_port.h"

#include <QMessageBox>

#include "common/qt/ansi_text.h"

namespace common {

MsgAnswer QtMessagePort::Show(const std::string& prompt, const std::string& title,
                              MsgButtons buttons, MsgIcon icon) {
  const bool yesNo = buttons != MsgButtons::Ok;
  QMessageBox box(
      icon == MsgIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon, AnsiToQString(title),
      AnsiToQString(prompt),
      yesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::StandardButtons(QMessageBox::Ok),
      parent_);
  if (buttons == MsgButtons::YesNoDefaultNo) box.setDefaultButton(QMessageBox::No);
  // Prompts carry names from the server's files: shown as they are, never
  // as markup.
  box.setTextFormat(Qt::PlainText);
  int answer = box.exec();
  if (!yesNo) return MsgAnswer::Ok;
  return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

}  // namespace common
