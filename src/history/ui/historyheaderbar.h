#pragma once

#include <QWidget>

#include <array>

class QLabel;

namespace vork {

struct udppack;

// The five bold panels above the history grid: model and version, MAC, IP,
// description, and the view count in black on yellow.
class HistoryHeaderBar : public QWidget
{
    Q_OBJECT
public:
    explicit HistoryHeaderBar(QWidget *parent = nullptr);

    // " SVRKX   ", " TVRKX   ", " MVRKX   " by reader count; empty for other counts.
    static QString modelLabel(int readers);

    // Panels 0-3 from the unit when one is given; clear empties them all; panel 4 always.
    void update(const udppack *unit, bool clear, int viewCount);
    QString panelText(int panel) const;
    QLabel *panel(int panel) const { return m_panels.at(std::size_t(panel)); }

private:
    std::array<QLabel *, 5> m_panels{};
};

} // namespace vork
