// History cell texts, the filter that builds the view from the master buffer,
// and the search over the rows' texts: tables of records with exact results.
#include "history/historycells.h"
#include "history/historyfilter.h"

#include <QElapsedTimer>
#include <QTest>

using namespace vork;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

QStringList texts(std::initializer_list<const char *> list)
{
    QStringList out;
    for (const char *t : list)
        out << QString::fromUtf8(t);
    return out;
}

DataPack pack(int typ, int rdr, QList<int> data, int month = 3, int day = 5, int hr = 8, int min = 30, int sec = 0,
              int cent = 20, int year = 21)
{
    DataPack p;
    p.typ = std::uint8_t(typ);
    p.rdr = std::uint8_t(rdr);
    p.month = std::uint8_t(month);
    p.day = std::uint8_t(day);
    p.cent = std::uint8_t(cent);
    p.year = std::uint8_t(year);
    p.hr = std::uint8_t(hr);
    p.min = std::uint8_t(min);
    p.sec = std::uint8_t(sec);
    for (int i = 0; i < data.size() && i < 10; ++i)
        p.data[std::size_t(i)] = std::uint8_t(data.at(i));
    return p;
}

// The table the filter and the search run over.
std::vector<DataPack> table()
{
    return {
        pack(2, 0, {0xD2, 0x04}, 3, 5, 8, 30, 0),                 // 0 label 1234
        pack(1, 3, {31, 0xD2, 0x04, 12}, 3, 5, 8, 31, 0),         // 1 error 31, 12 bits, label 1234
        pack(4, 5, {45, 32}, 3, 5, 8, 32, 0),                     // 2 alarm 45 "Cable Unplugged"
        pack(3, 3, {5, 12, 0xFD, 0, 7}, 3, 5, 8, 33, 0),          // 3 diagnostic
        pack(5, 3, {2}, 3, 5, 9, 0, 0),                           // 4 boot, a text with a comma
        pack(2, 3, {0x09, 0x03}, 3, 6, 10, 0, 0),                 // 5 label 777
        pack(1, 1, {120}, 3, 5, 8, 0, 0, 30),                     // 6 error 120, century 30
        pack(2, 3, {0xD2, 0x04}, 3, 5, 25, 0, 0),                 // 7 label 1234, hour 25
        pack(0, 0, {}),                                           // 8 empty
        pack(7, 0, {1, 2, 3}),                                    // 9 unknown kind
    };
}

HistoryCellContext addressContext()
{
    HistoryCellContext c;
    c.readerAddress = true;
    c.readerBase = 16;
    c.versionNumber = 503;
    return c;
}

std::vector<int> indexesOf(const std::vector<DataPack> &kept, const std::vector<DataPack> &all)
{
    std::vector<int> out;
    std::size_t at = 0;
    for (const DataPack &k : kept) {
        while (at < all.size() && !(all[at] == k))
            ++at;
        out.push_back(at < all.size() ? int(at) : -1);
        ++at;
    }
    return out;
}

// A full buffer of every kind, as a unit would hold it.
std::vector<DataPack> fullBuffer()
{
    std::vector<DataPack> out;
    out.reserve(32768);
    for (int i = 0; i < 32768; ++i) {
        const int typ = 1 + i % 5;
        out.push_back(pack(typ, (i / 5) % 8, {i & 0xFF, (i >> 8) & 0x3F, 1}, 1 + i % 12, 1 + i % 28, i % 24, i % 60,
                           i % 60));
    }
    return out;
}

} // namespace

class TestHistoryFilter : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cellTexts_data();
    void cellTexts();
    void headerCells();
    void filter_data();
    void filter();
    void searchAll_data();
    void searchAll();
    void searchWalk_data();
    void searchWalk();
    void fieldsKeepTheirCommas();
    void fullBufferIsQuick();
};

void TestHistoryFilter::cellTexts_data()
{
    QTest::addColumn<DataPack>("record");
    QTest::addColumn<int>("row");
    QTest::addColumn<HistoryCellContext>("context");
    QTest::addColumn<QStringList>("cells");
    const HistoryCellContext address = addressContext();
    HistoryCellContext index = address;
    index.readerAddress = false;
    HistoryCellContext noUnit = address;
    noUnit.readerBaseKnown = false;
    HistoryCellContext exporting = address;
    exporting.exporting = true;
    const std::vector<DataPack> t = table();

    QTest::newRow("label, address mode")
        << t[0] << 1 << address
        << texts({"1", "16", "Label", "1234", "08:30:00 AM", "03/05/2021", "d2 04 00 00 00 00 00 00 00 00"});
    QTest::newRow("label, index mode")
        << t[5] << 6 << index
        << texts({"6", "3", "Label", "777", "10:00:00 AM", "03/06/2021", "09 03 00 00 00 00 00 00 00 00"});
    QTest::newRow("reader without a unit") << t[5] << 6 << noUnit
                                           << texts({"6", "", "Label", "777", "10:00:00 AM", "03/06/2021",
                                                          "09 03 00 00 00 00 00 00 00 00"});
    QTest::newRow("error with bits and label")
        << t[1] << 2 << address
        << texts({"2", "19", "Error", "31  Incorrect number of data bits - 12 Bits  Label 1234", "08:31:00 AM",
                       "03/05/2021", "1f d2 04 0c 00 00 00 00 00 00"});
    QTest::newRow("error while exporting")
        << t[1] << 2 << exporting
        << texts({"2", "19", "Error", "31", "08:31:00 AM", "03/05/2021", "1f d2 04 0c 00 00 00 00 00 00"});
    QTest::newRow("alarm is the system's")
        << t[2] << 3 << address
        << texts({"3", "System", "Alarm", "Network Warning - Cable Unplugged", "08:32:00 AM", "03/05/2021",
                       "2d 20 00 00 00 00 00 00 00 00"});
    QTest::newRow("diagnostic")
        << t[3] << 4 << address
        << texts({"4", "19", "Diagnostic", "A+05  B+12 C-03 X+00 Y+07", "08:33:00 AM", "03/05/2021",
                       "05 0c fd 00 07 00 00 00 00 00"});
    QTest::newRow("boot")
        << t[4] << 5 << address
        << texts({"5", "System", "Boot", "Running Boot Loader A, but verify failed", "09:00:00 AM", "03/05/2021",
                       "02 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("boot code without text")
        << pack(5, 0, {30}) << 1 << address
        << texts({"1", "System", "Boot", "", "08:30:00 AM", "03/05/2021", "1e 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("century 30")
        << t[6] << 7 << address
        << texts({"7", "17", "Error", "Invalid Error Number 120", "08:00:00 AM", "Bad Date",
                       "78 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("hour 25")
        << t[7] << 8 << address
        << texts({"8", "19", "Label", "1234", "Bad Time", "03/05/2021", "d2 04 00 00 00 00 00 00 00 00"});
    QTest::newRow("midnight hour") << pack(2, 0, {1}, 12, 31, 0, 5, 9) << 1 << index
                                   << texts({"1", "0", "Label", "1", "12:05:09 AM", "12/31/2021",
                                                  "01 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("noon and a late year") << pack(2, 0, {1}, 1, 1, 12, 0, 0, 29, 99) << 1 << index
                                          << texts({"1", "0", "Label", "1", "12:00:00 PM", "01/01/2999",
                                                         "01 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("last second of the day") << pack(2, 0, {1}, 1, 1, 23, 59, 59) << 1 << index
                                            << texts({"1", "0", "Label", "1", "11:59:59 PM", "01/01/2021",
                                                           "01 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("minute 60") << pack(2, 0, {1}, 1, 1, 10, 60, 0) << 1 << index
                               << texts({"1", "0", "Label", "1", "Bad Time", "01/01/2021",
                                              "01 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("month 13") << pack(2, 0, {1}, 13, 1) << 1 << index
                              << texts({"1", "0", "Label", "1", "08:30:00 AM", "Bad Date",
                                             "01 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("day 0") << pack(2, 0, {1}, 2, 0) << 1 << index
                           << texts({"1", "0", "Label", "1", "08:30:00 AM", "Bad Date",
                                          "01 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("year 100") << pack(2, 0, {1}, 2, 1, 8, 30, 0, 20, 100) << 1 << index
                              << texts({"1", "0", "Label", "1", "08:30:00 AM", "Bad Date",
                                             "01 00 00 00 00 00 00 00 00 00"});
    QTest::newRow("empty kind") << t[8] << 9 << address << texts({"", "", "", "", "", "", ""});
    QTest::newRow("unknown kind") << t[9] << 10 << address << texts({"", "", "", "", "", "", ""});
}

void TestHistoryFilter::cellTexts()
{
    QFETCH(DataPack, record);
    QFETCH(int, row);
    QFETCH(HistoryCellContext, context);
    QFETCH(QStringList, cells);
    QStringList got;
    for (int c = 0; c < historyColumnCount; ++c)
        got << historyCellText(record, row, HistoryColumn(c), context);
    QCOMPARE(got, cells);
    QCOMPARE(historyRowText(record, row, context), cells.join(QLatin1Char(',')));
}

void TestHistoryFilter::headerCells()
{
    QCOMPARE(historyHeaderCells(true), (texts({"Rec", "Rdr", "Type", "Value", "Time Stamp", "Date Stamp",
                                                    "Alarm Data"})));
    QCOMPARE(historyHeaderCells(false).at(1), QStringLiteral("Rdr i"));
}

void TestHistoryFilter::filter_data()
{
    QTest::addColumn<int>("kinds");
    QTest::addColumn<int>("reader");
    QTest::addColumn<bool>("alarmsAll");
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<std::vector<int>>("kept");
    const QDateTime none;
    QTest::newRow("everything") << 31 << -1 << true << none << std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("labels") << 2 << -1 << true << none << std::vector<int>{0, 5, 7};
    QTest::newRow("errors and alarms") << 9 << -1 << true << none << std::vector<int>{1, 2, 6};
    QTest::newRow("boot only") << 16 << -1 << true << none << std::vector<int>{4};
    QTest::newRow("reader 3, alarms of all readers") << 31 << 3 << true << none << std::vector<int>{1, 2, 3, 4, 5, 7};
    QTest::newRow("reader 3 drops every alarm") << 31 << 3 << false << none << std::vector<int>{1, 3, 4, 5, 7};
    QTest::newRow("reader 1") << 31 << 1 << true << none << std::vector<int>{2, 6};
    QTest::newRow("reader 0, boot only") << 16 << 0 << true << none << std::vector<int>{};
    QTest::newRow("start before the third") << 31 << -1 << true << QDateTime(QDate(2021, 3, 5), QTime(8, 31, 59))
                                            << std::vector<int>{0, 1};
    QTest::newRow("start at the boot record") << 31 << -1 << true << QDateTime(QDate(2021, 3, 5), QTime(9, 0))
                                              << std::vector<int>{0, 1, 2, 3, 4};
    QTest::newRow("start far ahead") << 31 << -1 << true << QDateTime(QDate(2030, 1, 1), QTime(0, 0))
                                     << std::vector<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("nothing") << 0 << -1 << true << none << std::vector<int>{};
}

void TestHistoryFilter::filter()
{
    QFETCH(int, kinds);
    QFETCH(int, reader);
    QFETCH(bool, alarmsAll);
    QFETCH(QDateTime, start);
    QFETCH(std::vector<int>, kept);
    HistoryFilter f;
    f.kinds = kinds;
    f.reader = reader;
    f.alarmsAllReaders = alarmsAll;
    if (start.isValid())
        f.start = start;
    const std::vector<DataPack> all = table();
    const std::vector<DataPack> view = historyFilterRecords(all, f);
    QCOMPARE(indexesOf(view, all), kept);
}

void TestHistoryFilter::searchAll_data()
{
    using namespace historysearch;
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("fields");
    QTest::addColumn<int>("types");
    QTest::addColumn<bool>("caseSensitive");
    QTest::addColumn<QStringList>("exclusions");
    QTest::addColumn<std::vector<int>>("rows");
    QTest::newRow("a label number anywhere") << QStringLiteral("1234") << allFields << allTypes << false << QStringList{}
                                             << std::vector<int>{0, 1, 7};
    QTest::newRow("labels' values") << QStringLiteral("1234") << fieldValue << typeLabels << false << QStringList{}
                                    << std::vector<int>{0, 7};
    QTest::newRow("two terms in the value") << QStringLiteral("1234,777") << fieldValue << allTypes << false << QStringList{}
                                            << std::vector<int>{0, 1, 5, 7};
    QTest::newRow("boot rows with every type") << QStringLiteral("verify") << fieldValue << allTypes << false << QStringList{}
                                               << std::vector<int>{4};
    QTest::newRow("boot rows never by type") << QStringLiteral("verify") << fieldValue << (typeErrors | typeLabels | typeAlarms)
                                             << false << QStringList{} << std::vector<int>{};
    QTest::newRow("any case") << QStringLiteral("network warning") << allFields << allTypes << false << QStringList{}
                              << std::vector<int>{2};
    QTest::newRow("case kept") << QStringLiteral("network warning") << allFields << allTypes << true << QStringList{}
                               << std::vector<int>{};
    QTest::newRow("case kept, found") << QStringLiteral("Network Warning") << allFields << allTypes << true << QStringList{}
                                      << std::vector<int>{2};
    QTest::newRow("an exclusion") << QStringLiteral("1234") << allFields << allTypes << false << texts({"label"})
                                  << std::vector<int>{0, 7};
    QTest::newRow("readers by address") << QStringLiteral("19") << fieldReader << allTypes << false << QStringList{}
                                        << std::vector<int>{1, 3, 5, 7};
    QTest::newRow("bad stamps") << QStringLiteral("Bad") << allFields << allTypes << false << QStringList{}
                                << std::vector<int>{6, 7};
    QTest::newRow("bad dates") << QStringLiteral("Bad") << fieldDate << allTypes << false << QStringList{} << std::vector<int>{6};
    QTest::newRow("by type text") << QStringLiteral("Diag") << fieldType << allTypes << false << QStringList{}
                                  << std::vector<int>{3};
    QTest::newRow("alarm data") << QStringLiteral("2d 20") << fieldData << typeAlarms << false << QStringList{}
                                << std::vector<int>{2};
    QTest::newRow("time of day") << QStringLiteral("PM") << fieldTime << allTypes << false << QStringList{} << std::vector<int>{};
    QTest::newRow("only commas") << QStringLiteral(",,") << allFields << allTypes << false << QStringList{} << std::vector<int>{};
}

void TestHistoryFilter::searchAll()
{
    QFETCH(QString, text);
    QFETCH(int, fields);
    QFETCH(int, types);
    QFETCH(bool, caseSensitive);
    QFETCH(QStringList, exclusions);
    QFETCH(std::vector<int>, rows);
    HistorySearchIndex index;
    index.build(table(), addressContext());
    QCOMPARE(index.size(), 10);
    HistorySearchOptions o;
    o.terms = historySearchTerms(text);
    o.fields = fields;
    o.types = types;
    o.caseSensitive = caseSensitive;
    o.exclusions = exclusions;
    o.exclusionsOn = !exclusions.isEmpty();
    QCOMPARE(index.findAll(o), rows);
}

void TestHistoryFilter::searchWalk_data()
{
    QTest::addColumn<int>("fromRow");
    QTest::addColumn<int>("fromColumn");
    QTest::addColumn<bool>("down");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::newRow("down from the start") << -1 << -1 << true << 0 << 3;
    QTest::newRow("down past the first") << 0 << 3 << true << 1 << 3;
    QTest::newRow("down from a cell left of the match") << 1 << 1 << true << 1 << 3;
    QTest::newRow("down past the second") << 1 << 3 << true << 7 << 3;
    QTest::newRow("down past the last") << 7 << 3 << true << -1 << -1;
    QTest::newRow("up from the end") << -1 << -1 << false << 7 << 3;
    QTest::newRow("up from the last") << 7 << 3 << false << 1 << 3;
    QTest::newRow("up past the first") << 0 << 3 << false << -1 << -1;
    QTest::newRow("up from the bottom") << 9 << 6 << false << 7 << 3;
}

void TestHistoryFilter::searchWalk()
{
    QFETCH(int, fromRow);
    QFETCH(int, fromColumn);
    QFETCH(bool, down);
    QFETCH(int, row);
    QFETCH(int, column);
    HistorySearchIndex index;
    index.build(table(), addressContext());
    HistorySearchOptions o;
    o.terms = {QStringLiteral("1234")};
    const HistorySearchIndex::Hit hit = index.findFrom(fromRow, fromColumn, down, o);
    QCOMPARE(hit.row, row);
    QCOMPARE(hit.column, column);
}

void TestHistoryFilter::fieldsKeepTheirCommas()
{
    HistorySearchIndex index;
    index.build(table(), addressContext());
    // The boot text holds a comma; its neighbours stay where the columns put them.
    QCOMPARE(index.field(4, 3).toString(), QStringLiteral("Running Boot Loader A, but verify failed"));
    QCOMPARE(index.field(4, 4).toString(), QStringLiteral("09:00:00 AM"));
    QCOMPARE(index.field(4, 6).toString(), QStringLiteral("02 00 00 00 00 00 00 00 00 00"));
    QCOMPARE(index.rowText(4), QStringLiteral("5,System,Boot,Running Boot Loader A, but verify failed,09:00:00 AM,"
                                              "03/05/2021,02 00 00 00 00 00 00 00 00 00"));
    HistorySearchOptions o;
    o.terms = {QStringLiteral("but verify")};
    o.fields = historysearch::fieldValue;
    QCOMPARE(index.matchingColumn(4, o), 3);
    // Out of range asks read nothing.
    QVERIFY(index.field(10, 3).isEmpty());
    QVERIFY(index.field(-1, 3).isEmpty());
    QVERIFY(index.field(0, 7).isEmpty());
    QCOMPARE(index.matchingColumn(10, o), -1);
}

void TestHistoryFilter::fullBufferIsQuick()
{
    const std::vector<DataPack> full = fullBuffer();
    QElapsedTimer t;
    t.start();
    HistoryFilter f;
    f.kinds = historykind::labels;
    f.reader = 3;
    const std::vector<DataPack> view = historyFilterRecords(full, f);
    const qint64 filterMs = t.restart();
    // Labels are every fifth record from 1; reader 3 is every eighth group of five.
    int want = 0;
    for (int i = 0; i < 32768; ++i)
        want += (i % 5 == 1 && (i / 5) % 8 == 3) ? 1 : 0;
    QCOMPARE(int(view.size()), want);

    HistorySearchIndex index;
    index.build(full, addressContext());
    const qint64 buildMs = t.restart();
    HistorySearchOptions o;
    o.terms = {QStringLiteral("1236")};
    o.fields = historysearch::fieldValue;
    const std::vector<int> found = index.findAll(o);
    const qint64 searchMs = t.restart();
    // Only label numbers carry these digits; labels wrap at 16384, so 28746 is label 12362.
    std::vector<int> wantRows;
    for (int i = 0; i < 32768; ++i)
        if (full[std::size_t(i)].typ == 2 && QString::number(full[std::size_t(i)].labelNumber()).contains(QStringLiteral("1236")))
            wantRows.push_back(i);
    QCOMPARE(found, wantRows);
    QCOMPARE(found, (std::vector<int>{1236, 11236, 12361, 12366, 28746, 28751}));
    qInfo("32768 records: filter %lld ms, search texts built in %lld ms, search %lld ms", filterMs, buildMs, searchMs);
}

QTEST_GUILESS_MAIN(TestHistoryFilter)
#include "tst_historyfilter.moc"
