#include "core/ui/notbuilt.h"

#include <QLabel>

namespace vork {

QString notBuiltText()
{
    return QStringLiteral("Not built yet in this version.");
}

QWidget *notBuiltPage(QWidget *parent)
{
    auto *label = new QLabel(notBuiltText(), parent);
    label->setObjectName(QStringLiteral("notBuilt"));
    label->setAlignment(Qt::AlignCenter);
    return label;
}

} // namespace vork
