#pragma once

#include <QIcon>

namespace Orvista
{

// The picture of a command's toolbar button, drawn by the program; an empty icon for commands
// that have none.
QIcon CommandIcon(int id);

// The program's own icon: two overlapping layers.
QIcon ApplicationIcon();

} // namespace Orvista
