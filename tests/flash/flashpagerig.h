#pragma once

// A FLASH page over simulated units on loopback (net 127.0.63), with the run's
// bounds shortened and its clock pinned, and the helpers the page tests share.
#include "connection/commands.h"
#include "core/boundedwait.h"
#include "core/pinger.h"
#include "core/settings.h"
#include "discovery/broadcast.h"
#include "flash/flashpagecontroller.h"
#include "flash/flashrun.h"
#include "flash/heximage.h"
#include "flash/ui/bootloaderdialog.h"
#include "flash/ui/flashbutton.h"
#include "flash/ui/flashlogpane.h"
#include "flash/ui/flashmodels.h"
#include "flash/ui/flashpage.h"
#include "flash/ui/flashpictures.h"
#include "flash/ui/jpegpicture.h"
#include "hexfixture.h"
#include "recordingoperator.h"
#include "services/pagerules.h"
#include "services/unitservices.h"
#include "simcommandserver.h"
#include "simfleet.h"
#include "unit/announcement.h"
#include "unit/unittable.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>


namespace vork::test {


inline QString unitIp(int i)
{
    return QStringLiteral("127.0.63.%1").arg(i + 2);
}

// Answers while the simulated unit at the address is up: a reboot is seen as silence.
class SimPinger : public Pinger
{
public:
    explicit SimPinger(sim::SimFleet &fleet) : m_fleet(fleet) {}
    bool ping(const QString &host, int, bool) override
    {
        for (int i = 0; i < m_fleet.size(); ++i)
            if (m_fleet.server(i).unit().address.toString() == host)
                return !m_fleet.server(i).isDown();
        return false;
    }

private:
    sim::SimFleet &m_fleet;
};

inline sim::SimUnit flashUnit(int i)
{
    sim::SimUnit u = sim::demoUnit(0, QHostAddress(unitIp(i)));
    u.version = {3, 0, 0}; // no login; below 5.0.0 so the model check runs
    u.model = 0;
    u.readers = 1;
    u.restartSilenceMs = 300;
    u.flash.eraseMs = 20;
    return u;
}

const QDateTime fixedNow(QDate(2024, 3, 5), QTime(14, 7, 9));
const QString stamp = QStringLiteral("02:07:09 PM");
const QString dateStamp = QStringLiteral("03/05/2024");

// A page over simulated units, with the run's bounds shortened and its clock pinned.
struct PageRig
{
    explicit PageRig(const QList<sim::SimUnit> &units)
        : services(op), controller(services), file(op, dir.filePath(QStringLiteral("Vork.ini"))),
          page(services, controller, settings, file)
    {
        auto pinger = std::make_unique<SimPinger>(fleet);
        services.setPinger(std::move(pinger));
        services.transport().setLocalPort(0);
        for (const sim::SimUnit &u : units)
            fleet.add(u);
        QString error;
        started = fleet.start({}, &error);
        if (!started)
            qWarning("%s", qPrintable(error));
        UnitTable &table = services.units();
        for (int k = 0; started && k < fleet.size(); ++k) {
            udppack announced;
            decodeAnnouncement(fleet.server(k).announcement(), announcement::fullSize, announced);
            table.enterAnnouncement(announced, fleet.server(k).unit().address.toString());
        }
        FlashRun::Timings t;
        t.connectMs = 3000;
        t.eraseAckSeconds = 3;
        t.lineDeadlineMs = 600;
        t.abortGraceMs = 300;
        t.abortAckSeconds = 2;
        t.rebootPauseMs = 50;
        t.rebootTicks = 150;
        t.rebootTickMs = 10;
        t.pingEveryTicks = 10;
        t.queryWaitMs = 1500;
        t.bootLoaderPauseMs = 10;
        t.speedStepMs = 5;
        run().setTimings(t);
        run().setClock([] { return fixedNow; });
        page.setOpenPauseMs(10);
        page.resize(1000, 700);
        page.show();
    }
    FlashRun &run() { return controller.run(); }
    // Writes an image file and opens it through the page's "Open " button.
    QString open(const QStringList &lines, const QString &name = QStringLiteral("image.hex"))
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return {};
        f.write(hexfixture::fileBytes(lines));
        f.close();
        page.chooseHexFile = [path](const QString &) { return path; };
        QTest::mouseClick(page.openButton(), Qt::LeftButton);
        return path;
    }
    void select(int i) { services.units().unit(i).selected = true; }
    void clickProgram() { QTest::mouseClick(page.flashButton(), Qt::LeftButton, {}, FlashButton::programRegion().center()); }
    QStringList pane() const { return page.logPane()->toPlainText().split(QLatin1Char('\n')); }
    sim::SimCommandServer &tcp(int i) { return fleet.server(i).tcp(); }

    QTemporaryDir dir;
    RecordingOperator op;
    UnitServices services;
    FlashPageController controller;
    Settings settings;
    SettingsFile file;
    FlashPage page;
    sim::SimFleet fleet;
    bool started = false;
};

inline QByteArray wire(const QStringList &lines)
{
    QByteArray out;
    for (const QString &l : lines)
        out += paddedFlashLine(l);
    return out;
}

inline QStringList withoutStamps(const QStringList &summary)
{
    QStringList out;
    for (QString line : summary) {
        line.remove(QLatin1Char('\t'));
        line.remove(dateStamp + QLatin1Char(' '));
        line.remove(stamp);
        out << line;
    }
    return out;
}

// The marks of a progress row's five steps: '-' none, 'P' passed, 'W' pending, 'X' failed.
inline QString marks(const FlashProgressModel &model, int row)
{
    QString out;
    for (int c = FlashProgressModel::C; c <= FlashProgressModel::O; ++c) {
        const QModelIndex i = model.index(row, c);
        const QString text = model.data(i, Qt::DisplayRole).toString();
        const QColor colour = model.data(i, Qt::ForegroundRole).value<QColor>();
        if (text.isEmpty())
            out += QLatin1Char('-');
        else if (text != QString(FlashProgressModel::mark))
            out += QLatin1Char('?');
        else if (colour == FlashProgressModel::passedColor())
            out += QLatin1Char('P');
        else if (colour == FlashProgressModel::failedColor())
            out += QLatin1Char('X');
        else if (colour == model.pendingColor())
            out += QLatin1Char('W');
        else
            out += QLatin1Char('?');
    }
    return out;
}

inline QByteArray generatedJpeg()
{
    // Two flat halves, so the decoded colours can be checked despite the compression.
    QImage img(32, 16, QImage::Format_RGB888);
    img.fill(QColor(220, 20, 20));
    for (int y = 0; y < 16; ++y)
        for (int x = 16; x < 32; ++x)
            img.setPixelColor(x, y, QColor(20, 20, 220));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!img.save(&buffer, "JPEG", 95))
        return {};
    return bytes;
}

inline bool near(const QColor &a, const QColor &b)
{
    return qAbs(a.red() - b.red()) < 24 && qAbs(a.green() - b.green()) < 24 && qAbs(a.blue() - b.blue()) < 24;
}


} // namespace vork::test
