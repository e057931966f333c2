#pragma once

#include "flash/flashfitness.h"

#include <QDialog>

class QCheckBox;
class QPushButton;
class QRadioButton;

namespace vork {

// The "Flash" dialog of a boot-loader flash: which boot-loader region is written,
// and whether A or B becomes the primary one.
class BootLoaderDialog : public QDialog
{
    Q_OBJECT
public:
    explicit BootLoaderDialog(QWidget *parent = nullptr);

    // Nothing chosen and "Make Primary" cleared, as each flash opens it.
    void reset();
    BootLoaderChoice choice() const;

    QRadioButton *managerButton() const { return m_manager; }
    QRadioButton *aButton() const { return m_a; }
    QRadioButton *bButton() const { return m_b; }
    QCheckBox *makePrimaryBox() const { return m_primary; }
    QPushButton *okButton() const { return m_ok; }

    // Shows the dialog; true with a region chosen and OK pressed.
    static bool ask(QWidget *parent, BootLoaderChoice &choice);

private:
    void follow();

    QRadioButton *m_manager;
    QRadioButton *m_a;
    QRadioButton *m_b;
    QCheckBox *m_primary;
    QPushButton *m_ok;
};

} // namespace vork
