// The command strings: for each command number, the status-bar prompt and, after a line feed,
// the tooltip shown on its toolbar button.
#pragma once

#include <QString>

namespace varlo {

// The whole "prompt\ntooltip" string of a command; empty when the command has none.
QString CommandString(int id);
// The part before the line feed: the status-bar text while the command is under the cursor.
QString StatusPrompt(int id);
// The part after the line feed; empty when the command has no tooltip.
QString ToolTipText(int id);

// Application title: captions the main window and every message box.
QString AppTitle();

}  // namespace varlo
