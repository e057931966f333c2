// Figures for a full history buffer (32,768 records): the grid model's cell
// texts over every row, a filter of the buffer, and the search over its rows,
// as the HISTORY page runs them. Prints times; asserts nothing.
#include "cli/consoleoperator.h"
#include "history/historycells.h"
#include "history/historyfilter.h"
#include "history/historypage.h"
#include "history/historyretrieval.h"
#include "history/ui/historygrid.h"
#include "history/ui/historygridmodel.h"
#include "services/unitservices.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTextStream>

using namespace vork;

namespace {

std::vector<DataPack> fullBuffer()
{
    std::vector<DataPack> out;
    out.reserve(HistoryRetrieval::bufferSize);
    for (int i = 0; i < HistoryRetrieval::bufferSize; ++i) {
        DataPack p;
        p.typ = std::uint8_t(1 + i % 5);
        p.rdr = std::uint8_t((i / 5) % 8);
        p.month = std::uint8_t(1 + i % 12);
        p.day = std::uint8_t(1 + i % 28);
        p.cent = 20;
        p.year = 21;
        p.hr = std::uint8_t(i % 24);
        p.min = std::uint8_t(i % 60);
        p.sec = std::uint8_t(i % 60);
        p.data[0] = std::uint8_t(i & 0xFF);
        p.data[1] = std::uint8_t((i >> 8) & 0x3F);
        p.data[3] = std::uint8_t(i % 7);
        out.push_back(p);
    }
    return out;
}

double ms(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    QApplication app(argc, argv);
    QTextStream out(stdout);
    ConsoleOperator op;
    UnitServices services(op);
    HistoryPageController controller(services);
    HistoryRetrieval &retrieval = controller.retrieval();
    const std::vector<DataPack> records = fullBuffer();

    QElapsedTimer t;
    t.start();
    retrieval.replaceView(records);
    HistoryGridModel model(retrieval);
    const double fillMs = ms(t);

    // Every cell of every row, as a grid scrolled from top to bottom asks for them.
    t.restart();
    qsizetype chars = 0;
    for (int r = 0; r < model.rowCount(); ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            chars += model.data(model.index(r, c), Qt::DisplayRole).toString().size();
    const double cellsMs = ms(t);

    // One screenful, which is what a repaint asks for.
    t.restart();
    for (int r = 16000; r < 16040; ++r)
        for (int c = 0; c < model.columnCount(); ++c)
            chars += model.data(model.index(r, c), Qt::DisplayRole).toString().size();
    const double screenMs = ms(t);

    // The filter: labels of reader 3, the view replaced and the grid told.
    t.restart();
    HistoryFilter f;
    f.kinds = historykind::labels;
    f.reader = 3;
    std::vector<DataPack> view = historyFilterRecords(records, f);
    const std::size_t kept = view.size();
    retrieval.replaceView(std::move(view));
    const double filterMs = ms(t);
    retrieval.replaceView(records);

    // The search: the rows' texts built once, then every row searched.
    t.restart();
    HistorySearchIndex index;
    index.build(retrieval.view(), model.context());
    const double buildMs = ms(t);
    t.restart();
    HistorySearchOptions o;
    o.terms = {QStringLiteral("1236"), QStringLiteral("Startup")};
    const std::vector<int> found = index.findAll(o);
    const double searchMs = ms(t);
    t.restart();
    o.fields = historysearch::fieldValue;
    const HistorySearchIndex::Hit hit = index.findFrom(20000, 3, true, o);
    const double walkMs = ms(t);

    // A grid offscreen over the full buffer: first layout and a jump to the end.
    t.restart();
    GridColors colors;
    HistoryGrid grid(model, colors);
    grid.resize(900, 600);
    grid.show();
    QCoreApplication::processEvents();
    grid.setTopRow(HistoryRetrieval::bufferSize - 20);
    QCoreApplication::processEvents();
    const double gridMs = ms(t);

    out << "history records: " << model.rowCount() << " (buffer filled in " << fillMs << " ms)\n";
    out << "model data() over all rows x 7 columns: " << cellsMs << " ms (" << chars << " characters)\n";
    out << "one screen of 40 rows: " << screenMs << " ms\n";
    out << "filter (labels of reader 3, " << kept << " kept): " << filterMs << " ms\n";
    out << "search texts built: " << buildMs << " ms; search of every row: " << searchMs << " ms ("
        << found.size() << " rows); walk to the next match from row 20000: " << walkMs << " ms (row " << hit.row
        << ")\n";
    out << "grid shown and scrolled to the end: " << gridMs << " ms\n";
    return 0;
}
