#include "setup/configsheet.h"

#include "setup/setupfiles.h"
#include "setup/setupform.h"
#include "unit/records.h"
#include "unit/unitrules.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace vork::configsheet {

namespace {

QString n(const char *name)
{
    return QString::fromLatin1(name);
}

QString hex2(std::uint8_t v)
{
    return QStringLiteral("%1").arg(v, 2, 16, QLatin1Char('0')).toUpper();
}

// The text of a list's chosen entry; empty when nothing is chosen.
QString choiceText(const SetupForm &form, const char *name)
{
    const QStringList choices = form.choices(n(name));
    const int i = form.index(n(name));
    return i >= 0 && i < choices.size() ? choices.at(i) : QString();
}

constexpr int version501 = 501;
constexpr int version503 = 503;
constexpr std::uint8_t modelEipBit = 1;
constexpr std::uint8_t modelNoSuffix = 8;

// Writes rows top to bottom; every row ends with one 12-point line feed.
class Writer
{
public:
    explicit Writer(Sheet &sheet) : m_sheet(sheet) {}

    void title(qreal x, const char *text) { add(x, n(text), ItemKind::Title); }
    void label(qreal x, const char *text, Align align = Align::Left) { add(x, n(text), ItemKind::Label, align); }
    void value(qreal x, const QString &text) { add(x, text, ItemKind::Value); }
    void pair(qreal lx, const char *l, qreal vx, const QString &v)
    {
        label(lx, l);
        value(vx, v);
    }
    void endRow() { feed(1); }
    void feed(int count, qreal points = textPoints) { m_y += count * lineFeed(points); }
    qreal y() const { return m_y; }
    void keepWithin(qreal top, qreal bottom) { m_y = std::clamp(m_y, top, bottom); }

private:
    void add(qreal x, const QString &text, ItemKind kind, Align align = Align::Left)
    {
        m_sheet.items.append({x, m_y, text, kind, align});
    }

    Sheet &m_sheet;
    qreal m_y = 0;
};

QString number(std::uint32_t v)
{
    return QString::number(v);
}

} // namespace

Fields fieldsFromForm(const SetupForm &form)
{
    Fields f;
    f.timeServer = form.text(n("entsvr"));
    f.updateFrequency = form.text(n("entsuf"));
    f.startDelay = form.text(n("edsd"));
    f.finishDelay = form.text(n("edfd"));
    f.restartDelay = form.text(n("Edrt"));
    f.keepAliveInterval = form.text(n("SEka"));
    f.keepAliveRetries = form.text(n("SEkar"));
    f.ethernetMode = choiceText(form, "CBxEthp");
    f.serverIp = form.text(n("ensip"));
    f.port = form.text(n("enprt"));
    f.retransmitCount = form.text(n("SEnrtcnt"));
    f.pad = form.checked(n("cbnpad"));
    f.netDiagnostics = form.checked(n("cbndiag"));
    f.netErrors = form.checked(n("cbnerr"));
    f.serialBaud = choiceText(form, "cbxcbaud");
    f.serialParity = choiceText(form, "cbxcpar");
    f.plcAddress = form.text(n("EeipPLC"));
    f.auxBaud = choiceText(form, "cbxabaud");
    f.auxParity = choiceText(form, "cbxapar");
    f.auxMode = choiceText(form, "cbxafunc");
    return f;
}

QString modelText(int readerCount)
{
    switch (readerCount) {
    case 1: return QStringLiteral("SVRKX");
    case 2: return QStringLiteral("TVRKX");
    case 8: return QStringLiteral("MVRKX");
    default: return QStringLiteral("UNKNOWN");
    }
}

QString softwareText(const udppack &unit)
{
    QString suffix;
    if (unit.model != modelNoSuffix)
        suffix = (unit.model & modelEipBit) ? QStringLiteral("e") : QStringLiteral("s");
    return unit.vnumber + suffix + QStringLiteral(" Build ") + unit.vbuild;
}

QString bootLoaderText(const udppack &unit)
{
    const int v = versionNumber(unit.ver);
    if (v == version503)
        return unit.blv + QStringLiteral(" 1.03 1.03");
    if (v < version503)
        return unit.blv;
    return unit.blv + QLatin1Char(' ') + QString::number(unit.bla) + QLatin1Char(' ') + QString::number(unit.blb);
}

QString osText(const udppack &unit)
{
    if (unit.zosv[0] == 0)
        return {};
    return QStringLiteral("ZiLOG TCP/IP Software Suite v%1.%2.%3")
        .arg(unit.zosv[0])
        .arg(unit.zosv[1])
        .arg(unit.zosv[2]);
}

QString flashText(const udppack &unit)
{
    return QStringLiteral("0x") + hex2(unit.flash_mfg) + QLatin1Char('.') + hex2(unit.flash_typ);
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("Yes") : QStringLiteral("No");
}

QString dateTimeText(const QDateTime &when)
{
    return QLocale::c().toString(when, QStringLiteral("MM/dd/yyyy hh:mm:ss AP"));
}

UnitInfo unitInfo(const udppack *unit, bool connected, const QString &openFileName)
{
    const QString fileMac = setupfiles::macFromFileName(QFileInfo(openFileName).fileName());
    if (unit && connected && fileMac.isEmpty())
        return {modelText(unit->ver.vrcnt), unit->mac,    softwareText(*unit),
                bootLoaderText(*unit),      osText(*unit), flashText(*unit)};
    return {QStringLiteral("NA"), fileMac, QStringLiteral("UNKNOWN"), QStringLiteral("NA"), QString(),
            QStringLiteral("NA")};
}

const Item *Sheet::find(const QString &text, int occurrence) const
{
    for (const Item &i : items)
        if (i.text == text && occurrence-- == 0)
            return &i;
    return nullptr;
}

QStringList Sheet::valuesAfter(const QString &label, int occurrence) const
{
    const Item *l = find(label, occurrence);
    if (!l)
        return {};
    QList<const Item *> line;
    for (const Item &i : items)
        if (i.y == l->y && i.x > l->x && i.kind != ItemKind::Title)
            line.append(&i);
    std::sort(line.begin(), line.end(), [](const Item *a, const Item *b) { return a->x < b->x; });
    QStringList out;
    for (const Item *i : line) {
        if (i->kind == ItemKind::Label)
            break;
        out << i->text;
    }
    return out;
}

Sheet build(const Input &in)
{
    Sheet sheet;
    Writer w(sheet);
    const setuppack &r = in.record;
    const Fields &f = in.fields;
    const int version = versionNumber(in.unit);
    const bool v501 = version >= version501;
    const std::uint8_t model = in.unit ? in.unit->model : 0;

    // Room for the logo.
    w.feed(6, titlePoints);

    const UnitInfo info = unitInfo(in.unit, in.connected, in.openFileName);
    w.title(0.5, "VORK INFORMATION");
    w.endRow();
    const auto infoRow = [&w](const char *l1, const QString &v1, const char *l2, const QString &v2) {
        w.label(2.0, l1, Align::Right);
        w.value(2.1, v1);
        w.label(6.6, l2, Align::Right);
        w.value(6.73, v2);
        w.endRow();
    };
    infoRow("Vork Model:", info.model, "Mac Address:", info.mac);
    infoRow("Software Version:", info.software, "BootLoader Version:", info.bootLoader);
    infoRow("OS Version:", info.os, "Flash Version:", info.flash);
    w.feed(3);

    w.title(0.5, "GENERAL CONFIGURATION");
    w.endRow();
    w.pair(0.6, "Description:", 1.6, r.desc());
    w.endRow();
    w.pair(1.02, "DHCP:", 1.62, yesNo(r.ndhcp()));
    w.pair(2.05, "IP Addr:", 2.75, r.nrip());
    w.pair(4.1, "Mask:", 4.65, r.nrm());
    w.pair(6.2, "Gateway:", 7.0, r.ndg());
    w.endRow();
    w.label(0.56, "Time Server:");
    w.pair(2.05, "IP Addr:", 2.74, f.timeServer);
    w.pair(4.1, "Update Frequency:", 5.69, f.updateFrequency);
    w.pair(6.2, "Use Alt Time:", 7.3, yesNo(r.uats()));
    w.endRow();
    w.label(0.56, "Diagnostics:");
    w.pair(1.77, "Start Delay:", 2.75, f.startDelay);
    w.pair(3.55, "Finish Delay:", 4.65, f.finishDelay);
    w.pair(5.24, "Restart Delay:", 6.44, f.restartDelay);
    w.endRow();
    w.label(0.67, "Keep Alive:");
    w.pair(2.05, "Interval:", 2.76, f.keepAliveInterval);
    w.pair(3.95, "Retries:", 4.63, f.keepAliveRetries);
    if (v501)
        w.pair(5.24, "Ethernet:", 6.06, f.ethernetMode);
    w.endRow();
    w.label(0.7, "Watchdog:");
    w.pair(1.98, "Enabled:", 2.77, yesNo(r.wdt() != 0));
    w.value(3.2, number(r.wdt()));
    w.pair(3.7, "Priority 31:", 4.65, yesNo(r.wdt31()));
    w.pair(5.76, "Tenths:", 6.42, yesNo(r.tenths()));
    w.endRow();
    w.label(0.59, "Net Monitor:");
    w.pair(1.98, "Enabled:", 2.77, yesNo(r.nfm() & nfmbit::monitorOn));
    w.value(3.2, number(r.nfm()));
    w.pair(3.6, "History E99:", 4.65, yesNo(r.e99()));
    w.pair(5.33, "R Command:", 6.43, yesNo(r.rcmd()));
    w.pair(6.83, "Firewall:", 7.57, yesNo(r.firewall()));
    w.endRow();
    w.feed(3);

    w.title(0.5, "NETWORK PORT CONFIGURATION");
    w.pair(4.75, "Enabled:", 5.52, yesNo(r.na()));
    if (v501)
        w.pair(6.0, "Protocol:", 6.85, r.ncp() != 0 ? QStringLiteral("Standard TCP") : QStringLiteral("Ethernet IP"));
    w.endRow();

    const auto modeText = [](std::uint8_t v) { return v ? QStringLiteral("Handshake") : QStringLiteral("Poll"); };
    const auto protocolText = [](std::uint8_t v) { return v ? QStringLiteral("Classic") : QStringLiteral("Ascii"); };
    if (!v501 || r.ncp() != 0) {
        w.pair(0.5, "Box Address:", 1.64, number(r.naddr()));
        w.pair(2.58, "Mode:", 3.15, modeText(r.nmode()));
        w.pair(4.35, "Protocol:", 5.15, protocolText(r.npro()));
        w.endRow();
        w.pair(0.5, "Client/Server:", 1.64, r.ntyp() ? QStringLiteral("Client") : QStringLiteral("Server"));
        w.pair(2.3, "Server IP:", 3.15, f.serverIp);
        w.pair(4.7, "Port:", 5.15, f.port);
        w.endRow();
        w.pair(0.577, "Retrans Cnt:", 1.65, f.retransmitCount);
        w.pair(2.71, "Pad:", 3.15, yesNo(f.pad));
        w.pair(3.64, "Send Diagnostics:", 5.15, yesNo(f.netDiagnostics));
        w.pair(5.7, "Send Errors:", 6.78, yesNo(f.netErrors));
        w.endRow();
        w.feed(3);
        // Older EtherNet/IP units have no serial control port to speak of.
        sheet.serialSection = v501 || !(model & modelEipBit);
        if (sheet.serialSection) {
            w.title(0.5, "SERIAL PORT CONFIGURATION");
            w.pair(5.0, "Enabled:", 5.77, yesNo(r.cpa()));
            w.endRow();
            w.pair(0.5, "Box Address:", 1.64, number(r.caddr()));
            w.pair(2.58, "Mode:", 3.15, modeText(r.cmode()));
            w.pair(4.35, "Protocol:", 5.15, protocolText(r.cpro()));
            w.endRow();
            w.pair(1.09, "Baud:", 1.64, f.serialBaud);
            w.pair(2.56, "Parity:", 3.15, f.serialParity);
            // Like the form's box: only 1 counts as on.
            w.pair(3.64, "Send Diagnostics:", 5.15, yesNo(r.cdiag() == 1));
            w.pair(5.7, "Send Errors:", 6.78, yesNo(r.cerr()));
            w.endRow();
            w.feed(1, 4);
        }
    } else {
        w.pair(0.5, "PLC IP Address:", 1.9, f.plcAddress);
        w.pair(3.1, "Embed Diagnostics:", 4.76, yesNo(r.eipDiags()));
        w.endRow();
        w.pair(0.5, "Enable EIP UDP Broadcast Reply:", 3.25, yesNo(r.nfm() & nfmbit::eipBroadcastReply));
        w.endRow();
        w.pair(0.5, "Close EIP Connection on UDP Data Loss:", 3.85, yesNo(r.nfm() & nfmbit::eipCloseOnDataLoss));
        w.endRow();
    }

    w.feed(2);
    if (!sheet.serialSection)
        w.feed(2);
    if (v501)
        w.feed(2);
    w.keepWithin(auxFirstRow, auxLastStart);
    w.title(0.5, "AUXILIARY PORT CONFIGURATION");
    w.title(5.8, "SECURITY");
    w.endRow();
    w.pair(0.5, "Baud:", 1.05, f.auxBaud);
    w.pair(2.06, "Parity:", 2.65, f.auxParity);
    w.pair(3.6, "Mode:", 4.15, f.auxMode);
    w.pair(5.8, "Password Protected:", 7.55, yesNo(r.pwp()));
    w.endRow();

    const auto frame = [&sheet](qreal l, qreal t, qreal rt, qreal b) {
        sheet.frames.append(QRectF(QPointF(l, t), QPointF(rt, b)));
    };
    frame(0.3, 1.45, 8.2, 2.6);
    frame(0.3, 2.7, 8.2, 4.8);
    frame(0.3, 4.9, 8.2, 6.1);
    frame(0.3, 6.2, 8.2, 7.15);
    frame(0.3, 7.27, 5.4, 8.0);
    frame(5.5, 7.27, 8.2, 8.0);

    sheet.items.append({footerCentreX, footerY, QStringLiteral("Customer's Copy"), ItemKind::Value, Align::Center});
    sheet.items.append({footerRightX, footerY, dateTimeText(in.now), ItemKind::Value, Align::Right});
    return sheet;
}

} // namespace vork::configsheet
