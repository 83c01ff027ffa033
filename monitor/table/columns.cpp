#include "monitor/table/columns.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "monitor/stats/derived_values.h"

namespace {

using S = PortStatistics;
using R = RawPortCounters;
using F = CellFormat;

constexpr ColumnInfo Named(std::string_view name, int width, F format, bool resettable) {
    ColumnInfo c;
    c.name = name;
    c.width = width;
    c.format = format;
    c.resettable = resettable;
    return c;
}

constexpr ColumnInfo Line(std::string_view name, std::uint16_t flag) {
    ColumnInfo c = Named(name, 35, F::LineSignal, false);
    c.lineFlag = flag;
    return c;
}

constexpr ColumnInfo Stat(std::string_view name, int width, std::uint32_t S::*field,
                          F format = F::Decimal) {
    ColumnInfo c = Named(name, width, format, true);
    c.statistics32 = field;
    return c;
}

constexpr ColumnInfo Stat16(std::string_view name, int width, std::uint16_t S::*field) {
    ColumnInfo c = Named(name, width, F::Decimal, true);
    c.statistics16 = field;
    return c;
}

constexpr ColumnInfo Raw(std::string_view name, int width, std::uint32_t R::*field) {
    ColumnInfo c = Named(name, width, F::Decimal, false);
    c.raw32 = field;
    return c;
}

constexpr ColumnInfo Raw16(std::string_view name, int width, std::uint16_t R::*field) {
    ColumnInfo c = Named(name, width, F::Decimal, false);
    c.raw16 = field;
    return c;
}

constexpr std::array<ColumnInfo, kColumnKindCount> kColumns = {
    Named("Port Name", 75, F::PortName, false),
    Named("Status", 50, F::PortStatus, false),
    Line("CTS", STATUS_CTS),
    Line("DSR", STATUS_DSR),
    Line("CD", STATUS_CD),
    Line("RTS", STATUS_RTS),
    Line("DTR", STATUS_DTR),
    Named("Actual Throughput", 150, F::Throughput, false),
    Stat("TxTotal", 75, &S::TxTotal),
    Stat("RxTotal", 75, &S::RxTotal),
    Named("Total Errors", 75, F::TotalErrors, true),
    Stat16("OverrunErrors", 100, &S::OverrunErrors),
    Stat16("FramingErrors", 100, &S::FramingErrors),
    Stat16("ParityErrors", 75, &S::ParityErrors),
    Raw16("Status Flags", 75, &R::statusFlags),
    Raw16("TxPackets", 75, &R::txPackets),
    Raw16("RxPackets", 75, &R::rxPackets),
    Raw("TxTotalRaw", 75, &R::txTotalRaw),
    Raw("RxTotalRaw", 75, &R::rxTotalRaw),
    Raw16("OverrunErrorsRaw", 100, &R::overrunErrorsRaw),
    Raw16("FramingErrorsRaw", 100, &R::framingErrorsRaw),
    Raw16("ParityErrorsRaw", 100, &R::parityErrorsRaw),
    Stat("TxCPSInst", 75, &S::TxCPSInst),
    Stat("RxCPSInst", 75, &S::RxCPSInst),
    Stat("TxCPSMinute", 75, &S::TxCPSMinute),
    Stat("RxCPSMinute", 75, &S::RxCPSMinute),
    Stat("TxCPSMinuteAvMax", 100, &S::TxCPSMinuteAvMax),
    Stat("TxCPSHourAvMax", 100, &S::TxCPSHourAvMax),
    Stat("TxCPSDayAvMax", 100, &S::TxCPSDayAvMax),
    Stat("RxCPSMinuteAvMax", 100, &S::RxCPSMinuteAvMax),
    Stat("RxCPSHourAvMax", 100, &S::RxCPSHourAvMax),
    Stat("RxCPSDayAvMax", 100, &S::RxCPSDayAvMax),
    Stat("TxMinuteCnt", 75, &S::TxMinuteCnt),
    Stat("TxHourCnt", 75, &S::TxHourCnt),
    Stat("TxDayCnt", 75, &S::TxDayCnt),
    Stat("RxMinuteCnt", 75, &S::RxMinuteCnt),
    Stat("RxHourCnt", 75, &S::RxHourCnt),
    Stat("RxDayCnt", 75, &S::RxDayCnt),
    Stat("TxMinuteCntWrk", 100, &S::TxMinuteCntWrk),
    Stat("TxHourCntWrk", 100, &S::TxHourCntWrk),
    Stat("TxDayCntWrk", 100, &S::TxDayCntWrk),
    Stat("RxMinuteCntWrk", 100, &S::RxMinuteCntWrk),
    Stat("RxHourCntWrk", 100, &S::RxHourCntWrk),
    Stat("RxDayCntWrk", 100, &S::RxDayCntWrk),
    Stat("TxCPSMinuteAvMaxWrk", 100, &S::TxCPSMinuteAvMaxWrk),
    Stat("TxCPSHourAvMaxWrk", 100, &S::TxCPSHourAvMaxWrk),
    Stat("TxCPSDayAvMaxWrk", 100, &S::TxCPSDayAvMaxWrk),
    Stat("RxCPSMinuteAvMaxWrk", 100, &S::RxCPSMinuteAvMaxWrk),
    Stat("RxCPSHourAvMaxWrk", 100, &S::RxCPSHourAvMaxWrk),
    Stat("RxCPSDayAvMaxWrk", 100, &S::RxCPSDayAvMaxWrk),
    Stat("CDRuns", 75, &S::CDRuns),
    Stat("CDDayRuns", 75, &S::CDDayRuns),
    Stat("CDDayRunsWrk", 100, &S::CDDayRunsWrk),
    Stat("CDRunTime", 75, &S::CDRunTime, F::Milliseconds),
    Stat("CDHourRunTime", 100, &S::CDHourRunTime, F::Seconds),
    Stat("CDDayRunTime", 100, &S::CDDayRunTime, F::Seconds),
    Stat("CDHourRunTimeWrk", 100, &S::CDHourRunTimeWrk, F::Milliseconds),
    Stat("CDDayRunTimeWrk", 100, &S::CDDayRunTimeWrk, F::Seconds),
};

// Appends `text` to the cell, cut at the cell's limit.
struct CellWriter {
    std::span<char, kMaxCellText> out;
    std::size_t length = 0;

    void Text(std::string_view text) {
        const std::size_t n = std::min(text.size(), out.size() - length);
        std::memcpy(out.data() + length, text.data(), n);
        length += n;
    }
    void Number(std::uint32_t value, int minDigits = 1) {
        char digits[16];
        const auto result = std::to_chars(digits, digits + sizeof digits, value);
        const auto n = static_cast<int>(result.ptr - digits);
        for (int i = n; i < minDigits; ++i) {
            Text("0");
        }
        Text(std::string_view(digits, static_cast<std::size_t>(n)));
    }
    // Whole seconds as hours:minutes:seconds; the hours are not bounded.
    void Duration(std::uint32_t seconds) {
        Number(seconds / 3600);
        Text(":");
        Number((seconds / 60) % 60, 2);
        Text(":");
        Number(seconds % 60, 2);
    }
};

}  // namespace

const ColumnInfo& Column(int kind) {
    return kColumns[static_cast<std::size_t>(kind)];
}

std::span<const ColumnInfo, kColumnKindCount> Columns() {
    return kColumns;
}

std::array<int, kDefaultColumnCount> DefaultColumns() {
    std::array<int, kDefaultColumnCount> kinds{};
    for (int i = 0; i < kDefaultColumnCount; ++i) {
        kinds[static_cast<std::size_t>(i)] = i;
    }
    return kinds;
}

std::size_t FormatCell(int kind, std::string_view label, const RawPortCounters& counters,
                       const PortStatistics& statistics, const CellContext& context,
                       std::span<char, kMaxCellText> out) {
    CellWriter cell{out};
    if (!IsColumnKind(kind)) {
        return 0;
    }
    const ColumnInfo& column = Column(kind);
    const bool open = (counters.statusFlags & STATUS_PORT_OPEN) != 0;
    switch (column.format) {
        case F::PortName:
            cell.Text(label);
            break;
        case F::PortStatus:
            cell.Text(open ? "OPEN" : "CLOSED");
            break;
        case F::LineSignal:
            cell.Text(open && (counters.statusFlags & column.lineFlag) != 0 ? "ON" : "OFF");
            break;
        case F::Throughput:
            cell.Number(ActualThroughput(statistics, context.pollMs));
            cell.Text(kThroughputMarker);
            break;
        case F::TotalErrors:
            cell.Number(TotalErrors(statistics));
            break;
        case F::Milliseconds:
            cell.Duration(statistics.*column.statistics32 / 1000);
            break;
        case F::Seconds:
            cell.Duration(statistics.*column.statistics32);
            break;
        case F::Decimal:
            if (column.statistics32 != nullptr) {
                cell.Number(statistics.*column.statistics32);
            } else if (column.statistics16 != nullptr) {
                cell.Number(statistics.*column.statistics16);
            } else if (column.raw32 != nullptr) {
                cell.Number(counters.*column.raw32);
            } else if (column.raw16 != nullptr) {
                cell.Number(counters.*column.raw16);
            }
            break;
    }
    return cell.length;
}
