#pragma once

#include <QString>

class QWidget;

namespace vork {

// A page or tab whose content is still to come says so in one line.
QWidget *notBuiltPage(QWidget *parent);
QString notBuiltText();

} // namespace vork
