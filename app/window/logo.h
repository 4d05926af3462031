#pragma once

#include <QImage>
#include <QPixmap>
#include <QSize>

namespace talvenor::app::window {

// The utility's logo, drawn at run time to fill `size` on a white ground: a
// file sheet whose lines flow into a database drum, and the name beside it.
QPixmap DrawLogo(QSize size);

// The logo's picture without the name, centred in a transparent square
// `side` pixels wide: the program's icon.
QImage DrawIcon(int side);

}  // namespace talvenor::app::window
