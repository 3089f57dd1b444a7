// The main window's creation, first activation, interface choice and closing, on the virtual interface.
#include "GuiTestSupport.h"

#include "analyzer/main_f.h"
#include "io/ProgramFolder.h"
#include "widgets/ChartView.h"
#include "widgets/VisualStyle.h"

#include <QComboBox>
#include <QPushButton>
#include <QAbstractButton>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollArea>
#include <QtTest>

#include <fstream>

class TestAnalyzerStartup : public QObject
{
  Q_OBJECT

private slots:
  void init()
  {
    qputenv("VEMRA_VIRTUAL_ROOM", "clock=free");
    TFMAnalyzer::BufferAdviceDue = true;
  }

  // A test that switches to German and fails half-way must not leave German behind for the next one.
  void cleanup()
  {
    qunsetenv("LC_MESSAGES");
    ResetLanguageTexts();
  }

  void SecondInstanceIsRefused()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n");
    auto* script = guitest::Script();
    {
      TFMAnalyzer first;
      QVERIFY(!first.TerminateRequested());
      QCOMPARE(script->Count("Program already running!"), 0);
      TFMAnalyzer second;
      QVERIFY(second.TerminateRequested());
      QCOMPARE(script->Count("Program already running!"), 1);
      const auto& e = script->Entries();
      auto it = std::find_if(e.begin(), e.end(), [](const auto& m) { return m.Text == "Program already running!"; });
      QVERIFY(it != e.end());
      QVERIFY(it->Kind == TMsgKind::Error);
      QVERIFY(it->Buttons == TMsgButtons::Cancel);
    }
    // The refused copy leaves the settings file to the running program, also when it ends.
    {
      TFMAnalyzer first;
      QVERIFY(QFile::remove(guitest::IniPath()));
      {
        TFMAnalyzer second;
        QVERIFY(second.TerminateRequested());
      }
      QVERIFY(!QFile::exists(guitest::IniPath()));
    }
    // Once the first program has ended, the next one starts.
    TFMAnalyzer third;
    QVERIFY(!third.TerminateRequested());
    QCOMPARE(script->Count("Program already running!"), 2);
  }

  void DriverFailingAtStartUp()
  {
    // The remembered interface cannot be loaded (here: a broken virtual-room setting).
    qputenv("VEMRA_VIRTUAL_ROOM", "clock=free;rt60=banana");
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n");
    auto* script = guitest::Script();
    TFMAnalyzer w;
    QCOMPARE(w.byChannelCountIn, 0);
    QVERIFY2(w.StatusPanels[2]->text().contains("rt60=banana"), qPrintable(w.StatusPanels[2]->text()));
    w.FormActivate();
    QCOMPARE(script->Count("Audio interface not connected! Virtual interface"), 1);
    QVERIFY(!w.BT_Analyse1->isEnabled());
    QVERIFY(w.StatusPanels[2]->text().contains("rt60=banana"));
  }

  void ChoosingAnInterfaceMeasuresTheChannelTheBoxShows()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\nCH=2\n");
    auto* script = guitest::Script();
    TFMAnalyzer w;
    w.FormActivate();
    QCOMPARE(w.cbCHannelMEss->currentIndex(), 2);
    QCOMPARE(int(w.Dispatcher->byASIOMesskanalStart.load()), 2);
    // Choosing the interface again fills the channel lists anew, starting at Ch1.
    w.DriverCombo->setCurrentIndex(0);
    w.DriverComboChange();
    QCOMPARE(w.cbCHannelMEss->currentIndex(), 0);
    QCOMPARE(int(w.Dispatcher->byASIOMesskanalStart.load()), 0);
    QCOMPARE(IniData.ASIO_Messkanalkombi, 0);
    QCOMPARE(w.ChannelUpdateMask, 1);
    QCOMPARE(w.StatusPanels[2]->text(), QString("Ch1 = In1"));
    // The unit is applied again without asking to clear the bars.
    QCOMPARE(script->Count("Clear data?"), 0);
  }

  void StartOptionPressesStartAfterTheFirstActivation()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n");
    guitest::Script();
    TFMAnalyzer w(QStringList{"--start"});
    QVERIFY(!w.Measuring());
    w.show();
    QVERIFY(guitest::WaitFor([&] { return w.Measuring(); }));
    QVERIFY(w.ActivatedOnce);
    QCOMPARE(w.BT_Analyse1->text(), QString("Stop"));
    QVERIFY(guitest::WaitFor([&] { return w.FramesShown > 0; }, 20000));
    w.SetStartButton(false);
  }

  void ControlsStayInViewAtTheSmallestWindow()
  {
    // The default size of a fresh settings file, German captions (the longest ones).
    qputenv("LC_MESSAGES", "de_DE.UTF-8");
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n[Form]\nWidth=650\nHeight=400\n");
    guitest::Script();
    TFMAnalyzer w;
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QVERIFY(guitest::WaitFor([&] { return w.ActivatedOnce; }));
    QCoreApplication::processEvents();
    // Start is always in view.
    const QRect start(w.BT_Analyse1->mapTo(&w, QPoint(0, 0)), w.BT_Analyse1->size());
    QVERIFY2(w.rect().contains(start), qPrintable(QString("%1,%2 %3x%4").arg(start.x()).arg(start.y()).arg(start.width()).arg(start.height())));
    QVERIFY(w.BT_Analyse1->isVisible());
    // No control of the settings column is cut off at the right.
    auto* scroll = w.findChild<QWidget*>("ControlColumn")->findChild<QScrollArea*>();
    QVERIFY(scroll);
    const int room = scroll->viewport()->width();
    for (QWidget* c : scroll->widget()->findChildren<QWidget*>()) {
      if (!c->isVisible())
        continue;
      const int right = c->mapTo(scroll->widget(), QPoint(c->width(), 0)).x();
      QVERIFY2(right <= room, qPrintable(c->objectName() + " " + QString::number(right) + " > " + QString::number(room)));
    }
  }

  void GeometryIsMadePlausible()
  {
    guitest::WriteIni("[Form]\nLeft=5000\nTop=20\nWidth=350\nHeight=200\n[ASIO]\nInterface=Virtual interface\nSR=96000\n");
    guitest::Script();
    TFMAnalyzer w;
    QCOMPARE(IniData.screen_left, 10);
    QCOMPARE(IniData.screen_top, 20);
    QCOMPARE(IniData.screen_width, 500);
    QCOMPARE(IniData.screen_height, 300);
    QCOMPARE(w.x(), 10);
    QCOMPARE(w.width(), 500);
    // The file is written at creation with the corrected values, and 48000 Hz whatever was stored.
    const QString ini = guitest::ReadIni();
    QVERIFY2(ini.contains(QRegularExpression("\\[Form\\]\\s*\\nLeft=10\\s*\\nTop=20\\s*\\nWidth=500\\s*\\nHeight=300")),
             qPrintable(ini));
    QVERIFY(ini.contains("SR=48000"));
    QCOMPARE(w.fsamplerate, 48000.0);
  }

  void RememberedInterfaceMessages()
  {
    // Nothing remembered.
    guitest::WriteIni("");
    auto* script = guitest::Script();
    {
      TFMAnalyzer w;
      QCOMPARE(script->Count("Select an audio interface."), 1);
      QCOMPARE(w.byChannelCountIn, 0);
      w.FormActivate();
      QVERIFY(!w.BT_Analyse1->isEnabled());
      QVERIFY(!w.ActivatedOnce);
      // Without a remembered name the activation does not complain.
      QCOMPARE(script->CountContaining("Audio interface not connected!"), 0);
    }
    // Remembered but gone: named in the message, and again at activation.
    guitest::WriteIni("[ASIO]\nInterface=Studio Box 3000\n");
    script = guitest::Script();
    {
      TFMAnalyzer w;
      QCOMPARE(script->Count("Last interface <Studio Box 3000> not found. Select a new audio interface."), 1);
      w.FormActivate();
      QCOMPARE(script->Count("Audio interface not connected! Studio Box 3000"), 1);
      QVERIFY(!w.BT_Analyse1->isEnabled());
      // Choosing an interface resets the labels and finishes the set-up.
      w.ChannelLabels[2] = "Mic";
      w.DriverCombo->setCurrentIndex(0);
      w.DriverComboChange();
      QVERIFY(w.BT_Analyse1->isEnabled());
      QVERIFY(w.Bt_CP->isEnabled());
      QCOMPARE(w.ChannelLabels, (QStringList{"Ch1", "Ch2", "Ch3", "Ch4"}));
      QCOMPARE(QString::fromStdString(IniData.ASIO_interface), QString("Virtual interface"));
      QVERIFY(guitest::ReadIni().contains("Interface=Virtual interface"));
      QCOMPARE(w.byChannelCountIn, 4);
    }
  }

  void InterfaceWithoutFortyEightKilohertzIsRefused()
  {
    qputenv("VEMRA_VIRTUAL_ROOM", "clock=free;rates=44100");
    guitest::WriteIni("");
    auto* script = guitest::Script();
    TFMAnalyzer w;
    w.DriverCombo->setCurrentIndex(0);
    w.DriverComboChange();
    // 44100 Hz is offered, but the program runs at 48000 Hz only.
    QCOMPARE(w.cbSampletate->count(), 1);
    QCOMPARE(w.CheckSampleRate(48000), 1);
    w.FormActivate();
    w.SetStartButton(true);
    QVERIFY(!w.Measuring());
    // The rate cannot be set when the interface is opened.
    QCOMPARE(script->Count("Audio interface issue! Please check connection."), 1);
    QVERIFY(!w.BT_Analyse1->isChecked());
  }

  void StoredInputBeyondTheInterfaceIsRewritten_data()
  {
    QTest::addColumn<int>("inputs");
    QTest::addColumn<int>("expected");
    QTest::newRow("8 inputs") << 8 << 0;
    QTest::newRow("10 inputs") << 10 << 8;
  }

  void StoredInputBeyondTheInterfaceIsRewritten()
  {
    QFETCH(int, inputs);
    QFETCH(int, expected);
    qputenv("VEMRA_VIRTUAL_ROOM", QString("clock=free;inputs=%1").arg(inputs).toUtf8());
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\nInputforCh0=0\nInputforCh1=8\n");
    guitest::Script();
    TFMAnalyzer w;
    QCOMPARE(w.byChannelCountIn, inputs);
    QCOMPARE(int(IniData.ASIO_ArrInSequence[1]), expected);
    QCOMPARE(int(w.Dispatcher->ChannelInputMap[1].load()), expected);
    QCOMPARE(w.cbCHannelMEssIn[1]->currentIndex(), expected);
    QCOMPARE(w.cbCHannelMEssIn[1]->count(), inputs);
    QCOMPARE(w.cbCHannelMEssIn[1]->itemText(0), QString("In1"));
    QVERIFY2(guitest::ReadIni().contains(QString("InputforCh1=%1").arg(expected)), qPrintable(guitest::ReadIni()));
  }

  void HandEditedSettingsOutOfRange()
  {
    // Indexes that no box has: the boxes, the engines and the display agree on the defaults.
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\nCH=7\n[RTA]\nSpeed=9\nOctave=12\nACZ=5\nUnit=4\nBarType=3\n");
    guitest::Script();
    TFMAnalyzer w;
    w.FormActivate();
    QCOMPARE(w.cbSetSmooth->currentIndex(), 0);
    QCOMPARE(w.Dispatcher->RTAEngineIEC1[0]->TimeWeight(), twImpulse);
    QCOMPARE(w.cbCHannelMEss->currentIndex(), 0);
    QCOMPARE(w.StatusPanels[2]->text(), QString("Ch1 = In1"));
    QCOMPARE(w.cbOktave->currentIndex(), 2);
    QCOMPARE(w.Dispatcher->RTAEngineIEC1[0]->OctavesPerBand(), 6);
    QCOMPARE(w.AnalyserChart1->LevelTitle(), QString("dBFS"));
    QVERIFY(w.sbChartSetStd->isChecked());
    QCOMPARE(w.cbACZ_Gewichtung->currentIndex(), 0);
    w.SetStartButton(true);
    QVERIFY(w.Measuring());
    QCOMPARE(IniData.RTA_ACZ_Bewertung, 0);
    QCOMPARE(w.Dispatcher->RTAEngineIEC1[3]->Weighting(), fwZ);
    w.SetStartButton(false);
  }

  void ControlPanelSetsTheBlockLength()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n");
    auto* script = guitest::Script();
    TFMAnalyzer w;
    w.FormActivate();
    script->QueueInput(QString("512"));
    w.Bt_CPClick();
    QCOMPARE(script->InputCaptions().last(), QString("ASIO Control..."));
    QCOMPARE(w.asiohost->BufferSize(), 512);
    QVERIFY(w.lbASIOBufferSize->text().startsWith("Buffer: 512 / "));
    QVERIFY(!w.asiohost->DriverOpen());
    // The next measurement runs with it (and gives the advice once).
    w.SetStartButton(true);
    QVERIFY(w.Measuring());
    QCOMPARE(w.Dispatcher->PreparedBufferSize(), 512);
    QCOMPARE(script->Count("For best performace set ASIO buffer to 1024!"), 1);
    w.SetStartButton(false);
  }

  void FirstActivationCreatesTheEngines()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n[RTA]\nOctave=0\nUnit=2\n");
    auto* script = guitest::Script();
    TFMAnalyzer w;
    QVERIFY(!w.Dispatcher->RTAEngineIEC1[0]);
    w.FormActivate();
    QVERIFY(w.ActivatedOnce);
    QVERIFY(w.Dispatcher->RTAEngineIEC1[3]);
    QCOMPARE(w.Dispatcher->RTAEngineIEC1[0]->OctavesPerBand(), 1);
    // 1/1 octave: ten labels from 31.5 Hz to 16 kHz; bars start at the SPL floor.
    QCOMPARE(w.AnalyserChart1->FrequencyLabelTexts(),
             (QStringList{"31.5Hz", "63Hz", "125Hz", "250Hz", "500Hz", "1kHz", "2kHz", "4kHz", "8kHz", "16kHz"}));
    QCOMPARE(w.AnalyserChart1->PointCount(0), int(w.BandFrequencies.size()));
    QCOMPARE(w.AnalyserChart1->Y(2, 3), 0.0);
    QCOMPARE(w.AnalyserChart1->LevelTitle(), QString("SPL dB"));
    QCOMPARE(w.UnitOffset, 94);
    QCOMPARE(w.windowTitle(), QString("Vemra"));
    QCOMPARE(w.trOffset[0]->minimum(), -25);
    QCOMPARE(w.StatusPanels[2]->text(), QString("Ch1 = In1"));
    QVERIFY(w.lbASIOBufferSize->text().startsWith("Buffer: 1024 / "));
    // The activation does not ask about clearing data, and a second activation changes nothing.
    QCOMPARE(script->Count("Clear data?"), 0);
    w.cbOktave->setCurrentIndex(4);
    w.FormActivate();
    QCOMPARE(w.Dispatcher->RTAEngineIEC1[0]->OctavesPerBand(), 1);
    // A finer resolution: thirteen labels from 20 Hz.
    w.cbOktaveChange();
    QCOMPARE(w.Dispatcher->RTAEngineIEC1[0]->OctavesPerBand(), 12);
    QCOMPARE(w.AnalyserChart1->FrequencyLabelTexts().size(), 13);
    QCOMPARE(w.AnalyserChart1->FrequencyLabelTexts().first(), QString("20Hz"));
    QCOMPARE(IniData.RTA_Octave, 4);
  }

  void CloseDuringMeasurementStopsFirst()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n");
    auto* script = guitest::Script();
    TFMAnalyzer w;
    w.show();
    w.FormActivate();
    w.SetStartButton(true);
    QVERIFY(w.Measuring());
    // First request: the measurement stops, the window stays, nothing is asked.
    QVERIFY(!w.close());
    QVERIFY(!w.Measuring());
    QCOMPARE(w.BT_Analyse1->text(), QString("Start"));
    QCOMPARE(script->Count("Measurements not saved! Close module?"), 0);
    // Second request: asks; No keeps the window.
    script->QueueAnswer(TMsgResult::No);
    QVERIFY(!w.close());
    QCOMPARE(script->Count("Measurements not saved! Close module?"), 1);
    script->QueueAnswer(TMsgResult::Yes);
    QVERIFY(w.close());
    QCOMPARE(script->Count("Measurements not saved! Close module?"), 2);
  }

  void DestructionStoresGeometryAndHiddenChannels()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n[RTA]\nHide=4\nBarType=1\n");
    guitest::Script();
    {
      TFMAnalyzer w;
      QVERIFY(w.sbRTAHide[2]->isChecked());
      QVERIFY(w.sbChartSetSide->isChecked());
      QCOMPARE(w.AnalyserChart1->Transparency(2), 100);
      QCOMPARE(w.AnalyserChart1->BarWidthPercent(3), 25.0);
      QCOMPARE(w.AnalyserChart1->BarOffsetPercent(3), 300.0);
      w.FormActivate();
      w.sbRTAHide[1]->setChecked(true);
      w.sbRTA1HideClick(1);
      w.move(33, 44);
      w.resize(900, 640);
    }
    const QString ini = guitest::ReadIni();
    QVERIFY2(ini.contains("Hide=6"), qPrintable(ini));
    QVERIFY(ini.contains("Width=900"));
    QVERIFY(ini.contains("Height=640"));
    QVERIFY(ini.contains("BarType=1"));
  }

  void StyleMenuTogglesAndKeepsTheBoxes()
  {
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n[RTA]\nSpeed=2\n");
    guitest::Script();
    TFMAnalyzer w;
    w.FormActivate();
    QCOMPARE(TVisualStyle::Current(), QString("Silver"));
    w.Style1Click();
    QCOMPARE(IniData.screen_style, 1);
    QCOMPARE(TVisualStyle::Current(), QString("Glow"));
    QVERIFY(w.TimerStyle->isActive());
    QVERIFY(guitest::WaitFor([&] { return !w.TimerStyle->isActive(); }));
    QCOMPARE(w.cbSetSmooth->currentIndex(), 2);
    QCOMPARE(w.cbSetSmooth->count(), 5);
    QCOMPARE(w.cbCHannelMEssIn[3]->currentText(), QString("In4"));
    w.Style1Click();
    QCOMPARE(IniData.screen_style, 0);
    QCOMPARE(TVisualStyle::Current(), QString("Silver"));
  }

  void GermanTextsByTagUnlessEnglishIsAsked()
  {
    // The German text of id 149 from the shipped language file.
    std::ifstream file(ResourceFolder() + kLanguageFileName, std::ios::binary);
    if (!file)
      QSKIP("language file not beside the test program");
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const TUILanguage texts = TUILanguage::Parse(bytes);
    const std::string* control = texts.Find(149);
    QVERIFY(control);
    guitest::WriteIni("[ASIO]\nInterface=Virtual interface\n");
    guitest::Script();
    qputenv("LC_MESSAGES", "de_DE.UTF-8");
    {
      TFMAnalyzer english(QStringList{"/EN"});
      QCOMPARE(english.Bt_CP->text(), QString("ASIO Control..."));
    }
    {
      TFMAnalyzer german(QStringList{"/en"});
      QCOMPARE(german.Bt_CP->text(), QString::fromStdString(*control));
    }
  }

  void EveryTaggedCaptionAndMessageInGerman()
  {
    std::ifstream file(ResourceFolder() + kLanguageFileName, std::ios::binary);
    if (!file)
      QSKIP("language file not beside the test program");
    std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const TUILanguage texts = TUILanguage::Parse(bytes);
    auto german = [&](int id) {
      const std::string* t = texts.Find(id);
      return t ? QString::fromStdString(*t) : QString::number(id);
    };
    qputenv("LC_MESSAGES", "de_DE.UTF-8");
    guitest::WriteIni("");
    auto* script = guitest::Script();
    TFMAnalyzer w;
    // The components of the main window and their text ids.
    const QList<QPair<QString, int>> tagged{
        {"File1", 101},     {"Open1", 102},     {"Save1", 103},       {"Label8", 104},     {"lbspeed", 105},
        {"Label7", 108},    {"Label2", 110},    {"Label3", 111},      {"SavePDF1", 131},   {"Print1", 132},
        {"Clipboard1", 133}, {"Clipboard2", 133}, {"Quit1", 134},     {"HElp1", 135},      {"Help2", 136},
        {"Info1", 137},     {"Label5", 146},    {"Overlay1", 147},    {"Unit1", 148},      {"Bt_CP", 149},
        {"Default1", 150},  {"ransparancy1", 151}, {"ransparancyoff1", 152}, {"ClearRTA", 153},
        {"AllOffset01", 154}, {"SaveassoundprofileCh11", 155}, {"lbASIOBufferSize", 109}};
    for (const auto& [name, id] : tagged) {
      QObject* o = w.findChild<QObject*>(name);
      QVERIFY2(o, qPrintable(name));
      QString caption;
      if (auto* a = qobject_cast<QAction*>(o))
        caption = a->text();
      else if (auto* m = qobject_cast<QMenu*>(o))
        caption = m->title();
      else if (auto* b = qobject_cast<QAbstractButton*>(o))
        caption = b->text();
      else if (auto* l = qobject_cast<QLabel*>(o))
        caption = l->text();
      QVERIFY2(caption == german(id), qPrintable(name + ": " + caption));
    }
    // Messages go through their text ids as well.
    QCOMPARE(script->Count(german(128)), 1);
    w.DriverCombo->setCurrentIndex(0);
    w.DriverComboChange();
    w.FormActivate();
    script->QueueAnswer(TMsgResult::No);
    w.dB1Click();
    QCOMPARE(script->Count(german(157)), 1);
  }
};

VEMRA_GUI_TEST_MAIN(TestAnalyzerStartup)
#include "TestAnalyzerStartup.moc"
