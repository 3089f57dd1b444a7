#include "widgets/SplashScreenForm.h"

#include <QFont>
#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

TTSplashScreenForm::TTSplashScreenForm(QWidget* parent)
    // Not kept on top: a message shown while the program starts must never be hidden beneath it.
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
  setObjectName("TSplashScreenForm");
  setFixedSize(360, 150);
  setAutoFillBackground(true);
  setStyleSheet("TTSplashScreenForm { background: qlineargradient(x1:0, y1:0, x2:1, y2:1, "
                "stop:0 #1d2b3c, stop:1 #0c1118); border: 1px solid #4c6a8c; }"
                "QLabel { color: #e8eef5; }");
  auto* layout = new QVBoxLayout(this);
  auto* title = new QLabel("Vemra", this);
  QFont f = title->font();
  f.setPointSize(24);
  f.setBold(true);
  title->setFont(f);
  title->setAlignment(Qt::AlignCenter);
  lbInfo = new QLabel(this);
  lbInfo->setObjectName("lbInfo");
  lbInfo->setAlignment(Qt::AlignCenter);
  layout->addStretch();
  layout->addWidget(title);
  layout->addWidget(lbInfo);
  layout->addStretch();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    move(screen->availableGeometry().center() - rect().center());
}
