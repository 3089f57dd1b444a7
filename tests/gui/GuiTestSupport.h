#pragma once
// Shared set-up of the window tests: every test program runs offscreen with its own settings folder and
// runtime folder (so parallel test programs do not see each other's instance lock), English texts and a
// scripted message service.
#include "io/UILanguage.h"
#include "io/ini_data.h"
#include "widgets/MessageService.h"
#include "widgets/ScriptedMessageService.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>

namespace guitest {

// Call before the QApplication is made.
inline QTemporaryDir& Environment()
{
  static QTemporaryDir dir;
  static bool done = false;
  if (!done) {
    done = true;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("VEMRA_CONFIG_DIR", dir.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", (dir.path() + "/run").toUtf8());
    QDir().mkpath(dir.path() + "/run");
    QFile::setPermissions(dir.path() + "/run", QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "C");
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
  }
  return dir;
}

inline QString IniPath() { return Environment().filePath("Vemra.INI"); }

// Writes a settings file with the given lines (";"-free INI text) and resets the record.
inline void WriteIni(const QString& text)
{
  QFile f(IniPath());
  f.open(QIODevice::WriteOnly | QIODevice::Truncate);
  f.write(text.toUtf8());
  f.close();
  IniData = tinidataValues{};
  IniData.Pnoise_Testsignal.store(0);
}

inline QString ReadIni()
{
  QFile f(IniPath());
  f.open(QIODevice::ReadOnly);
  return QString::fromUtf8(f.readAll());
}

// Installs a fresh scripted message service and returns it (owned by the service registry).
inline TScriptedMessageService* Script()
{
  auto service = std::make_unique<TScriptedMessageService>();
  TScriptedMessageService* raw = service.get();
  TMessageService::Install(std::move(service));
  return raw;
}

// Runs the event loop until Done() or the timeout; true when Done() became true.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs = 10000)
{
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs)
      return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(5);
  }
  return true;
}

}  // namespace guitest

// A main that prepares the environment before the application object exists.
#define VEMRA_GUI_TEST_MAIN(TestClass)                  \
  int main(int argc, char** argv)                       \
  {                                                     \
    guitest::Environment();                             \
    QApplication app(argc, argv);                       \
    TestClass tc;                                       \
    return QTest::qExec(&tc, argc, argv);               \
  }
