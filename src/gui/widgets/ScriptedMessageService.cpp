#include "widgets/ScriptedMessageService.h"

TMsgResult TScriptedMessageService::Show(TMsgKind kind, const QString& text, TMsgButtons buttons)
{
  FEntries.push_back(TEntry{kind, buttons, text});
  TMsgResult answer = FDefault;
  if (!FAnswers.empty()) {
    answer = FAnswers.front();
    FAnswers.pop_front();
  }
  switch (buttons) {
    case TMsgButtons::Ok:
      return TMsgResult::Ok;
    case TMsgButtons::Cancel:
      return TMsgResult::Cancel;
    case TMsgButtons::YesNo:
      return answer == TMsgResult::Yes ? TMsgResult::Yes : TMsgResult::No;
  }
  return answer;
}

bool TScriptedMessageService::InputQuery(const QString& caption, const QString& prompt, QString& value)
{
  Q_UNUSED(prompt);
  FInputCaptions.push_back(caption);
  if (FInputs.empty())
    return false;
  auto answer = FInputs.front();
  FInputs.pop_front();
  if (!answer)
    return false;
  value = *answer;
  return true;
}

bool TScriptedMessageService::ChooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                                        QString& value)
{
  Q_UNUSED(items);
  return InputQuery(caption, prompt, value);
}

QString TScriptedMessageService::OpenFileName(const QString& caption, const QString&, const QString&)
{
  FDialogCaptions.push_back(caption);
  if (FFileNames.empty())
    return QString();
  QString name = FFileNames.front();
  FFileNames.pop_front();
  return name;
}

QString TScriptedMessageService::SaveFileName(const QString& caption, const QString& folder,
                                              const QString& filter)
{
  return OpenFileName(caption, folder, filter);
}

QStringList TScriptedMessageService::Texts() const
{
  QStringList texts;
  for (const TEntry& e : FEntries)
    texts.push_back(e.Text);
  return texts;
}

int TScriptedMessageService::Count(const QString& text) const
{
  int n = 0;
  for (const TEntry& e : FEntries)
    n += e.Text == text ? 1 : 0;
  return n;
}

int TScriptedMessageService::CountContaining(const QString& part) const
{
  int n = 0;
  for (const TEntry& e : FEntries)
    n += e.Text.contains(part) ? 1 : 0;
  return n;
}

void TScriptedMessageService::Clear()
{
  FEntries.clear();
  FInputCaptions.clear();
  FDialogCaptions.clear();
}
