// The program's colours and Qt's, one way of carrying them across.
#pragma once

#include <QColor>

#include "ifs_types.h"

namespace fernweave {

inline QColor ToQColor(TColor c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)); }
inline TColor FromQColor(const QColor& c) { return MakeColor(c.red(), c.green(), c.blue()); }
inline TColor FromRgb(QRgb rgb) { return MakeColor(qRed(rgb), qGreen(rgb), qBlue(rgb)); }

}  // namespace fernweave
