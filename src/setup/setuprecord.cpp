#include "setup/setuprecord.h"

#include "unit/bytecursor.h"

#include <QStringList>

#include <iterator>

namespace vork {

namespace {
constexpr std::uint32_t max24 = 0xFFFFFF;

// Field offsets and widths of the in-memory layout.
constexpr int oNa = 0, oNmode = 1, oNpro = 2, oNtyp = 3, oNsip = 4, oNprt = 20, oNdhcp = 23, oNrip = 24,
              oNrm = 40, oNdg = 56, oNdiag = 72, oNtsvr = 73, oNtsuf = 89, oCpa = 92, oCmode = 93, oCpro = 94,
              oCbaud = 95, oCaddr = 96, oCpar = 98, oCdiag = 99, oCaa = 100, oAbaud = 101, oApar = 102,
              oAmon = 103, oAir = 104, oAfunc = 105, oInit = 106, oNka = 107, oNkar = 109, oTzi = 110,
              oDst = 111, oDesc = 112, oNerr = 176, oCerr = 177, oNpad = 178, oGwf = 179, oHcode = 180,
              oLsa = 181, oLsc = 182, oLsf = 185, oLsm1 = 188, oDsd = 189, oDfd = 192, oPwp = 195, oPw = 196,
              oTzo = 205, oUtzo = 218, oNrtcnt = 219, oNfm = 220, oWdt = 221, oDrt = 222, oNaddr = 225,
              oWdt31 = 227, oE99 = 228, oTenths = 229, oRcmd = 230, oLogRA = 231, oMinB1 = 232, oMinB2 = 233,
              oEthp = 234, oUats = 235, oFirewall = 236, oEipDiags = 237, oNcp = 238, oEipPLCIP = 239;
constexpr int ipWidth = 16, descWidth = 64, pwWidth = 9, tzoWidth = 13;

std::optional<std::uint32_t> parseDecimal24(const QString &text)
{
    return parseFieldNumber(text, max24);
}
} // namespace

std::optional<std::uint32_t> parseFieldNumber(const QString &text, std::uint32_t max)
{
    // Digits only: no sign, no blanks, no base prefix. Stops as soon as it passes max,
    // so no length of text can overflow.
    if (text.isEmpty())
        return std::nullopt;
    std::uint64_t v = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c.unicode() - u'0');
        if (v > max)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(v);
}

int setupSize(int v)
{
    if (v >= 502) return 239;
    if (v >= 317) return 238;
    if (v >= 315) return 236;
    if (v >= 290) return 234;
    if (v >= 264) return 232;
    if (v >= 263) return 231;
    if (v >= 259) return 229;
    if (v >= 258) return 225;
    if (v >= 256) return 222;
    return 221;
}

int setupTransferSize(int versionNumber)
{
    return versionNumber >= 500 ? setuppack::size : setupSize(versionNumber);
}

setuppack::setuppack() : m_bytes(size, '\0') {}

setuppack::setuppack(QByteArrayView bytes) : m_bytes(size, '\0')
{
    const qsizetype n = qMin<qsizetype>(bytes.size(), size);
    for (qsizetype i = 0; i < n; ++i)
        m_bytes[i] = bytes[i];
}

QByteArray setuppack::prefix(int n) const
{
    return m_bytes.left(qBound(0, n, int(size)));
}

std::uint8_t setuppack::byteAt(int offset) const { return u8(offset); }
void setuppack::setByteAt(int offset, std::uint8_t value) { putU8(offset, value); }

std::uint8_t setuppack::u8(int offset) const
{
    if (offset < 0 || offset >= size)
        return 0;
    return static_cast<std::uint8_t>(m_bytes[offset]);
}

void setuppack::putU8(int offset, std::uint8_t v)
{
    if (offset >= 0 && offset < size)
        m_bytes[offset] = static_cast<char>(v);
}

std::uint16_t setuppack::u16(int offset) const
{
    ByteReader r(m_bytes, offset);
    return r.u16();
}

void setuppack::putU16(int offset, std::uint16_t v)
{
    putU8(offset, static_cast<std::uint8_t>(v));
    putU8(offset + 1, static_cast<std::uint8_t>(v >> 8));
}

bool setuppack::putWord(int offset, std::uint32_t v)
{
    // Cutting would store a different number than the one asked for.
    if (v > 0xFFFF)
        return false;
    putU16(offset, static_cast<std::uint16_t>(v));
    return true;
}

std::uint32_t setuppack::u24(int offset) const
{
    ByteReader r(m_bytes, offset);
    const std::uint32_t lo = r.u16();
    return lo | (std::uint32_t(r.u8()) << 16);
}

bool setuppack::putU24(int offset, std::uint32_t v)
{
    // Cutting would store a different number than the one asked for.
    if (v > max24)
        return false;
    putU8(offset, static_cast<std::uint8_t>(v));
    putU8(offset + 1, static_cast<std::uint8_t>(v >> 8));
    putU8(offset + 2, static_cast<std::uint8_t>(v >> 16));
    return true;
}

// Up to the first zero; a field without one yields its first width-1 bytes.
QString setuppack::text(int offset, int width) const
{
    QString s;
    for (int i = 0; i < width - 1; ++i) {
        const std::uint8_t b = u8(offset + i);
        if (b == 0)
            break;
        s.append(QChar(static_cast<char16_t>(b)));
    }
    return s;
}

// Characters beyond Latin-1 become '?'; one byte per character either way.
void setuppack::putText(int offset, int width, const QString &v)
{
    putTextBytes(offset, width, v.left(width - 1).toLatin1());
}

// At most width-1 bytes up to the first zero, then the terminator; bytes after
// the terminator are left as they were.
void setuppack::putTextBytes(int offset, int width, QByteArrayView b)
{
    const qsizetype end = b.indexOf('\0');
    const int n = int(qMin<qsizetype>(end >= 0 ? end : b.size(), width - 1));
    for (int i = 0; i < n; ++i)
        putU8(offset + i, static_cast<std::uint8_t>(b[i]));
    putU8(offset + n, 0);
}

bool setuppack::na() const { return u8(oNa) != 0; }
void setuppack::setNa(bool v) { putU8(oNa, v ? 1 : 0); }
std::uint8_t setuppack::nmode() const { return u8(oNmode); }
void setuppack::setNmode(std::uint8_t v) { putU8(oNmode, v); }
std::uint8_t setuppack::npro() const { return u8(oNpro); }
void setuppack::setNpro(std::uint8_t v) { putU8(oNpro, v); }
std::uint8_t setuppack::ntyp() const { return u8(oNtyp); }
void setuppack::setNtyp(std::uint8_t v) { putU8(oNtyp, v); }
QString setuppack::nsip() const { return text(oNsip, ipWidth); }
void setuppack::setNsip(const QString &v) { putText(oNsip, ipWidth, v); }
std::uint32_t setuppack::nprt() const { return u24(oNprt); }
bool setuppack::setNprt(std::uint32_t v) { return putU24(oNprt, v); }
bool setuppack::ndhcp() const { return u8(oNdhcp) != 0; }
void setuppack::setNdhcp(bool v) { putU8(oNdhcp, v ? 1 : 0); }
QString setuppack::nrip() const { return text(oNrip, ipWidth); }
void setuppack::setNrip(const QString &v) { putText(oNrip, ipWidth, v); }
QString setuppack::nrm() const { return text(oNrm, ipWidth); }
void setuppack::setNrm(const QString &v) { putText(oNrm, ipWidth, v); }
QString setuppack::ndg() const { return text(oNdg, ipWidth); }
void setuppack::setNdg(const QString &v) { putText(oNdg, ipWidth, v); }
std::uint8_t setuppack::ndiag() const { return u8(oNdiag); }
void setuppack::setNdiag(std::uint8_t v) { putU8(oNdiag, v); }
QString setuppack::ntsvr() const { return text(oNtsvr, ipWidth); }
void setuppack::setNtsvr(const QString &v) { putText(oNtsvr, ipWidth, v); }
std::uint32_t setuppack::ntsuf() const { return u24(oNtsuf); }
bool setuppack::setNtsuf(std::uint32_t v) { return putU24(oNtsuf, v); }
bool setuppack::cpa() const { return u8(oCpa) != 0; }
void setuppack::setCpa(bool v) { putU8(oCpa, v ? 1 : 0); }
std::uint8_t setuppack::cmode() const { return u8(oCmode); }
void setuppack::setCmode(std::uint8_t v) { putU8(oCmode, v); }
std::uint8_t setuppack::cpro() const { return u8(oCpro); }
void setuppack::setCpro(std::uint8_t v) { putU8(oCpro, v); }
std::uint8_t setuppack::cbaud() const { return u8(oCbaud); }
void setuppack::setCbaud(std::uint8_t v) { putU8(oCbaud, v); }
std::uint16_t setuppack::caddr() const { return u16(oCaddr); }
bool setuppack::setCaddr(std::uint32_t v) { return putWord(oCaddr, v); }
std::uint8_t setuppack::cpar() const { return u8(oCpar); }
void setuppack::setCpar(std::uint8_t v) { putU8(oCpar, v); }
std::uint8_t setuppack::cdiag() const { return u8(oCdiag); }
void setuppack::setCdiag(std::uint8_t v) { putU8(oCdiag, v); }
bool setuppack::caa() const { return u8(oCaa) != 0; }
void setuppack::setCaa(bool v) { putU8(oCaa, v ? 1 : 0); }
std::uint8_t setuppack::abaud() const { return u8(oAbaud); }
void setuppack::setAbaud(std::uint8_t v) { putU8(oAbaud, v); }
std::uint8_t setuppack::apar() const { return u8(oApar); }
void setuppack::setApar(std::uint8_t v) { putU8(oApar, v); }
std::uint8_t setuppack::amon() const { return u8(oAmon); }
void setuppack::setAmon(std::uint8_t v) { putU8(oAmon, v); }
std::uint8_t setuppack::air() const { return u8(oAir); }
void setuppack::setAir(std::uint8_t v) { putU8(oAir, v); }
std::uint8_t setuppack::afunc() const { return u8(oAfunc); }
void setuppack::setAfunc(std::uint8_t v) { putU8(oAfunc, v); }
std::uint8_t setuppack::init() const { return u8(oInit); }
void setuppack::setInit(std::uint8_t v) { putU8(oInit, v); }
std::uint16_t setuppack::nka() const { return u16(oNka); }
bool setuppack::setNka(std::uint32_t v) { return putWord(oNka, v); }
std::uint8_t setuppack::nkar() const { return u8(oNkar); }
void setuppack::setNkar(std::uint8_t v) { putU8(oNkar, v); }
std::uint8_t setuppack::tzi() const { return u8(oTzi); }
void setuppack::setTzi(std::uint8_t v) { putU8(oTzi, v); }
bool setuppack::dst() const { return u8(oDst) != 0; }
void setuppack::setDst(bool v) { putU8(oDst, v ? 1 : 0); }
QString setuppack::desc() const { return text(oDesc, descWidth); }
void setuppack::setDesc(const QString &v) { putText(oDesc, descWidth, v); }
bool setuppack::nerr() const { return u8(oNerr) != 0; }
void setuppack::setNerr(bool v) { putU8(oNerr, v ? 1 : 0); }
bool setuppack::cerr() const { return u8(oCerr) != 0; }
void setuppack::setCerr(bool v) { putU8(oCerr, v ? 1 : 0); }
bool setuppack::npad() const { return u8(oNpad) != 0; }
void setuppack::setNpad(bool v) { putU8(oNpad, v ? 1 : 0); }
bool setuppack::gwf() const { return u8(oGwf) != 0; }
void setuppack::setGwf(bool v) { putU8(oGwf, v ? 1 : 0); }
bool setuppack::hcode() const { return u8(oHcode) != 0; }
void setuppack::setHcode(bool v) { putU8(oHcode, v ? 1 : 0); }
bool setuppack::lsa() const { return u8(oLsa) != 0; }
void setuppack::setLsa(bool v) { putU8(oLsa, v ? 1 : 0); }
std::uint32_t setuppack::lsc() const { return u24(oLsc); }
bool setuppack::setLsc(std::uint32_t v) { return putU24(oLsc, v); }
std::uint32_t setuppack::lsf() const { return u24(oLsf); }
bool setuppack::setLsf(std::uint32_t v) { return putU24(oLsf, v); }
std::uint8_t setuppack::lsm1() const { return u8(oLsm1); }
void setuppack::setLsm1(std::uint8_t v) { putU8(oLsm1, v); }
std::uint32_t setuppack::dsd() const { return u24(oDsd); }
bool setuppack::setDsd(std::uint32_t v) { return putU24(oDsd, v); }
std::uint32_t setuppack::dfd() const { return u24(oDfd); }
bool setuppack::setDfd(std::uint32_t v) { return putU24(oDfd, v); }
bool setuppack::pwp() const { return u8(oPwp) != 0; }
void setuppack::setPwp(bool v) { putU8(oPwp, v ? 1 : 0); }
QString setuppack::pw() const { return text(oPw, pwWidth); }
void setuppack::setPw(const QString &v) { putText(oPw, pwWidth, v); }
QByteArray setuppack::tzo() const { return m_bytes.mid(oTzo, tzoWidth); }
bool setuppack::setTzo(QByteArrayView v)
{
    if (v.size() != tzoWidth)
        return false;
    for (int i = 0; i < tzoWidth; ++i)
        putU8(oTzo + i, static_cast<std::uint8_t>(v[i]));
    return true;
}
bool setuppack::utzo() const { return u8(oUtzo) != 0; }
void setuppack::setUtzo(bool v) { putU8(oUtzo, v ? 1 : 0); }
std::uint8_t setuppack::nrtcnt() const { return u8(oNrtcnt); }
void setuppack::setNrtcnt(std::uint8_t v) { putU8(oNrtcnt, v); }
std::uint8_t setuppack::nfm() const { return u8(oNfm); }
void setuppack::setNfm(std::uint8_t v) { putU8(oNfm, v); }
std::uint8_t setuppack::wdt() const { return u8(oWdt); }
void setuppack::setWdt(std::uint8_t v) { putU8(oWdt, v); }
std::uint32_t setuppack::drt() const { return u24(oDrt); }
bool setuppack::setDrt(std::uint32_t v) { return putU24(oDrt, v); }
std::uint16_t setuppack::naddr() const { return u16(oNaddr); }
bool setuppack::setNaddr(std::uint32_t v) { return putWord(oNaddr, v); }
bool setuppack::wdt31() const { return u8(oWdt31) != 0; }
void setuppack::setWdt31(bool v) { putU8(oWdt31, v ? 1 : 0); }
bool setuppack::e99() const { return u8(oE99) != 0; }
void setuppack::setE99(bool v) { putU8(oE99, v ? 1 : 0); }
bool setuppack::tenths() const { return u8(oTenths) != 0; }
void setuppack::setTenths(bool v) { putU8(oTenths, v ? 1 : 0); }
bool setuppack::rcmd() const { return u8(oRcmd) != 0; }
void setuppack::setRcmd(bool v) { putU8(oRcmd, v ? 1 : 0); }
bool setuppack::logRA() const { return u8(oLogRA) != 0; }
void setuppack::setLogRA(bool v) { putU8(oLogRA, v ? 1 : 0); }
std::uint8_t setuppack::minB1() const { return u8(oMinB1); }
void setuppack::setMinB1(std::uint8_t v) { putU8(oMinB1, v); }
std::uint8_t setuppack::minB2() const { return u8(oMinB2); }
void setuppack::setMinB2(std::uint8_t v) { putU8(oMinB2, v); }
std::uint8_t setuppack::ethp() const { return u8(oEthp); }
void setuppack::setEthp(std::uint8_t v) { putU8(oEthp, v); }
bool setuppack::uats() const { return u8(oUats) != 0; }
void setuppack::setUats(bool v) { putU8(oUats, v ? 1 : 0); }
bool setuppack::firewall() const { return u8(oFirewall) != 0; }
void setuppack::setFirewall(bool v) { putU8(oFirewall, v ? 1 : 0); }
bool setuppack::eipDiags() const { return u8(oEipDiags) != 0; }
void setuppack::setEipDiags(bool v) { putU8(oEipDiags, v ? 1 : 0); }
std::uint8_t setuppack::ncp() const { return u8(oNcp); }
void setuppack::setNcp(std::uint8_t v) { putU8(oNcp, v); }

std::uint32_t setuppack::eipPLCIPValue() const
{
    ByteReader r(m_bytes, oEipPLCIP);
    return r.u32();
}

void setuppack::setEipPLCIPValue(std::uint32_t v)
{
    putU16(oEipPLCIP, static_cast<std::uint16_t>(v));
    putU16(oEipPLCIP + 2, static_cast<std::uint16_t>(v >> 16));
}

QString setuppack::eipPLCIP() const { return plcAddressText(eipPLCIPValue()); }

bool setuppack::setEipPLCIP(const QString &v)
{
    const auto value = plcAddressFromText(v);
    if (!value)
        return false;
    setEipPLCIPValue(*value);
    return true;
}

QString setuppack::threeByteToStr(ThreeByte field) const
{
    return QString::number(u24(static_cast<int>(field)));
}

bool setuppack::strToThreeByte(ThreeByte field, const QString &text)
{
    const auto v = parseDecimal24(text);
    return v && putU24(static_cast<int>(field), *v);
}

QVariant setuppack::value(const SetupField &f) const
{
    switch (f.kind) {
    case SetupFieldKind::Boolean: return u8(f.offset) != 0;
    case SetupFieldKind::Byte: return static_cast<uint>(u8(f.offset));
    case SetupFieldKind::Word: return static_cast<uint>(u16(f.offset));
    case SetupFieldKind::ThreeByte: return static_cast<uint>(u24(f.offset));
    case SetupFieldKind::Text:
    case SetupFieldKind::IpText: return text(f.offset, f.width);
    case SetupFieldKind::Bytes: return QString::fromLatin1(m_bytes.mid(f.offset, f.width).toHex());
    case SetupFieldKind::PlcAddress: {
        ByteReader r(m_bytes, f.offset);
        return plcAddressText(r.u32());
    }
    }
    return {};
}

QString setuppack::valueText(const SetupField &f) const
{
    const QVariant v = value(f);
    if (f.kind == SetupFieldKind::Boolean)
        return v.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return v.toString();
}

bool setuppack::setValueText(const SetupField &f, const QString &v)
{
    switch (f.kind) {
    case SetupFieldKind::Boolean:
        if (v != QLatin1String("0") && v != QLatin1String("1"))
            return false;
        putU8(f.offset, v == QLatin1String("1") ? 1 : 0);
        return true;
    case SetupFieldKind::Byte:
        if (const auto n = parseFieldNumber(v, 0xFF)) {
            putU8(f.offset, static_cast<std::uint8_t>(*n));
            return true;
        }
        return false;
    case SetupFieldKind::Word:
        if (const auto n = parseFieldNumber(v, 0xFFFF))
            return putWord(f.offset, *n);
        return false;
    case SetupFieldKind::ThreeByte:
        if (const auto n = parseFieldNumber(v, max24))
            return putU24(f.offset, *n);
        return false;
    case SetupFieldKind::Text:
    case SetupFieldKind::IpText:
        putText(f.offset, f.width, v);
        return true;
    case SetupFieldKind::Bytes: {
        if (v.size() != 2 * f.width)
            return false;
        for (QChar c : v) {
            const char16_t u = c.unicode();
            if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')))
                return false;
        }
        const QByteArray b = QByteArray::fromHex(v.toLatin1());
        for (int i = 0; i < f.width; ++i)
            putU8(f.offset + i, static_cast<std::uint8_t>(b[i]));
        return true;
    }
    case SetupFieldKind::PlcAddress:
        if (const auto a = plcAddressFromText(v)) {
            putU16(f.offset, static_cast<std::uint16_t>(*a));
            putU16(f.offset + 2, static_cast<std::uint16_t>(*a >> 16));
            return true;
        }
        return false;
    }
    return false;
}

bool setuppack::setTextBytes(const SetupField &f, QByteArrayView bytes)
{
    if (f.kind != SetupFieldKind::Text && f.kind != SetupFieldKind::IpText)
        return false;
    putTextBytes(f.offset, f.width, bytes);
    return true;
}

namespace {
using VS = SetupValueSet;
using K = SetupFieldKind;

constexpr SetupValueName modeNames[] = {{0, "Poll"}, {1, "Handshake"}};
constexpr SetupValueName netProtocolNames[] = {{0, "Ascii"}, {1, "Classic"}};
constexpr SetupValueName roleNames[] = {{0, "Server"}, {1, "Client"}};
constexpr SetupValueName yesNoNames[] = {{0, "no"}, {1, "yes"}};
constexpr SetupValueName serialProtocolNames[] = {{0, "Ascii"}, {1, "Classic"}, {2, "Device Net"}};
constexpr SetupValueName baudNames[] = {{0, "600"},   {1, "1200"},  {2, "2400"},  {3, "4800"},
                                        {4, "9600"},  {5, "19200"}, {6, "38400"}, {7, "57600"}};
constexpr SetupValueName parityNames[] = {{0, "None"}, {1, "Odd"}};
constexpr SetupValueName auxFunctionNames[] = {{0, "OS Console"}, {1, "Bluetooth Interface"}};
constexpr SetupValueName fixedSizeNames[] = {{0, "all sizes"}, {7, "7"},   {8, "8"},   {9, "9"},
                                             {10, "10"},       {11, "11"}, {12, "12"}, {13, "13"},
                                             {14, "14"},       {15, "15"}, {16, "16"}};
constexpr SetupValueName labelSizeBits[] = {{1, "8-bit labels"},   {2, "9-bit labels"},  {4, "10-bit labels"},
                                            {8, "11-bit labels"},  {16, "12-bit labels"}, {32, "13-bit labels"},
                                            {64, "14-bit labels"}, {128, "15-bit labels"}};
constexpr SetupValueName nfmBits[] = {{1, "network fault monitor on"},
                                      {2, "reboot for a network server or child process error"},
                                      {4, "reboot for a major network fault"},
                                      {8, "EtherNet/IP: close the connection on data loss"},
                                      {16, "EtherNet/IP: enable the UDP broadcast reply"}};
constexpr SetupValueName watchdogNames[] = {{0, "off"}, {1, "4.00 s"}, {2, "3.28 s"}, {3, "2.68 s"}};
constexpr SetupValueName ethernetNames[] = {{0, "10 mbps Half Duplex"}, {1, "10 mbps Full  Duplex"},
                                            {2, "100 mbps Half Duplex"}, {3, "100 mbps Full  Duplex"},
                                            {4, "Auto Negotiate"}};
constexpr SetupValueName commandProtocolNames[] = {{0, "EIP"}, {1, "STD"}};

constexpr VS any{};
constexpr VS named(std::span<const SetupValueName> names) { return {VS::Type::Named, 0, 0, names}; }
constexpr VS bits(std::span<const SetupValueName> names) { return {VS::Type::Bits, 0, 0, names}; }
constexpr VS range(std::int64_t lo, std::int64_t hi) { return {VS::Type::Range, lo, hi, {}}; }

const SetupField fieldTable[] = {
    {"na", oNa, 1, K::Boolean, any},
    {"nmode", oNmode, 1, K::Byte, named(modeNames)},
    {"npro", oNpro, 1, K::Byte, named(netProtocolNames)},
    {"ntyp", oNtyp, 1, K::Byte, named(roleNames)},
    {"nsip", oNsip, ipWidth, K::IpText, any},
    {"nprt", oNprt, 3, K::ThreeByte, any},
    {"ndhcp", oNdhcp, 1, K::Boolean, any},
    {"nrip", oNrip, ipWidth, K::IpText, any},
    {"nrm", oNrm, ipWidth, K::IpText, any},
    {"ndg", oNdg, ipWidth, K::IpText, any},
    {"ndiag", oNdiag, 1, K::Byte, named(yesNoNames)},
    {"ntsvr", oNtsvr, ipWidth, K::IpText, any},
    {"ntsuf", oNtsuf, 3, K::ThreeByte, range(1, max24)},
    {"cpa", oCpa, 1, K::Boolean, any},
    {"cmode", oCmode, 1, K::Byte, named(modeNames)},
    {"cpro", oCpro, 1, K::Byte, named(serialProtocolNames)},
    {"cbaud", oCbaud, 1, K::Byte, named(baudNames)},
    {"caddr", oCaddr, 2, K::Word, range(0, 9999)},
    {"cpar", oCpar, 1, K::Byte, named(parityNames)},
    {"cdiag", oCdiag, 1, K::Byte, named(yesNoNames)},
    {"caa", oCaa, 1, K::Boolean, any, true},
    {"abaud", oAbaud, 1, K::Byte, named(baudNames)},
    {"apar", oApar, 1, K::Byte, named(parityNames)},
    {"amon", oAmon, 1, K::Byte, any, true},
    {"air", oAir, 1, K::Byte, any, true},
    {"afunc", oAfunc, 1, K::Byte, named(auxFunctionNames)},
    {"init", oInit, 1, K::Byte, any, true},
    {"nka", oNka, 2, K::Word, any},
    {"nkar", oNkar, 1, K::Byte, range(1, 255)},
    {"tzi", oTzi, 1, K::Byte, range(0, 84)},
    {"dst", oDst, 1, K::Boolean, any},
    {"desc", oDesc, descWidth, K::Text, any},
    {"nerr", oNerr, 1, K::Boolean, any},
    {"cerr", oCerr, 1, K::Boolean, any},
    {"npad", oNpad, 1, K::Boolean, any},
    {"gwf", oGwf, 1, K::Boolean, any},
    {"hcode", oHcode, 1, K::Boolean, any},
    {"lsa", oLsa, 1, K::Boolean, any},
    {"lsc", oLsc, 3, K::ThreeByte, range(1, 9)},
    {"lsf", oLsf, 3, K::ThreeByte, named(fixedSizeNames)},
    {"lsm1", oLsm1, 1, K::Byte, bits(labelSizeBits)},
    {"dsd", oDsd, 3, K::ThreeByte, any},
    {"dfd", oDfd, 3, K::ThreeByte, any},
    {"pwp", oPwp, 1, K::Boolean, any},
    {"pw", oPw, pwWidth, K::Text, any},
    {"tzo", oTzo, tzoWidth, K::Bytes, any},
    {"utzo", oUtzo, 1, K::Boolean, any},
    {"nrtcnt", oNrtcnt, 1, K::Byte, any},
    {"nfm", oNfm, 1, K::Byte, bits(nfmBits)},
    {"wdt", oWdt, 1, K::Byte, named(watchdogNames)},
    {"drt", oDrt, 3, K::ThreeByte, any},
    {"naddr", oNaddr, 2, K::Word, range(0, 9999)},
    {"wdt31", oWdt31, 1, K::Boolean, any},
    {"e99", oE99, 1, K::Boolean, any},
    {"tenths", oTenths, 1, K::Boolean, any},
    {"rcmd", oRcmd, 1, K::Boolean, any},
    {"logRA", oLogRA, 1, K::Boolean, any},
    {"minB1", oMinB1, 1, K::Byte, range(5, 30)},
    {"minB2", oMinB2, 1, K::Byte, range(5, 30)},
    {"ethp", oEthp, 1, K::Byte, named(ethernetNames)},
    {"uats", oUats, 1, K::Boolean, any},
    {"firewall", oFirewall, 1, K::Boolean, any},
    {"eipDiags", oEipDiags, 1, K::Boolean, any},
    {"ncp", oNcp, 1, K::Byte, named(commandProtocolNames)},
    {"eipPLCIP", oEipPLCIP, 4, K::PlcAddress, any},
};

std::int64_t largestFor(const SetupField &f)
{
    switch (f.kind) {
    case K::Boolean: return 1;
    case K::Byte: return 0xFF;
    case K::Word: return 0xFFFF;
    case K::ThreeByte: return max24;
    case K::PlcAddress: return 0xFFFFFFFF;
    default: return -1;
    }
}
} // namespace

std::span<const SetupField> setupFields() { return fieldTable; }

const SetupField *setupField(QStringView name)
{
    for (const SetupField &f : fieldTable)
        if (name == QLatin1String(f.name))
            return &f;
    return nullptr;
}

bool setupFieldHeld(const SetupField &f, int length, int versionNumber)
{
    if (f.offset == oEthp && versionNumber < 500)
        return false;
    return f.presentAt(length);
}

bool setupValueAllowed(const SetupField &f, std::int64_t v)
{
    const std::int64_t largest = largestFor(f);
    if (largest < 0)
        return true;
    if (v < 0 || v > largest)
        return false;
    switch (f.values.type) {
    case SetupValueSet::Type::Any:
    case SetupValueSet::Type::Bits: return true;
    case SetupValueSet::Type::Range: return v >= f.values.min && v <= f.values.max;
    case SetupValueSet::Type::Named:
        for (const SetupValueName &n : f.values.names)
            if (n.value == v)
                return true;
        return false;
    }
    return false;
}

QString setupValueName(const SetupField &f, std::int64_t v)
{
    if (f.values.type != SetupValueSet::Type::Named && f.values.type != SetupValueSet::Type::Bits)
        return {};
    for (const SetupValueName &n : f.values.names)
        if (n.value == v)
            return QString::fromLatin1(n.text);
    return {};
}

std::int64_t setupAddressMax(std::uint8_t protocol)
{
    return protocol == 1 ? 255 : 9999;
}

QString setupFieldKindName(SetupFieldKind kind)
{
    switch (kind) {
    case K::Boolean: return QStringLiteral("boolean");
    case K::Byte: return QStringLiteral("byte");
    case K::Word: return QStringLiteral("word");
    case K::ThreeByte: return QStringLiteral("24-bit");
    case K::Text: return QStringLiteral("text");
    case K::IpText: return QStringLiteral("IP text");
    case K::Bytes: return QStringLiteral("bytes");
    case K::PlcAddress: return QStringLiteral("PLC address");
    }
    return {};
}

QString threeByteToStr(QByteArrayView field)
{
    if (field.size() != 3)
        return {};
    ByteReader r(field);
    const std::uint32_t lo = r.u16();
    return QString::number(lo | (std::uint32_t(r.u8()) << 16));
}

bool strToThreeByte(const QString &text, QByteArray &field)
{
    const auto v = parseDecimal24(text);
    if (field.size() != 3 || !v)
        return false;
    field[0] = static_cast<char>(*v & 0xFF);
    field[1] = static_cast<char>((*v >> 8) & 0xFF);
    field[2] = static_cast<char>((*v >> 16) & 0xFF);
    return true;
}

std::optional<std::uint32_t> plcAddressFromText(const QString &text)
{
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const QString &p : parts) {
        if (p.isEmpty() || p.size() > 3)
            return std::nullopt;
        std::uint32_t octet = 0;
        for (QChar c : p) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
            octet = octet * 10 + static_cast<std::uint32_t>(c.unicode() - u'0');
        }
        if (octet > 255)
            return std::nullopt;
        value = (value << 8) | octet;
    }
    return value;
}

QString plcAddressText(std::uint32_t v)
{
    return QStringLiteral("%1.%2.%3.%4").arg(v >> 24).arg((v >> 16) & 0xFF).arg((v >> 8) & 0xFF).arg(v & 0xFF);
}

void shiftOlderLayout(setuppack &record, ShiftDirection direction, int versionNumber)
{
    if (versionNumber >= 500)
        return;
    if (direction == ShiftDirection::Received) {
        // Highest first, so each source is read before it is overwritten.
        record.setByteAt(oEipDiags, record.byteAt(236));
        record.setByteAt(oFirewall, record.byteAt(235));
        record.setByteAt(oUats, record.byteAt(234));
    } else {
        record.setByteAt(234, record.byteAt(oUats));
        record.setByteAt(235, record.byteAt(oFirewall));
        record.setByteAt(236, record.byteAt(oEipDiags));
    }
}

bool setupShowsNaddr(int receivedLength) { return receivedLength > 226; }
bool setupShowsUats(int receivedLength) { return receivedLength > 235; }
bool setupShowsFirewall(int receivedLength) { return receivedLength > 236; }
bool setupShowsAdvancedBits(int receivedLength) { return receivedLength >= 234; }

std::optional<int> baudForIndex(int index)
{
    static constexpr int bauds[] = {600, 1200, 2400, 4800, 9600, 19200, 38400, 57600};
    if (index < 0 || index >= int(std::size(bauds)))
        return std::nullopt;
    return bauds[index];
}

QString ethernetModeText(int ethp)
{
    switch (ethp) {
    case 0: return QStringLiteral("10 mbps Half Duplex");
    case 1: return QStringLiteral("10 mbps Full  Duplex");
    case 2: return QStringLiteral("100 mbps Half Duplex");
    case 3: return QStringLiteral("100 mbps Full  Duplex");
    case 4: return QStringLiteral("Auto Negotiate");
    default: return {};
    }
}

int labelBitsForLsm1Bit(int bitValue)
{
    for (int i = 0; i < 8; ++i)
        if (bitValue == (1 << i))
            return 8 + i;
    return 0;
}

QList<int> lsm1LabelSizes(std::uint8_t lsm1)
{
    QList<int> sizes;
    for (int i = 0; i < 8; ++i)
        if (lsm1 & (1 << i))
            sizes.append(8 + i);
    return sizes;
}

QString nfmBitText(int bitValue)
{
    switch (bitValue) {
    case nfmbit::monitorOn: return QStringLiteral("network fault monitor on");
    case nfmbit::rebootServerError: return QStringLiteral("reboot for a network server or child process error");
    case nfmbit::rebootMajorFault: return QStringLiteral("reboot for a major network fault");
    case nfmbit::eipCloseOnDataLoss: return QStringLiteral("EtherNet/IP: close the connection on data loss");
    case nfmbit::eipBroadcastReply: return QStringLiteral("EtherNet/IP: enable the UDP broadcast reply");
    default: return {};
    }
}

CustomTimeZone CustomTimeZone::decode(QByteArrayView bytes)
{
    ByteReader r(bytes.first(qMin<qsizetype>(bytes.size(), size)));
    auto u24 = [&r] {
        const std::uint32_t lo = r.u16();
        return lo | (std::uint32_t(r.u8()) << 16);
    };
    CustomTimeZone z;
    z.startMonth = r.u8();
    z.startRule = r.u8();
    z.startDay = r.u8();
    z.startTime = u24();
    z.endMonth = r.u8();
    z.endRule = r.u8();
    z.endDay = r.u8();
    z.endTime = u24();
    z.observeDst = r.u8();
    return z;
}

QByteArray CustomTimeZone::encode() const
{
    QByteArray out;
    ByteWriter w(out);
    auto u24 = [&w](std::uint32_t v) {
        w.u16(static_cast<std::uint16_t>(v));
        w.u8(static_cast<std::uint8_t>(v >> 16));
    };
    w.u8(startMonth);
    w.u8(startRule);
    w.u8(startDay);
    u24(startTime);
    w.u8(endMonth);
    w.u8(endRule);
    w.u8(endDay);
    u24(endTime);
    w.u8(observeDst);
    return out;
}

bool CustomTimeZone::isNone() const { return *this == CustomTimeZone{}; }

QString timeZoneRuleText(int rule)
{
    switch (rule) {
    case 1: return QStringLiteral("First");
    case 2: return QStringLiteral("Second");
    case 3: return QStringLiteral("Third");
    case 4: return QStringLiteral("Last");
    case 5: return QStringLiteral("Date");
    default: return {};
    }
}

} // namespace vork
