#include "monitor/sessions/session_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/system/last_error.h"

namespace {

void PutCount(std::vector<std::uint8_t>& out, int value) {
    char field[kCountFieldSize + 1];
    std::snprintf(field, sizeof field, "%4d", value);
    out.insert(out.end(), field, field + kCountFieldSize);  // the fifth byte is the NUL
}

// A "%4d" field: optional leading spaces, at least one digit, then only NULs. Nothing for
// anything else (a sign, letters, a missing terminator).
std::optional<int> GetCount(std::span<const std::uint8_t, kCountFieldSize> field) {
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') {
        ++i;
    }
    int value = 0;
    const std::size_t firstDigit = i;
    while (i < field.size() && field[i] >= '0' && field[i] <= '9') {
        value = value * 10 + (field[i] - '0');
        ++i;
    }
    if (i == firstDigit || i == field.size()) {
        return std::nullopt;
    }
    for (; i < field.size(); ++i) {
        if (field[i] != 0) {
            return std::nullopt;
        }
    }
    return value;
}

class Reader {
  public:
    explicit Reader(std::span<const std::uint8_t> data) : data_(data) {}

    // The next `n` bytes, or an empty span (and nothing consumed) when fewer remain.
    std::span<const std::uint8_t> Take(std::size_t n) {
        if (data_.size() - at_ < n) {
            return {};
        }
        const auto part = data_.subspan(at_, n);
        at_ += n;
        return part;
    }
    std::optional<std::optional<int>> TakeCount() {
        const auto field = Take(kCountFieldSize);
        if (field.empty()) {
            return std::nullopt;
        }
        return GetCount(field.first<kCountFieldSize>());
    }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
};

std::string NameFromField(std::span<const std::uint8_t> field) {
    std::size_t length = 0;
    while (length < field.size() && field[length] != 0) {
        ++length;
    }
    const std::string_view name(reinterpret_cast<const char*>(field.data()), length);
    return std::string(WithoutMarker(name).substr(0, kMaxPortName));
}

}  // namespace

std::vector<std::uint8_t> EncodeSession(const PortTable& table) {
    std::vector<std::uint8_t> out;
    out.reserve(
        SessionFileSize(table.ColumnKinds().size(), static_cast<std::size_t>(table.RowCount())));
    PutCount(out, table.RowCount());
    PutCount(out, table.ColumnCount());
    for (const int kind : table.ColumnKinds()) {
        PutCount(out, kind);
    }
    for (int i = 0; i < table.RowCount(); ++i) {
        const PortRow& row = table.Row(i);
        const std::size_t at = out.size();
        out.resize(at + kRowRecordSize, 0);
        const std::span<std::uint8_t> record(out.data() + at, kRowRecordSize);
        const std::string& name = row.Name();
        std::memcpy(record.data(), name.data(), std::min(name.size(), kMaxPortName));
        EncodeRawPortCounters(*row.Counters(),
                              record.subspan(kRowNameFieldSize).first<RawPortCounters::kSize>());
        EncodePortStatistics(*row.Statistics(),
                             record.subspan(kRowNameFieldSize + RawPortCounters::kSize)
                                 .first<PortStatistics::kSize>());
    }
    return out;
}

DecodedSession DecodeSession(std::span<const std::uint8_t> data) {
    DecodedSession session;
    Reader in(data);
    const auto rows = in.TakeCount();
    const auto columns = in.TakeCount();
    if (!rows || !columns) {
        session.status = SessionDecodeStatus::TooShort;
        return session;
    }
    if (!*rows || !*columns || **rows > kMaxRows || **columns > kColumnKindCount) {
        session.status = SessionDecodeStatus::BadCount;
        return session;
    }
    session.declaredRows = **rows;
    session.status = SessionDecodeStatus::Complete;
    for (int j = 0; j < **columns; ++j) {
        const auto kind = in.TakeCount();
        if (!kind) {
            session.status = SessionDecodeStatus::Truncated;
            return session;
        }
        if (!*kind || !IsColumnKind(**kind)) {
            session.status = SessionDecodeStatus::BadCount;
            session.columns.clear();
            return session;
        }
        session.columns.push_back(**kind);
    }
    session.rows.reserve(static_cast<std::size_t>(session.declaredRows));
    for (int i = 0; i < session.declaredRows; ++i) {
        const auto record = in.Take(kRowRecordSize);
        if (record.empty()) {
            session.status = SessionDecodeStatus::Truncated;
            break;
        }
        DecodedRow row;
        row.name = NameFromField(record.first(kRowNameFieldSize));
        row.counters = DecodeRawPortCounters(
            record.subspan(kRowNameFieldSize).first<RawPortCounters::kSize>());
        row.statistics =
            DecodePortStatistics(record.subspan(kRowNameFieldSize + RawPortCounters::kSize)
                                     .first<PortStatistics::kSize>());
        session.rows.push_back(std::move(row));
    }
    return session;
}

LoadResult LoadSession(PortTable& table, const DecodedSession& session, const RowBinder& bind) {
    LoadResult result;
    table.ClearColumns();
    for (const int kind : session.columns) {
        table.AppendColumn(kind);
    }
    table.ClearRows();
    for (const DecodedRow& saved : session.rows) {
        const auto binding = bind ? bind(saved.name) : std::nullopt;
        std::unique_ptr<PortRow> row;
        if (binding && binding->counters != nullptr && binding->statistics != nullptr) {
            row = std::make_unique<PortRow>(saved.name, *binding);
        } else {
            row = std::make_unique<PortRow>(saved.name);
        }
        // A bound row's blocks are the source's own, so even a repeated name's data lands
        // there; an unbound repeat is dropped with its private blocks.
        *row->Counters() = saved.counters;
        *row->Statistics() = saved.statistics;
        const bool zenith = row->Bound() && row->Zenith();
        if (table.AddRow(std::move(row)) == AddRowResult::Added) {
            ++result.rowsKept;
            if (zenith) {
                ++result.zenithRows;
            }
        }
    }
    table.SortRows();
    return result;
}

std::string SessionTemporaryPath(const std::string& path) {
    return path + ".tmp" + std::to_string(getpid());
}

FileWriteResult WriteFileBytes(const std::string& path, std::span<const std::uint8_t> bytes) {
    const std::string temporary = SessionTemporaryPath(path);
    // The target is never opened for writing: a save that fails part way would leave neither
    // the old session nor the new one. A link planted at the temporary name is not followed.
    const int fd =
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
        platform::FailWithErrno();
        return FileWriteResult::CannotCreate;
    }
    std::size_t done = 0;
    int failure = 0;
    while (done < bytes.size() && failure == 0) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            failure = n < 0 ? errno : ENOSPC;
        } else {
            done += static_cast<std::size_t>(n);
        }
    }
    if (failure == 0 && ::fsync(fd) != 0 && errno != EINVAL) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) {
        failure = errno;
    }
    if (failure == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        ::unlink(temporary.c_str());
        platform::FailWith(static_cast<DWORD>(failure));
        return FileWriteResult::WriteFailed;
    }
    return FileWriteResult::Ok;
}

std::optional<std::vector<std::uint8_t>> ReadFileBytes(const std::string& path, std::size_t limit) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        platform::FailWithErrno();
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(limit);
    const std::size_t n = std::fread(bytes.data(), 1, limit, file.get());
    if (std::ferror(file.get())) {
        platform::FailWithErrno();
        return std::nullopt;
    }
    bytes.resize(n);
    return bytes;
}
