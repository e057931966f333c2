#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include <QStringView>
#include <QVariant>

#include <cstdint>
#include <optional>
#include <span>

namespace vork {

struct SetupField;

// Setup record length by firmware version number.
int setupSize(int versionNumber);
// Bytes a unit of this version sends after 'U': from 5.0.0 on the full record,
// whose last field only travels in full transfers; before, its own shorter length.
int setupTransferSize(int versionNumber);

// A unit's setup record: 243 raw bytes with a typed accessor per field.
// Always exactly 243 bytes; bytes it does not understand travel unchanged.
class setuppack
{
public:
    static constexpr int size = 243;

    // The 24-bit fields, by the offset of their first byte.
    enum class ThreeByte : int { nprt = 20, ntsuf = 89, lsc = 182, lsf = 185, dsd = 189, dfd = 192, drt = 222 };

    setuppack();
    // Copies at most 243 bytes; a shorter input leaves the rest zero.
    explicit setuppack(QByteArrayView bytes);

    const QByteArray &bytes() const { return m_bytes; }
    // The first n bytes (n clamped to 0..243), as saved in files.
    QByteArray prefix(int n) const;
    std::uint8_t byteAt(int offset) const;
    void setByteAt(int offset, std::uint8_t value);

    bool operator==(const setuppack &other) const { return m_bytes == other.m_bytes; }

    bool na() const;                void setNa(bool v);
    std::uint8_t nmode() const;     void setNmode(std::uint8_t v);
    std::uint8_t npro() const;      void setNpro(std::uint8_t v);
    std::uint8_t ntyp() const;      void setNtyp(std::uint8_t v);
    QString nsip() const;           void setNsip(const QString &v);
    std::uint32_t nprt() const;     bool setNprt(std::uint32_t v);
    bool ndhcp() const;             void setNdhcp(bool v);
    QString nrip() const;           void setNrip(const QString &v);
    QString nrm() const;            void setNrm(const QString &v);
    QString ndg() const;            void setNdg(const QString &v);
    std::uint8_t ndiag() const;     void setNdiag(std::uint8_t v);
    QString ntsvr() const;          void setNtsvr(const QString &v);
    std::uint32_t ntsuf() const;    bool setNtsuf(std::uint32_t v);
    bool cpa() const;               void setCpa(bool v);
    std::uint8_t cmode() const;     void setCmode(std::uint8_t v);
    std::uint8_t cpro() const;      void setCpro(std::uint8_t v);
    std::uint8_t cbaud() const;     void setCbaud(std::uint8_t v);
    std::uint16_t caddr() const;    bool setCaddr(std::uint32_t v);
    std::uint8_t cpar() const;      void setCpar(std::uint8_t v);
    std::uint8_t cdiag() const;     void setCdiag(std::uint8_t v);
    bool caa() const;               void setCaa(bool v);
    std::uint8_t abaud() const;     void setAbaud(std::uint8_t v);
    std::uint8_t apar() const;      void setApar(std::uint8_t v);
    std::uint8_t amon() const;      void setAmon(std::uint8_t v);
    std::uint8_t air() const;       void setAir(std::uint8_t v);
    std::uint8_t afunc() const;     void setAfunc(std::uint8_t v);
    std::uint8_t init() const;      void setInit(std::uint8_t v);
    std::uint16_t nka() const;      bool setNka(std::uint32_t v);
    std::uint8_t nkar() const;      void setNkar(std::uint8_t v);
    std::uint8_t tzi() const;       void setTzi(std::uint8_t v);
    bool dst() const;               void setDst(bool v);
    QString desc() const;           void setDesc(const QString &v);
    bool nerr() const;              void setNerr(bool v);
    bool cerr() const;              void setCerr(bool v);
    bool npad() const;              void setNpad(bool v);
    bool gwf() const;               void setGwf(bool v);
    bool hcode() const;             void setHcode(bool v);
    bool lsa() const;               void setLsa(bool v);
    std::uint32_t lsc() const;      bool setLsc(std::uint32_t v);
    std::uint32_t lsf() const;      bool setLsf(std::uint32_t v);
    std::uint8_t lsm1() const;      void setLsm1(std::uint8_t v);
    std::uint32_t dsd() const;      bool setDsd(std::uint32_t v);
    std::uint32_t dfd() const;      bool setDfd(std::uint32_t v);
    bool pwp() const;               void setPwp(bool v);
    QString pw() const;             void setPw(const QString &v);
    QByteArray tzo() const;         bool setTzo(QByteArrayView v); // exactly 13 bytes
    bool utzo() const;              void setUtzo(bool v);
    std::uint8_t nrtcnt() const;    void setNrtcnt(std::uint8_t v);
    std::uint8_t nfm() const;       void setNfm(std::uint8_t v);
    std::uint8_t wdt() const;       void setWdt(std::uint8_t v);
    std::uint32_t drt() const;      bool setDrt(std::uint32_t v);
    std::uint16_t naddr() const;    bool setNaddr(std::uint32_t v);
    bool wdt31() const;             void setWdt31(bool v);
    bool e99() const;               void setE99(bool v);
    bool tenths() const;            void setTenths(bool v);
    bool rcmd() const;              void setRcmd(bool v);
    bool logRA() const;             void setLogRA(bool v);
    std::uint8_t minB1() const;     void setMinB1(std::uint8_t v);
    std::uint8_t minB2() const;     void setMinB2(std::uint8_t v);
    std::uint8_t ethp() const;      void setEthp(std::uint8_t v);
    bool uats() const;              void setUats(bool v);
    bool firewall() const;          void setFirewall(bool v);
    bool eipDiags() const;          void setEipDiags(bool v);
    std::uint8_t ncp() const;       void setNcp(std::uint8_t v);
    // Dotted text a.b.c.d; an invalid text leaves the field as it was.
    QString eipPLCIP() const;       bool setEipPLCIP(const QString &v);
    std::uint32_t eipPLCIPValue() const;
    void setEipPLCIPValue(std::uint32_t v);

    // A 24-bit field as decimal text, and decimal text back into it.
    // Empty, non-decimal or above-0xFFFFFF text leaves the field unchanged (false).
    QString threeByteToStr(ThreeByte field) const;
    bool strToThreeByte(ThreeByte field, const QString &text);

    // Any field through the field table. value(): bool for Boolean, unsigned
    // number for Byte, Word and ThreeByte, QString for the texts and the PLC
    // address, hex text for Bytes.
    QVariant value(const SetupField &field) const;
    // value() as text: booleans "0"/"1", numbers decimal, texts as stored.
    QString valueText(const SetupField &field) const;
    // The reverse of valueText(). Text that does not fit the field's encoding
    // (a number too large for its bytes, a bad address, hex of the wrong length)
    // leaves the field's bytes as they were and gives false; texts are cut to width-1.
    bool setValueText(const SetupField &field, const QString &text);
    // Raw Latin-1 bytes into a text field, up to the first zero and at most width-1 of them.
    bool setTextBytes(const SetupField &field, QByteArrayView bytes);

private:
    std::uint8_t u8(int offset) const;
    void putU8(int offset, std::uint8_t v);
    std::uint16_t u16(int offset) const;
    void putU16(int offset, std::uint16_t v);
    std::uint32_t u24(int offset) const;
    bool putU24(int offset, std::uint32_t v);
    bool putWord(int offset, std::uint32_t v); // refuses a number above 0xFFFF
    QString text(int offset, int width) const;
    void putText(int offset, int width, const QString &v);
    void putTextBytes(int offset, int width, QByteArrayView b);

    QByteArray m_bytes;
};

// How a field is encoded.
enum class SetupFieldKind { Boolean, Byte, Word, ThreeByte, Text, IpText, Bytes, PlcAddress };

// One value of a field with its meaning (for Bits: one bit value).
struct SetupValueName
{
    int value;
    const char *text;
};

// The values the text gives for a field. Any: whatever the bytes hold;
// Range: min..max; Named: exactly the listed values; Bits: any combination,
// the listed bits carry a meaning and the others pass through.
struct SetupValueSet
{
    enum class Type { Any, Range, Named, Bits };
    Type type = Type::Any;
    std::int64_t min = 0;
    std::int64_t max = 0;
    std::span<const SetupValueName> names;
};

// One row of the field table.
struct SetupField
{
    const char *name;
    int offset;
    int width;
    SetupFieldKind kind;
    SetupValueSet values;
    bool passThrough = false; // neither shown nor edited; travels unchanged

    // Whether a record of this many bytes carries the field whole.
    bool presentAt(int length) const { return length >= offset + width; }
    QString fieldName() const { return QString::fromLatin1(name); }
};

// All 65 fields in record order.
std::span<const SetupField> setupFields();
// By exact name (as in the table, case-sensitive); null for an unknown name.
const SetupField *setupField(QStringView name);
// Whether a record of this length from a unit of this version number holds the
// field: present at the length, and ethp only from 5.0.0 on (older firmware has
// no such byte; after the move it holds a copy of uats).
bool setupFieldHeld(const SetupField &field, int length, int versionNumber);
// Whether value is in the field's value set (numeric kinds only; others: true).
bool setupValueAllowed(const SetupField &field, std::int64_t value);
// The meaning of a Named value or a single bit; empty when the table has none.
QString setupValueName(const SetupField &field, std::int64_t value);
QString setupFieldKindName(SetupFieldKind kind);
// caddr and naddr: 0-255 for Classic (protocol 1), 0-9999 for Ascii.
std::int64_t setupAddressMax(std::uint8_t protocol);

// 24-bit field codecs on a 3-byte field. A field of another length gives
// empty text / is refused.
QString threeByteToStr(QByteArrayView field);
bool strToThreeByte(const QString &text, QByteArray &field);

// Strict decimal (digits only) no larger than max; nothing otherwise.
std::optional<std::uint32_t> parseFieldNumber(const QString &text, std::uint32_t max);

// Parses a.b.c.d into a·2^24+b·2^16+c·2^8+d; nothing for anything else.
std::optional<std::uint32_t> plcAddressFromText(const QString &text);
QString plcAddressText(std::uint32_t value);

// Firmware below 500 keeps uats, firewall, eipDiags at 234..236 and has no ethp.
enum class ShiftDirection { Received, Sending };
void shiftOlderLayout(setuppack &record, ShiftDirection direction, int versionNumber);

// Which optional fields a record of this received length carries.
bool setupShowsNaddr(int receivedLength);
bool setupShowsUats(int receivedLength);
bool setupShowsFirewall(int receivedLength);
bool setupShowsAdvancedBits(int receivedLength); // minB1, minB2, lsm1 as a bit mask

// Value tables.
std::optional<int> baudForIndex(int index);
QString ethernetModeText(int ethp); // empty for an unknown mode
int labelBitsForLsm1Bit(int bitValue); // 0 when not a single known bit
QList<int> lsm1LabelSizes(std::uint8_t lsm1);

namespace nfmbit {
constexpr std::uint8_t monitorOn = 1;
constexpr std::uint8_t rebootServerError = 2;
constexpr std::uint8_t rebootMajorFault = 4;
constexpr std::uint8_t eipCloseOnDataLoss = 8;
constexpr std::uint8_t eipBroadcastReply = 16;
} // namespace nfmbit
QString nfmBitText(int bitValue); // empty for the unused bits

// The 13-byte custom time-zone definition.
struct CustomTimeZone
{
    std::uint8_t startMonth = 0;
    std::uint8_t startRule = 0; // 1 First, 2 Second, 3 Third, 4 Last, 5 Date
    std::uint8_t startDay = 0;
    std::uint32_t startTime = 0; // seconds after midnight
    std::uint8_t endMonth = 0;
    std::uint8_t endRule = 0;
    std::uint8_t endDay = 0;
    std::uint32_t endTime = 0;
    std::uint8_t observeDst = 0;

    static constexpr int size = 13;
    // Reads at most 13 bytes; missing bytes read as zero.
    static CustomTimeZone decode(QByteArrayView bytes);
    QByteArray encode() const;
    bool isNone() const; // all-zero definition
    bool operator==(const CustomTimeZone &) const = default;
};
QString timeZoneRuleText(int rule); // empty for an unknown rule

} // namespace vork
