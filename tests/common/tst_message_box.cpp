// The windows' message box shows names from the server's files as they are:
// markup in a name is text, not formatting.
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

#include "common/qt/qt_message_port.h"

class MessageBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void NamesAreNotMarkup() {
    const QLabel* label = nullptr;
    Qt::TextFormat format = Qt::AutoText;
    // Runs inside the box's own event loop, then closes it.
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      label = box->findChild<QLabel*>("qt_msgbox_label");
      if (label) format = label->textFormat();
      box->done(QMessageBox::Ok);
    });
    common::QtMessagePort(nullptr).Show("<b>Evil</b><img src=\"x\"> was not wiped.", "Title",
                                        common::MsgButtons::Ok, common::MsgIcon::Stop);
    QVERIFY(label);
    QCOMPARE(format, Qt::PlainText);
  }
};

QTEST_MAIN(MessageBoxTest)
#include "tst_message_box.moc"
