#include "monitor/ui/viewparameters.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QRadioButton>
#include <QVBoxLayout>

namespace vork {

namespace {
constexpr int scrollTag = 2;
constexpr int treeTag = 1;
} // namespace

ViewParameters::ViewParameters(QWidget *parent) : QWidget(parent)
{
    struct Row
    {
        const char *caption;
        QList<const char *> buttons;
    };
    const Row rows[ChoiceCount] = {
        {"DISPLAY VIEW", {"LIST", "TREE", "SCROLL"}},
        {"UNIT IDENTIFIER", {"MAC", "IP", "DESCRIPTION"}},
        {"READER IDENTIFIER", {"INDEX", "ADDRESS"}},
        {"TREE VIEW", {"EXPAND", "COLLAPSE"}},
    };
    auto *layout = new QHBoxLayout(this);
    for (int g = 0; g < ChoiceCount; ++g) {
        auto *box = new QGroupBox(QString::fromLatin1(rows[g].caption), this);
        auto *column = new QVBoxLayout(box);
        auto *group = new QButtonGroup(box);
        group->setExclusive(true);
        for (int tag = 0; tag < rows[g].buttons.size(); ++tag) {
            auto *button = new QRadioButton(QString::fromLatin1(rows[g].buttons.at(tag)), box);
            group->addButton(button, tag);
            column->addWidget(button);
        }
        column->addStretch(1);
        group->button(0)->setChecked(true);
        connect(group, &QButtonGroup::idClicked, this, [this, g](int tag) {
            applyEnabling();
            Q_EMIT chosen(g, tag);
        });
        m_groups[g] = box;
        m_buttons[g] = group;
        layout->addWidget(box);
    }
    layout->addStretch(1);
    applyEnabling();
}

int ViewParameters::choice(Choice which) const
{
    return qMax(0, m_buttons[which]->checkedId());
}

void ViewParameters::choose(Choice which, int tag)
{
    QAbstractButton *button = m_buttons[which]->button(tag);
    if (!button)
        button = m_buttons[which]->button(0);
    button->setChecked(true);
    applyEnabling();
    Q_EMIT chosen(which, m_buttons[which]->id(button));
}

void ViewParameters::applyEnabling()
{
    const int view = choice(DisplayView);
    m_groups[TreeView]->setEnabled(view == treeTag);
    m_groups[UnitIdentifierChoice]->setEnabled(view != scrollTag);
    m_groups[ReaderIdentifierChoice]->setEnabled(view != scrollTag);
}

} // namespace vork
