#pragma once

#include <QPixmap>
#include <QSize>

namespace talvenor::app::window {

// The utility's logo, drawn at run time to fill `size` on a white ground: a
// file sheet whose lines flow into a database drum, and the name beside it.
QPixmap DrawLogo(QSize size);

}  // namespace talvenor::app::window
