#include "widgets/VisualStyle.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

namespace {

QString& CurrentName()
{
  static QString name;
  return name;
}

QPalette SilverPalette()
{
  QPalette p;
  const QColor window(0xE4, 0xE7, 0xEB);
  const QColor button(0xD9, 0xDD, 0xE2);
  const QColor text(0x1C, 0x1F, 0x24);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, Qt::white);
  p.setColor(QPalette::AlternateBase, QColor(0xF1, 0xF3, 0xF5));
  p.setColor(QPalette::ToolTipBase, QColor(0xFF, 0xFF, 0xE8));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, Qt::red);
  p.setColor(QPalette::Highlight, QColor(0x3C, 0x78, 0xC3));
  p.setColor(QPalette::HighlightedText, Qt::white);
  p.setColor(QPalette::Light, QColor(0xFA, 0xFB, 0xFC));
  p.setColor(QPalette::Midlight, QColor(0xEC, 0xEE, 0xF1));
  p.setColor(QPalette::Mid, QColor(0xA8, 0xAE, 0xB6));
  p.setColor(QPalette::Dark, QColor(0x8A, 0x90, 0x99));
  p.setColor(QPalette::Shadow, QColor(0x50, 0x55, 0x5C));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x8A, 0x90, 0x99));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x8A, 0x90, 0x99));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x8A, 0x90, 0x99));
  return p;
}

QPalette GlowPalette()
{
  QPalette p;
  const QColor window(0x1D, 0x21, 0x27);
  const QColor base(0x13, 0x16, 0x1B);
  const QColor button(0x2A, 0x30, 0x38);
  const QColor text(0xDD, 0xE4, 0xEC);
  p.setColor(QPalette::Window, window);
  p.setColor(QPalette::WindowText, text);
  p.setColor(QPalette::Base, base);
  p.setColor(QPalette::AlternateBase, QColor(0x22, 0x27, 0x2E));
  p.setColor(QPalette::ToolTipBase, QColor(0x2A, 0x30, 0x38));
  p.setColor(QPalette::ToolTipText, text);
  p.setColor(QPalette::Text, text);
  p.setColor(QPalette::Button, button);
  p.setColor(QPalette::ButtonText, text);
  p.setColor(QPalette::BrightText, QColor(0xFF, 0x60, 0x60));
  p.setColor(QPalette::Highlight, QColor(0x00, 0xA8, 0xE8));
  p.setColor(QPalette::HighlightedText, QColor(0x08, 0x0A, 0x0D));
  p.setColor(QPalette::Light, QColor(0x3A, 0x42, 0x4C));
  p.setColor(QPalette::Midlight, QColor(0x30, 0x37, 0x40));
  p.setColor(QPalette::Mid, QColor(0x24, 0x29, 0x30));
  p.setColor(QPalette::Dark, QColor(0x10, 0x12, 0x16));
  p.setColor(QPalette::Shadow, Qt::black);
  p.setColor(QPalette::Link, QColor(0x4C, 0xC8, 0xFF));
  p.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6A, 0x72, 0x7C));
  p.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6A, 0x72, 0x7C));
  p.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6A, 0x72, 0x7C));
  return p;
}

const char* SilverSheet = R"(
QToolButton { padding: 2px 6px; border: 1px solid #9aa2ac; border-radius: 3px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #f7f8fa, stop:1 #d5dae0); }
QToolButton:hover { border-color: #3c78c3; }
QToolButton:checked { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #9fc2ea, stop:1 #5f93d3);
  color: white; border-color: #2f5f9c; }
QToolButton:disabled { color: #8a9099; background: #e2e5e9; border-color: #c0c5cb; }
QGroupBox { border: 1px solid #a8aeb6; border-radius: 4px; margin-top: 1.1em; padding-top: 2px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; color: #2c4f7c; }
QStatusBar { border-top: 1px solid #a8aeb6; }
QStatusBar::item { border: 1px solid #b8bec6; border-radius: 2px; }
)";

const char* GlowSheet = R"(
QToolButton { padding: 2px 6px; border: 1px solid #3d4651; border-radius: 3px;
  background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #343b45, stop:1 #242a31); }
QToolButton:hover { border-color: #00a8e8; }
QToolButton:checked { background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 #0b6f98, stop:1 #064a66);
  color: #e8f8ff; border: 1px solid #28c4ff; }
QToolButton:disabled { color: #5d656f; background: #22272e; border-color: #2e343c; }
QGroupBox { border: 1px solid #3a434e; border-radius: 4px; margin-top: 1.1em; padding-top: 2px; }
QGroupBox::title { subcontrol-origin: margin; left: 8px; padding: 0 3px; color: #4cc8ff; }
QStatusBar { border-top: 1px solid #3a434e; }
QStatusBar::item { border: 1px solid #3a434e; border-radius: 2px; }
QMenuBar::item:selected, QMenu::item:selected { background: #0b6f98; }
)";

}  // namespace

void TVisualStyle::Apply(const QString& name)
{
  const bool glow = name == "Glow";
  QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setPalette(glow ? GlowPalette() : SilverPalette());
  if (auto* app = qobject_cast<QApplication*>(QApplication::instance()))
    app->setStyleSheet(glow ? GlowSheet : SilverSheet);
  CurrentName() = glow ? "Glow" : "Silver";
}

QString TVisualStyle::Current() { return CurrentName(); }
