#pragma once
// Window side of the interface language: a component takes part when it carries a tag above 100 (the
// dynamic property "Tag"); Apply gives every such button, label, group box, menu and menu entry of a
// window the text of its tag. Edits, combo boxes, lists and charts never take part.
class QObject;
class QWidget;

class TWindowLanguage
{
public:
  static void SetTag(QObject* component, int tag);
  static int Tag(const QObject* component);
  // Nothing happens while no language texts are loaded.
  static void Apply(QWidget* window);
};
