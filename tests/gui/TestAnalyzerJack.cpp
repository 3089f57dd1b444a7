// The main window against a real JACK server: jackd with the dummy driver, Vemra's first output
// connected to its first input, a 1 kHz sine measured live, and no xrun reported.
#include "GuiTestSupport.h"

#include "analyzer/main_f.h"
#include "widgets/ChartView.h"

#include <QComboBox>
#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

#include <csignal>
#include <cmath>
#include <memory>

namespace {

QString RunJackTool(const QString& tool, const QStringList& args, int* exitCode = nullptr)
{
  QProcess p;
  p.start(tool, args);
  if (!p.waitForFinished(5000)) {
    p.kill();
    p.waitForFinished();
    if (exitCode)
      *exitCode = -1;
    return {};
  }
  if (exitCode)
    *exitCode = p.exitCode();
  return QString::fromUtf8(p.readAllStandardOutput());
}

}  // namespace

class TestAnalyzerJack : public QObject
{
  Q_OBJECT
  static constexpr int kPeriod = 4096;
  QProcess FServer;
  QString FName;

private slots:
  void initTestCase()
  {
    if (QStandardPaths::findExecutable("jackd").isEmpty() || QStandardPaths::findExecutable("jack_connect").isEmpty())
      QSKIP("jackd or jack_connect not installed");
    FName = QString("vemra_gui_%1").arg(QCoreApplication::applicationPid());
    qputenv("JACK_DEFAULT_SERVER", FName.toUtf8());
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    qputenv("JACK_NO_START_SERVER", "1");
    FServer.setProcessChannelMode(QProcess::MergedChannels);
    // A long period (85 ms) gives the server and Vemra's callback room on a busy machine: neither runs
    // with real-time priority here, and an xrun must only be reported when Vemra's callback is late.
    FServer.start("jackd", {"-n", FName, "-d", "dummy", "-r", "48000", "-p", QString::number(kPeriod)});
    QVERIFY(FServer.waitForStarted(5000));
    // The server is up once its port list can be read.
    const bool up = guitest::WaitFor(
        [&] {
          int code = -1;
          RunJackTool("jack_lsp", {}, &code);
          return code == 0 || FServer.state() != QProcess::Running;
        },
        15000);
    QVERIFY2(up && FServer.state() == QProcess::Running, FServer.readAll().constData());
  }

  void cleanupTestCase()
  {
    if (FServer.state() == QProcess::Running) {
      ::kill(static_cast<pid_t>(FServer.processId()), SIGTERM);
      if (!FServer.waitForFinished(5000)) {
        FServer.kill();
        FServer.waitForFinished(2000);
      }
    }
  }

  void LiveBarsFromALoopback()
  {
    auto* script = guitest::Script();
    guitest::WriteIni("[RTA]\nOctave=1\n[ASIO]\nSkip=10\n");
    TFMAnalyzer w;
    int jack = -1;
    for (int i = 0; i < w.DriverCombo->count(); ++i)
      if (w.DriverCombo->itemText(i).startsWith("JACK"))
        jack = i;
    QVERIFY2(jack >= 0, "no JACK interface in the driver list");
    w.DriverCombo->setCurrentIndex(jack);
    w.DriverComboChange();
    QVERIFY(w.BT_Analyse1->isEnabled());
    w.FormActivate();
    QVERIFY(w.ActivatedOnce);

    IniData.Pnoise_Sinus_Freq = 1000;
    IniData.Pnoise_Testsignal.store(2);
    w.Dispatcher->dbAmpPink.store(0.5f);
    w.SetStartButton(true);
    QVERIFY2(w.Measuring(), qPrintable(script->Texts().join(" | ")));
    // The server fixes the block length; it is not the recommended one, so the advice comes once.
    QCOMPARE(w.asiohost->BufferSize(), kPeriod);
    QCOMPARE(script->Count("For best performace set ASIO buffer to 1024!"), 1);

    // Connect the first output to the first input.
    const QStringList ports = RunJackTool("jack_lsp", {}).split('\n', Qt::SkipEmptyParts);
    QString out, in;
    for (const QString& p : ports) {
      if (!p.startsWith("Vemra:"))
        continue;
      if (out.isEmpty() && p.contains("out"))
        out = p;
      if (in.isEmpty() && p.contains("in"))
        in = p;
    }
    QVERIFY2(!out.isEmpty() && !in.isEmpty(), qPrintable(ports.join(", ")));
    int code = -1;
    RunJackTool("jack_connect", {out, in}, &code);
    QCOMPARE(code, 0);

    // Frames arrive and the 1 kHz band settles at the sine's level (amplitude 0.5: −9.03 dBFS).
    int kHz = -1;
    for (size_t j = 0; j < w.BandFrequencies.size(); ++j)
      if (std::fabs(w.BandFrequencies[j] - 1000.0f) < 0.5f)
        kHz = int(j);
    QVERIFY(kHz >= 0);
    const bool settled = guitest::WaitFor(
        [&] { return std::fabs(w.AnalyserChart1->Y(0, kHz) - (-9.03)) < 0.5; }, 15000);
    QVERIFY2(settled, qPrintable(QString::number(w.AnalyserChart1->Y(0, kHz))));
    QVERIFY(w.AnalyserChart1->Y(0, kHz + 3) < -30.0);
    QVERIFY(w.paK[0]->styleSheet().contains("#00FF00"));

    w.SetStartButton(false);
    QVERIFY(!w.Measuring());
    QCOMPARE(w.asiohost->XRunCount(), std::uint64_t(0));
    QVERIFY(w.asiohost->StreamError().empty());
    QCOMPARE(script->CountContaining("Audio interface issue"), 0);
  }
};

VEMRA_GUI_TEST_MAIN(TestAnalyzerJack)
#include "TestAnalyzerJack.moc"
