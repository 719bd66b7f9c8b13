// The program's window icon, drawn once: a lens over a grey-level surface.
#pragma once

#include <QIcon>

namespace velmor {

QIcon VelmorIcon();

}  // namespace velmor
