#pragma once

#include <QIcon>

namespace turnpost {

/// The program's icon: a letter with a star, drawn at the sizes desktops ask for.
QIcon ProgramIcon();

} // namespace turnpost
