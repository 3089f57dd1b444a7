#pragma once
// A message service for tests: records every message, input box and file dialog, and answers from a
// script (queued answers first, then the default answer). Nothing ever blocks.
#include "widgets/MessageService.h"

#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

class TScriptedMessageService : public TMessageService
{
public:
  struct TEntry
  {
    TMsgKind Kind = TMsgKind::Information;
    TMsgButtons Buttons = TMsgButtons::Ok;
    QString Text;
  };

  TMsgResult Show(TMsgKind kind, const QString& text, TMsgButtons buttons) override;
  bool InputQuery(const QString& caption, const QString& prompt, QString& value) override;
  // Answered from the input queue like an input box.
  bool ChooseItem(const QString& caption, const QString& prompt, const QStringList& items, QString& value) override;
  QString OpenFileName(const QString& caption, const QString& folder, const QString& filter) override;
  QString SaveFileName(const QString& caption, const QString& folder, const QString& filter) override;

  // Script.
  void QueueAnswer(TMsgResult answer) { FAnswers.push_back(answer); }
  // Answer to a Yes/No question when nothing is queued (Ok/Cancel boxes answer with their button).
  void SetDefaultAnswer(TMsgResult answer) { FDefault = answer; }
  // std::nullopt = the user cancels the input box.
  void QueueInput(std::optional<QString> text) { FInputs.push_back(std::move(text)); }
  void QueueFileName(const QString& name) { FFileNames.push_back(name); }

  // Record.
  const std::vector<TEntry>& Entries() const { return FEntries; }
  QStringList Texts() const;
  // How many recorded messages have exactly this text.
  int Count(const QString& text) const;
  // How many recorded messages contain this text.
  int CountContaining(const QString& part) const;
  QStringList InputCaptions() const { return FInputCaptions; }
  QStringList DialogCaptions() const { return FDialogCaptions; }
  void Clear();

private:
  std::vector<TEntry> FEntries;
  std::deque<TMsgResult> FAnswers;
  std::deque<std::optional<QString>> FInputs;
  std::deque<QString> FFileNames;
  QStringList FInputCaptions;
  QStringList FDialogCaptions;
  TMsgResult FDefault = TMsgResult::Yes;
};
