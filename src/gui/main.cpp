// The program entry of Vemra: splash window, the "Silver" look, the windows in their order, a short
// settling time for pending events, then the event loop.
#include "analyzer/main_f.h"
#include "widgets/SplashScreenForm.h"
#include "widgets/VisualStyle.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>

int main(int argc, char* argv[])
{
  QApplication app(argc, argv);
  QApplication::setApplicationName("Vemra");
  QApplication::setOrganizationName("Vemra");

  TTSplashScreenForm splash;
  splash.lbInfo->setText("Please wait...");
  splash.show();
  splash.repaint();
  QCoreApplication::processEvents();

  TVisualStyle::Apply("Silver");

  QStringList arguments = QCoreApplication::arguments();
  arguments.removeFirst();
  // Windows are created in this order: main window first; the module windows follow it as they are added.
  TFMAnalyzer analyzer(arguments);

  for (int i = 0; i < 5; ++i) {
    QThread::msleep(100);
    QCoreApplication::processEvents();
  }
  splash.close();
  if (analyzer.TerminateRequested())
    return 1;
  analyzer.show();
  return QApplication::exec();
}
