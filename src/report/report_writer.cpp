#include "report/report_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <charconv>
#include <cerrno>
#include <cmath>
#include <type_traits>
#include <iterator>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "io/errors.h"
#include "io/text.h"

namespace varnook {
namespace {

constexpr std::string_view kJsonLinesExt = ".jsonl";
// RFC 4180 ends every record, the last included, with CR LF.
constexpr std::string_view kCsvLineEnd = "\r\n";

// The columns in their order; the JSON keys are the same names.
constexpr const char* kColumns[] = {
    "source",        "output",          "status",          "reason",          "duration_s",
    "sample_rate",   "channels",        "recommended_gain_db", "applied_gain_db",
    "peak_before_dbfs", "peak_after_dbfs", "halfwaves_limited", "cut_in_s",   "cut_out_s",
    "lead_in_s",     "lead_out_s",      "output_bytes",    "processing_s",
    "true_peak_before_dbtp", "true_peak_after_dbtp", "plot",
    "limiter_reduction_db", "limiting_s", "album", "album_gain_db", "format"};

// A number in the shortest text that reads back to it, always with "." whatever the locale:
// to_chars never looks at the locale, unlike printf.
std::string NumberText(double value)
{
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string NumberText(int64_t value)
{
    return std::to_string(value);
}

// A value the report has: one the run got to, and a number any reader takes. A peak of
// digital silence is minus infinity dBFS, which JSON has no word for: both formats leave it
// empty, so they never disagree.
template <class T>
bool Known(const std::optional<T>& value)
{
    if constexpr (std::is_floating_point_v<T>) return value && std::isfinite(*value);
    return value.has_value();
}

template <class T>
std::string Cell(const std::optional<T>& value)
{
    return Known(value) ? NumberText(*value) : std::string();
}

// A field is quoted when it holds a comma, a double quote or a line break; quotes are doubled.
std::string CsvField(const std::string& text)
{
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::vector<std::string> Cells(const ReportRow& row)
{
    return {row.Source,
            row.Output,
            row.Status,
            row.Reason,
            Cell(row.DurationSeconds),
            Cell(row.SampleRate),
            Cell(row.Channels),
            Cell(row.RecommendedGain),
            Cell(row.AppliedGain),
            Cell(row.PeakBefore),
            Cell(row.PeakAfter),
            Cell(row.HalfWavesLimited),
            Cell(row.CutIn),
            Cell(row.CutOut),
            Cell(row.LeadIn),
            Cell(row.LeadOut),
            Cell(row.OutputBytes),
            NumberText(row.ProcessingSeconds),
            Cell(row.TruePeakBefore),
            Cell(row.TruePeakAfter),
            row.Plot.value_or(""),
            Cell(row.LimiterReductionDb),
            Cell(row.SecondsLimiting),
            row.Album.value_or(""),
            Cell(row.AlbumGain),
            row.Format};
}

std::string JoinCsv(const std::vector<std::string>& fields)
{
    std::string line;
    for (size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) line += ',';
        line += CsvField(fields[i]);
    }
    return line + std::string(kCsvLineEnd);
}

template <class T>
nlohmann::json JsonValue(const std::optional<T>& value)
{
    return Known(value) ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

}  // namespace

ReportFormat ReportFormatFor(const std::string& path)
{
    const std::string_view text(path);
    const bool jsonLines = text.size() >= kJsonLinesExt.size() &&
                           EqualsNoCase(text.substr(text.size() - kJsonLinesExt.size()), kJsonLinesExt);
    return jsonLines ? ReportFormat::JsonLines : ReportFormat::Csv;
}

std::string CsvHeader()
{
    return JoinCsv(std::vector<std::string>(std::begin(kColumns), std::end(kColumns)));
}

std::string CsvLine(const ReportRow& row)
{
    return JoinCsv(Cells(row));
}

std::string JsonLine(const ReportRow& row)
{
    const nlohmann::json values[] = {row.Source,
                                     row.Output,
                                     row.Status,
                                     row.Reason,
                                     JsonValue(row.DurationSeconds),
                                     JsonValue(row.SampleRate),
                                     JsonValue(row.Channels),
                                     JsonValue(row.RecommendedGain),
                                     JsonValue(row.AppliedGain),
                                     JsonValue(row.PeakBefore),
                                     JsonValue(row.PeakAfter),
                                     JsonValue(row.HalfWavesLimited),
                                     JsonValue(row.CutIn),
                                     JsonValue(row.CutOut),
                                     JsonValue(row.LeadIn),
                                     JsonValue(row.LeadOut),
                                     JsonValue(row.OutputBytes),
                                     row.ProcessingSeconds,
                                     JsonValue(row.TruePeakBefore),
                                     JsonValue(row.TruePeakAfter),
                                     JsonValue(row.Plot),
                                     JsonValue(row.LimiterReductionDb),
                                     JsonValue(row.SecondsLimiting),
                                     JsonValue(row.Album),
                                     JsonValue(row.AlbumGain),
                                     row.Format};
    static_assert(std::size(values) == std::size(kColumns));
    nlohmann::ordered_json object;
    for (size_t i = 0; i < std::size(kColumns); ++i) object[kColumns[i]] = values[i];
    // A file name need not be UTF-8; its stray bytes become U+FFFD rather than end the run.
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

ReportWriter::ReportWriter(const std::string& path) : format_(ReportFormatFor(path))
{
    // Never through a link, and never blocked by a FIFO: only a regular file takes the rows.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) ThrowFileErrorFromErrno();
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw FileError(file_errors::kPathFileAccess, FileErrorText(file_errors::kPathFileAccess));
    }
    file_ = ::fdopen(fd, "ab");
    if (file_ == nullptr) {
        const int error = errno;
        ::close(fd);
        throw FileErrorFromErrno(error);
    }
    // Where an append stream starts is the library's choice; ask for the end explicitly.
    std::fseek(file_, 0, SEEK_END);
    if (format_ == ReportFormat::Csv && std::ftell(file_) == 0) {
        const std::string header = CsvHeader();
        std::fwrite(header.data(), 1, header.size(), file_);
        std::fflush(file_);
    }
}

ReportWriter::~ReportWriter()
{
    if (file_ != nullptr) std::fclose(file_);
}

void ReportWriter::Append(const ReportRow& row)
{
    const std::string line = format_ == ReportFormat::JsonLines ? JsonLine(row) : CsvLine(row);
    errno = 0;
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() || std::fflush(file_) != 0)
        ThrowFileErrorFromErrno();
}

}  // namespace varnook
