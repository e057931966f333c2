#pragma once

#include <QMainWindow>

class QTabWidget;

namespace vork {

class GuiOperator;
class TBroadcast;
class UnitTable;

// The frame of the program: the seven pages, the status bar and what they share.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char *caption = "Brivella Utility";

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    GuiOperator &op() { return *m_op; }
    TBroadcast &transport() { return *m_transport; }
    UnitTable &units() { return *m_units; }
    QTabWidget *pages() const { return m_pages; }
    QTabWidget *discoverTabs() const { return m_discoverTabs; }

private:
    GuiOperator *m_op;
    TBroadcast *m_transport;
    UnitTable *m_units;
    QTabWidget *m_pages;
    QTabWidget *m_discoverTabs;
};

} // namespace vork
