#include "frontend/qt/message_box.h"

#include <QMessageBox>
#include <QPushButton>

#include "model/display_text.h"

namespace tidwen::qt {

int QtMessageBoxService::MsgBox(std::string_view text, MsgBoxButtons buttons, MsgBoxIcon icon,
                                std::string_view title) {
  QMessageBox box(parent_);
  box.setWindowTitle(
      QString::fromStdString(DisplayText(title.empty() ? kApplicationTitle : title)));
  // Texts carry paths: show them as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(QString::fromStdString(DisplayText(text)));
  box.setIcon(icon == MsgBoxIcon::kExclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
  // The window's own font, which a dialog does not take from its parent.
  if (parent_) box.setFont(parent_->font());
  // Chinese captions whatever the locale; Y and N answer as the letters on
  // the buttons say, with or without Alt.
  if (buttons == MsgBoxButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("是(&Y)"));
    box.button(QMessageBox::No)->setText(QStringLiteral("否(&N)"));
    box.setDefaultButton(QMessageBox::Yes);
    box.setEscapeButton(QMessageBox::No);
  } else {
    box.setStandardButtons(QMessageBox::Ok);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("确定"));
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(QMessageBox::Ok);
  }
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Yes:
      return kMsgBoxYes;
    case QMessageBox::No:
      return kMsgBoxNo;
    default:
      return buttons == MsgBoxButtons::kYesNo ? kMsgBoxNo : kMsgBoxOk;
  }
}

}  // namespace tidwen::qt
