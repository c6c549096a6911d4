#include "common/qt/qt_message_port.h"

#include <QMessageBox>

#include "common/qt/ansi_text.h"

namespace common {

MsgAnswer QtMessagePort::Show(const std::string& prompt, const std::string& title,
                              MsgButtons buttons, MsgIcon icon) {
  QMessageBox box(icon == MsgIcon::Stop ? QMessageBox::Critical : QMessageBox::NoIcon,
                  AnsiToQString(title), AnsiToQString(prompt),
                  buttons == MsgButtons::YesNo ? (QMessageBox::Yes | QMessageBox::No)
                                               : QMessageBox::StandardButtons(QMessageBox::Ok),
                  parent_);
  // Prompts carry names from the server's files: shown as they are, never
  // as markup.
  box.setTextFormat(Qt::PlainText);
  int answer = box.exec();
  if (buttons == MsgButtons::Ok) return MsgAnswer::Ok;
  return answer == QMessageBox::Yes ? MsgAnswer::Yes : MsgAnswer::No;
}

}  // namespace common
