#pragma once

#include "core/options.h"

#include <QColor>

namespace vork {

inline QColor toQColor(StoredColor c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

inline StoredColor fromQColor(const QColor &c)
{
    return static_cast<StoredColor>(c.red()) | (static_cast<StoredColor>(c.green()) << 8)
           | (static_cast<StoredColor>(c.blue()) << 16);
}

} // namespace vork
