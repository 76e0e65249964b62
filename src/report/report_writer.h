// The run report: one row per source, for a script or a spreadsheet to read. Knows nothing of
// the pipeline: library/ fills the rows, this folder only writes them. nlohmann-json is used here
// and nowhere else.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace varnook {

// What became of one source. A value the run did not get to (no analysis, a file that failed
// early), or that is no finite number (the peak of digital silence), stays empty: an empty CSV
// cell, a JSON null.
struct ReportRow {
    std::string Source;
    std::string Output;
    // "done", "skipped", "failed", "stopped", "missing", "not started" (a stop came first) or
    // "passed over" (by the folder walk, as the output of a source beside it)
    std::string Status;
    std::string Reason;  // the failing step's words, for a failed or missing source; why one was passed over
    std::optional<double> DurationSeconds;
    std::optional<int64_t> SampleRate;
    std::optional<int64_t> Channels;
    std::optional<double> RecommendedGain;
    std::optional<double> AppliedGain;
    std::optional<double> PeakBefore;  // dBFS
    std::optional<double> PeakAfter;   // dBFS
    std::optional<int64_t> HalfWavesLimited;
    std::optional<double> CutIn;    // seconds into the source
    std::optional<double> CutOut;   // seconds into the source
    std::optional<double> LeadIn;   // seconds of silence added
    std::optional<double> LeadOut;  // seconds of silence added
    std::optional<int64_t> OutputBytes;
    double ProcessingSeconds = 0;
    std::optional<double> TruePeakBefore;  // dBTP, measured only under a true-peak ceiling
    std::optional<double> TruePeakAfter;   // dBTP
    std::optional<std::string> Plot;       // the /plot picture of the source
    std::optional<double> LimiterReductionDb;  // the limiter's deepest cut, in the limit mode only
    std::optional<double> SecondsLimiting;     // how long the limiter cut at all
    std::optional<std::string> Album;      // in album mode, the album the source is a track of
    std::optional<double> AlbumGain;       // dB, the album's gain (NewLevel not included)
    std::string Format;                    // the output's format ("mp3", "flac", ...), once named
};

enum class ReportFormat { Csv, JsonLines };

// The format the path's extension asks for: ".jsonl" (any letter case) is JSON lines, anything
// else CSV.
ReportFormat ReportFormatFor(const std::string& path);

// One report file, opened for appending, so a run adds to what earlier runs wrote. A CSV file
// that is empty when opened gets the header row first. Every row is flushed as it is written,
// so a run that is killed leaves the rows of the files it finished.
class ReportWriter {
public:
    // Throws FileError when the file cannot be opened: a link, or anything but a regular file, is
    // never opened (75: Path/File access error).
    explicit ReportWriter(const std::string& path);
    ~ReportWriter();
    ReportWriter(const ReportWriter&) = delete;
    ReportWriter& operator=(const ReportWriter&) = delete;

    // Throws FileError when the row cannot be written out.
    void Append(const ReportRow& row);

private:
    std::FILE* file_ = nullptr;
    ReportFormat format_;
};

// One row as the format writes it, line ending included (numbers always with "."). Exposed so
// the tests can read a row without a file.
std::string CsvHeader();
std::string CsvLine(const ReportRow& row);
std::string JsonLine(const ReportRow& row);

}  // namespace varnook
