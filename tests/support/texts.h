#pragma once

#include <QString>
#include <QStringList>

#include <initializer_list>

// Plain ASCII literals as a QStringList (the build forbids the implicit conversion).
inline QStringList texts(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *t : list)
        out.append(QString::fromLatin1(t));
    return out;
}
