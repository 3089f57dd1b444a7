#include "widgets/WindowLanguage.h"

#include "io/UILanguage.h"

#include <QAbstractButton>
#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QVariant>
#include <QWidget>

#include <vector>

namespace {

QString CaptionOf(QObject* o)
{
  if (auto* b = qobject_cast<QAbstractButton*>(o))
    return b->text();
  if (auto* l = qobject_cast<QLabel*>(o))
    return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(o))
    return g->title();
  if (auto* m = qobject_cast<QMenu*>(o))
    return m->title();
  if (auto* a = qobject_cast<QAction*>(o))
    return a->text();
  return QString();
}

bool SetCaption(QObject* o, const QString& text)
{
  if (auto* b = qobject_cast<QAbstractButton*>(o)) {
    b->setText(text);
    return true;
  }
  if (auto* l = qobject_cast<QLabel*>(o)) {
    l->setText(text);
    return true;
  }
  if (auto* g = qobject_cast<QGroupBox*>(o)) {
    g->setTitle(text);
    return true;
  }
  if (auto* m = qobject_cast<QMenu*>(o)) {
    m->setTitle(text);
    return true;
  }
  if (auto* a = qobject_cast<QAction*>(o)) {
    a->setText(text);
    return true;
  }
  return false;
}

}  // namespace

void TWindowLanguage::SetTag(QObject* component, int tag) { component->setProperty("Tag", tag); }

int TWindowLanguage::Tag(const QObject* component)
{
  const QVariant v = component->property("Tag");
  return v.isValid() ? v.toInt() : 0;
}

void TWindowLanguage::Apply(QWidget* window)
{
  if (!LanguageTextsLoaded() || !window)
    return;
  std::vector<QObject*> components;
  std::vector<TTaggedCaption> captions;
  const auto children = window->findChildren<QObject*>();
  for (QObject* o : children) {
    const int tag = Tag(o);
    if (tag <= 100)
      continue;
    if (!qobject_cast<QAbstractButton*>(o) && !qobject_cast<QLabel*>(o) && !qobject_cast<QGroupBox*>(o) &&
        !qobject_cast<QMenu*>(o) && !qobject_cast<QAction*>(o))
      continue;
    components.push_back(o);
    captions.push_back(TTaggedCaption{tag, CaptionOf(o).toStdString()});
  }
  const std::vector<std::string> translated = ApplyLanguage(captions);
  for (size_t i = 0; i < components.size() && i < translated.size(); ++i)
    SetCaption(components[i], QString::fromStdString(translated[i]));
}
