#pragma once
// The program's message service: QMessageBox, QInputDialog and QFileDialog over the active window.
#include "widgets/MessageService.h"

class TQtMessageService : public TMessageService
{
public:
  TMsgResult Show(TMsgKind kind, const QString& text, TMsgButtons buttons) override;
  bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
  bool ChooseItem(const QString& caption, const QString& prompt, const QStringList& items, QString& value) override;
  QString OpenFileName(const QString& caption, const QString& folder, const QString& filter) override;
  QString SaveFileName(const QString& caption, const QString& folder, const QString& filter) override;
};
