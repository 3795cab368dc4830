#pragma once
#include <string_view>

class QWidget;

// F1 anywhere inside owner opens the help file at topic. The one help key of the
// program: the frame gives it the contents, the Settings dialog its own topic.
void PvAddHelpKey(QWidget& owner, std::string_view topic);
