#pragma once
// TMessageService: every message box, input box and file dialog of the program goes through the one
// installed service. The program installs TQtMessageService (real dialogs); tests install
// TScriptedMessageService, which records every text and answers from a script without blocking.
#include <QString>
#include <QStringList>

#include <memory>

enum class TMsgKind { Error, Warning, Information, Confirmation, Plain };
enum class TMsgButtons { Ok, Cancel, YesNo };
enum class TMsgResult { Ok, Cancel, Yes, No };

class TMessageService
{
public:
  virtual ~TMessageService() = default;

  virtual TMsgResult Show(TMsgKind kind, const QString& text, TMsgButtons buttons) = 0;
  // An input box; false when the user cancels (value is then unchanged).
  virtual bool InputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
  // A choice among Items (Value: the current item before, the chosen one after); false on cancel.
  virtual bool ChooseItem(const QString& caption, const QString& prompt, const QStringList& items,
                          QString& value) = 0;
  // Empty result when the user cancels.
  virtual QString OpenFileName(const QString& caption, const QString& folder, const QString& filter) = 0;
  virtual QString SaveFileName(const QString& caption, const QString& folder, const QString& filter) = 0;

  // The installed service (a TQtMessageService until another one is installed).
  static TMessageService& Instance();
  // Installs a service and returns the one it replaces.
  static std::unique_ptr<TMessageService> Install(std::unique_ptr<TMessageService> service);

  // Short forms used by the windows.
  static void Error(const QString& text) { Instance().Show(TMsgKind::Error, text, TMsgButtons::Ok); }
  static void Warning(const QString& text) { Instance().Show(TMsgKind::Warning, text, TMsgButtons::Ok); }
  static void Information(const QString& text)
  {
    Instance().Show(TMsgKind::Information, text, TMsgButtons::Ok);
  }
  static bool Confirm(const QString& text)
  {
    return Instance().Show(TMsgKind::Confirmation, text, TMsgButtons::YesNo) == TMsgResult::Yes;
  }
};
