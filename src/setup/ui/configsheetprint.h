#pragma once

#include "setup/configsheet.h"

#include <QDateTime>
#include <QImage>
#include <QObject>

#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class QPrintPreviewDialog;
class QWidget;

namespace vork {

class Operator;

// Draws the sheet on any paint device: inches become device units by the
// device's own resolution, so a printer, a PDF file and a test's recorder
// get the same page. screenPpi sizes the logo as it would show on screen.
void paintConfigSheet(QPainter &painter, const configsheet::Sheet &sheet, const QImage &logo, qreal screenPpi);
// Our logo, drawn here rather than shipped as a file.
QImage configSheetLogo();
// The primary screen's logical resolution (96 without a screen).
qreal screenPixelsPerInch();

// "Preview" and "Print" of the SETUP page.
class ConfigSheetPrint : public QObject
{
    Q_OBJECT
public:
    ConfigSheetPrint(Operator &op, QWidget *dialogParent);

    // The sheet as the page stands at the moment of printing, stamped with now.
    std::function<configsheet::Sheet(const QDateTime &now)> source;
    // The footer's date and time; tests pin it.
    std::function<QDateTime()> clock;
    // The printer "Print" sends to: the default one, unless a test puts a PDF file
    // in its place. Null: there is no printer.
    std::function<std::unique_ptr<QPrinter>()> printerForPrint;
    // How the preview window runs: modal by default.
    std::function<int(QPrintPreviewDialog &)> runPreview;

    void preview();
    // True when the page went to the printer.
    bool print();
    // One page on a printer already set up; false when the printer refuses.
    bool render(QPrinter &printer) const;

    static QString noPrinterText()
    {
        return QStringLiteral("No printer is available. The configuration sheet was not printed.");
    }
    static QString failedText() { return QStringLiteral("The configuration sheet could not be printed."); }

private:
    Operator &m_op;
    QWidget *m_parent;
    QImage m_logo;
};

} // namespace vork
