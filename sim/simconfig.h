#pragma once

#include "simunit.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

namespace vork::sim {

// Most units one simulator runs.
constexpr int maxUnits = 1000;

// Reads a fleet: a JSON array of unit objects (format in sim/README.md).
// A unit without "address" gets base + its index, one without "mac" a MAC
// made from its address. On error returns false with the unit and field named.
bool parseFleetConfig(const QByteArray &json, const QHostAddress &base, QList<SimUnit> &units, QString *error);
bool loadFleetConfig(const QString &path, const QHostAddress &base, QList<SimUnit> &units, QString *error);

// Hex digits, two per byte, spaces allowed ("06 15" or "0615"); false on anything else.
bool parseHexBytes(const QString &text, QByteArray &out);
// Command bytes as a text of 8-bit characters ("hp"; '0' stands for the history quit).
bool parseCommandBytes(const QString &text, QByteArray &out);

// Empty when the switches make sense together, else the reason.
QString checkFaults(const SimFaults &faults);

} // namespace vork::sim
