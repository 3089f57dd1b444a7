#include "widgets/QtMessageService.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include <algorithm>

TMsgResult TQtMessageService::Show(TMsgKind kind, const QString& text, TMsgButtons buttons)
{
  QMessageBox box(QApplication::activeWindow());
  box.setText(text);
  switch (kind) {
    case TMsgKind::Error:
      box.setIcon(QMessageBox::Critical);
      box.setWindowTitle(QObject::tr("Error"));
      break;
    case TMsgKind::Warning:
      box.setIcon(QMessageBox::Warning);
      box.setWindowTitle(QObject::tr("Warning"));
      break;
    case TMsgKind::Information:
      box.setIcon(QMessageBox::Information);
      box.setWindowTitle(QObject::tr("Information"));
      break;
    case TMsgKind::Confirmation:
      box.setIcon(QMessageBox::Question);
      box.setWindowTitle(QObject::tr("Confirm"));
      break;
    case TMsgKind::Plain:
      box.setIcon(QMessageBox::NoIcon);
      box.setWindowTitle("Vemra");
      break;
  }
  switch (buttons) {
    case TMsgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      break;
    case TMsgButtons::Cancel:
      box.setStandardButtons(QMessageBox::Cancel);
      break;
    case TMsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Yes:
      return TMsgResult::Yes;
    case QMessageBox::No:
      return TMsgResult::No;
    case QMessageBox::Cancel:
      return TMsgResult::Cancel;
    default:
      return buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Ok;
  }
}

bool TQtMessageService::InputQuery(const QString& caption, const QString& prompt, QString& value)
{
  bool ok = false;
  const QString result =
      QInputDialog::getText(QApplication::activeWindow(), caption, prompt, QLineEdit::Normal, value, &ok);
  if (ok)
    value = result;
  return ok;
}

bool TQtMessageService::ChooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                                   QString& value)
{
  bool ok = false;
  const int current = std::max(0, static_cast<int>(items.indexOf(value)));
  const QString result =
      QInputDialog::getItem(QApplication::activeWindow(), caption, prompt, items, current, false, &ok);
  if (ok)
    value = result;
  return ok;
}

QString TQtMessageService::OpenFileName(const QString& caption, const QString& folder, const QString& filter)
{
  return QFileDialog::getOpenFileName(QApplication::activeWindow(), caption, folder, filter);
}

QString TQtMessageService::SaveFileName(const QString& caption, const QString& folder, const QString& filter)
{
  return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, folder, filter);
}
