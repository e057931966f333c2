#pragma once

#include <QWidget>

class QComboBox;

namespace vork {

class Operator;
class TBroadcast;

// "Interface": which local address the UDP socket is bound to.
class InterfaceSelector : public QWidget
{
    Q_OBJECT
public:
    // Fills the choice with addresses and binds the transport to the first one.
    InterfaceSelector(Operator &op, TBroadcast &transport, const QStringList &addresses, QWidget *parent = nullptr);

    // The address kept in the settings, applied when it is still one of the choices.
    void applyStored(const QString &address);
    QComboBox *choice() const { return m_choice; }

Q_SIGNALS:
    // The operator picked an address (the settings keep it at once).
    void picked(const QString &address);

private:
    Operator &m_op;
    TBroadcast &m_transport;
    QComboBox *m_choice;
};

} // namespace vork
