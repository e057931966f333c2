#pragma once

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace vork {

class PhotoEyes;
class UnitServices;

// "PhotoEyes  ": the three eye lamps of each reader of the chosen unit, read
// once or continuously.
class PhotoEyesPanel : public QWidget
{
    Q_OBJECT
public:
    static constexpr int readerPanels = 8;
    static constexpr int lampWidth = 65;
    static constexpr int lampHeight = 16;

    PhotoEyesPanel(UnitServices &services, PhotoEyes &eyes, QWidget *parent = nullptr);

    QComboBox *unitChoice() const { return m_unit; }
    QPushButton *readButton() const { return m_read; }
    QPushButton *continuousButton() const { return m_continuous; }
    QCheckBox *enableBox(int reader) const { return m_enable[reader]; }
    QWidget *readerPanel(int reader) const { return m_panels[reader]; }
    QPushButton *firstReadersButton() const { return m_first; }
    QPushButton *secondReadersButton() const { return m_second; }
    // The lamp picture a reader shows now: A at x 0, B at 24, C at 47.
    QImage lampImage(int reader) const;
    // Whether a reader's lamps show a lit eye (0 A, 1 B, 2 C).
    bool lit(int reader, int eye) const;

    // The tab came to the front: buttons and panels for the chosen unit, lamps off.
    void shown();
    // The tab or the page is left: a running read ends.
    void hidden();

private:
    void readToggled(bool down);
    void continuousToggled(bool down);
    void drawLamps();
    void lampsOff();
    int chosenReaders() const;

    UnitServices &m_services;
    PhotoEyes &m_eyes;
    QComboBox *m_unit;
    QPushButton *m_read;
    QPushButton *m_continuous;
    QPushButton *m_first;
    QPushButton *m_second;
    QStackedWidget *m_sets;
    QWidget *m_panels[readerPanels] = {};
    QLabel *m_lamps[readerPanels] = {};
    QCheckBox *m_enable[readerPanels] = {};
    std::uint8_t m_shown[readerPanels] = {};
};

} // namespace vork
