#pragma once
// The small window shown while the program starts.
#include <QLabel>
#include <QWidget>

class TTSplashScreenForm : public QWidget
{
  Q_OBJECT
public:
  explicit TTSplashScreenForm(QWidget* parent = nullptr);
  QLabel* lbInfo = nullptr;
};
