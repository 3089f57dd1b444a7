#pragma once
// The two looks of the program: "Silver" (light) and "Glow" (dark). Both use the Fusion widget style with
// their own palette and a small style sheet for toggle buttons, group boxes and the status bar.
#include <QString>

class TVisualStyle
{
public:
  // Applies "Silver" or "Glow" to the whole application; an unknown name falls back to "Silver".
  static void Apply(const QString& name);
  static QString Current();
};
