// QMessageBox behind the MessagePort interface.
#pragma once

#include "common/message_port.h"

class QWidget;

namespace common {

class QtMessagePort : public MessagePort {
 public:
  explicit QtMessagePort(QWidget* parent) : parent_(parent) {}
  MsgAnswer Show(const std::string& prompt, const std::string& title, MsgButtons buttons,
                 MsgIcon icon) override;

 private:
  QWidget* parent_;
};

}  // namespace common
