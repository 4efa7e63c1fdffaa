// Fuzz target for the pasted-table reader: parseTable and ImportClipboard.
// After every input it checks the reader's promises instead of only waiting
// for a crash: an accepted table lies inside the data model and is stored
// exactly as parsed (later lines win); a refused one leaves the store as it
// was and produces exactly the one message that belongs to the refusal.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string_view>

#include "core/messages.h"
#include "core/store.h"
#include "core/table_import.h"
#include "tests/fuzz/fuzz_check.h"
#include "tests/fuzz/store_snapshot.h"

namespace {

using namespace kalibron;
using namespace kalibron::testing_support;

// A small position bound keeps each run cheap and makes X outside the bound
// easy for the fuzzer to reach; the real bound is checked on the pure parse.
constexpr int kSmallBound = 40;
constexpr int kRealBound = 30000;

const Store& baseline()
{
    static const Store store = [] {
        Store s(ProgramSettings{kSmallBound});
        putExampleSequence(s);
        s.Yerr[10] = ValueCell(3.5);
        s.Yerr[33] = ValueCell(1.25); // a position the example does not use
        s.Rejected[15] = ValueCell(1.0);
        ScanData(s);
        return s;
    }();
    return store;
}

bool isWholePosition(double x, int bound)
{
    if (!std::isfinite(x))
        return false;
    const double p = std::nearbyint(x); // half to even in the default rounding mode
    return p >= 0 && p <= bound;
}

// Structural promises of an accepted parse.
void checkAcceptedShape(const ParsedTable& table, int bound)
{
    KALIBRON_FUZZ_REQUIRE(table.nLines >= 3 && table.nLines <= kMaxTableLines, "line count outside 3..6000");
    KALIBRON_FUZZ_REQUIRE(static_cast<std::size_t>(table.nLines) == table.rows.size(), "rows differ from nLines");
    KALIBRON_FUZZ_REQUIRE(table.nCols >= 2 && table.nCols <= kMaxTableCells, "column count outside 2..100");
    KALIBRON_FUZZ_REQUIRE(table.rows.front().cells.size() == static_cast<std::size_t>(table.nCols),
                          "first row does not have nCols cells");
    for (const TableRow& row : table.rows) {
        KALIBRON_FUZZ_REQUIRE(row.cells.size() >= 2 && row.cells.size() <= kMaxTableCells,
                              "row with a cell count outside 2..100");
        for (double cell : row.cells)
            KALIBRON_FUZZ_REQUIRE(std::isfinite(cell), "non-finite cell accepted");
        KALIBRON_FUZZ_REQUIRE(isWholePosition(row.cells[0], bound), "X outside the position bound accepted");
    }
}

void checkMessages(const CollectingMessageSink& sink, ImportStatus status)
{
    if (status == ImportStatus::Ok) {
        KALIBRON_FUZZ_REQUIRE(sink.messages.empty(), "accepted table produced a message");
        return;
    }
    KALIBRON_FUZZ_REQUIRE(sink.messages.size() == 1, "refusal without exactly one message");
    const Message& m = sink.messages.front();
    const char* expected = status == ImportStatus::Empty ? kClipboardEmptyMessage : kTableFormatMessage;
    KALIBRON_FUZZ_REQUIRE(m.text == expected, "refusal with the wrong message");
    KALIBRON_FUZZ_REQUIRE(m.icon == MessageIcon::Exclamation, "refusal without the exclamation icon");
    KALIBRON_FUZZ_REQUIRE(m.title.has_value() && m.title->empty(), "refusal message with a title");
}

// The store after an accepted import, re-derived from the parsed rows.
void checkStoredTable(const Store& before, const Store& after, const ParsedTable& table)
{
    std::map<int, const TableRow*> last; // later lines win
    double maxX = 0;
    int positive = 0;
    for (const TableRow& row : table.rows) {
        last[static_cast<int>(std::nearbyint(row.cells[0]))] = &row;
        if (row.cells[0] > maxX)
            maxX = row.cells[0];
        if (row.cells[1] > 0)
            ++positive;
    }
    KALIBRON_FUZZ_REQUIRE(after.MaxX == maxX, "MaxX is not the largest X as read");
    KALIBRON_FUZZ_REQUIRE(after.nPointsAll == positive, "nPointsAll is not the count of positive Y");
    KALIBRON_FUZZ_REQUIRE(after.nCols == table.nCols, "nCols not taken from the table");
    const int lastPos = after.lastPosition();
    KALIBRON_FUZZ_REQUIRE(lastPos >= 0 && lastPos <= after.bound(), "lastPosition outside the arrays");
    KALIBRON_FUZZ_REQUIRE(after.Y.size() == static_cast<std::size_t>(after.bound()) + 1 &&
                              after.Yerr.size() == after.Y.size() && after.Rejected.size() == after.Y.size(),
                          "per-position array resized");
    for (int k = 0; k <= after.bound(); ++k) {
        const auto i = static_cast<std::size_t>(k);
        KALIBRON_FUZZ_REQUIRE(after.Rejected[i].isNumber() && after.Rejected[i].value() == 0,
                              "rejection mark not cleared");
        const auto hit = last.find(k);
        if (hit == last.end()) {
            KALIBRON_FUZZ_REQUIRE(after.Y[i] == ValueCell::emptyText(), "Y not cleared at an unused position");
            KALIBRON_FUZZ_REQUIRE(after.Yerr[i] == before.Yerr[i], "Yerr changed at an unused position");
            continue;
        }
        const TableRow& row = *hit->second;
        KALIBRON_FUZZ_REQUIRE(k <= lastPos, "a point lies beyond the last position of the loops");
        KALIBRON_FUZZ_REQUIRE(after.Y[i].isNumber() && after.Y[i].value() == row.cells[1],
                              "Y is not the later line's value");
        const ValueCell err = row.cells.size() >= 3 ? ValueCell(row.cells[2]) : ValueCell();
        KALIBRON_FUZZ_REQUIRE(after.Yerr[i] == err, "Yerr is not the later line's third cell");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    const TableParse real = parseTable(text, kRealBound);
    const TableParse small = parseTable(text, kSmallBound);
    KALIBRON_FUZZ_REQUIRE((real.status == ImportStatus::Empty) == text.empty(), "Empty status iff empty text");
    if (real.status == ImportStatus::Ok)
        checkAcceptedShape(real.table, kRealBound);
    // A smaller bound may only refuse more, never accept more.
    KALIBRON_FUZZ_REQUIRE(small.status == real.status ||
                              (real.status == ImportStatus::Ok && small.status == ImportStatus::BadFormat),
                          "smaller position bound accepted what the real one refused");

    Store store = baseline();
    CollectingMessageSink sink;
    const ImportStatus status = ImportClipboard(store, text, sink);
    KALIBRON_FUZZ_REQUIRE(status == small.status, "ImportClipboard disagrees with parseTable");
    checkMessages(sink, status);
    if (status == ImportStatus::Ok) {
        checkAcceptedShape(small.table, kSmallBound);
        checkStoredTable(baseline(), store, small.table);
    } else {
        KALIBRON_FUZZ_REQUIRE(snapshot(store) == snapshot(baseline()), "refused input changed the store");
    }
    return 0;
}
