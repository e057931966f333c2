#pragma once

#include <QWidget>

class QButtonGroup;
class QGroupBox;

namespace vork {

// "View Parameters  ": which view shows, how units and readers are named in the
// list and tree, and whether the tree opens expanded. Each choice is the tag of
// its button: 0, 1, 2 in the order the buttons stand.
class ViewParameters : public QWidget
{
    Q_OBJECT
public:
    enum Choice { DisplayView = 0, UnitIdentifierChoice, ReaderIdentifierChoice, TreeView, ChoiceCount };

    explicit ViewParameters(QWidget *parent = nullptr);

    int choice(Choice which) const;
    // As if the button of that tag was clicked; a tag out of range picks the first.
    void choose(Choice which, int tag);
    QGroupBox *group(Choice which) const { return m_groups[which]; }
    QButtonGroup *buttons(Choice which) const { return m_buttons[which]; }

Q_SIGNALS:
    void chosen(int which, int tag);

private:
    void applyEnabling();

    QGroupBox *m_groups[ChoiceCount] = {};
    QButtonGroup *m_buttons[ChoiceCount] = {};
};

} // namespace vork
