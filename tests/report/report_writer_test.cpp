#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <limits>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/temp_dir.h"

namespace varnook {
namespace {

// A value of its own in every cell.
const ReportRow kRow{.Source = "s.wav", .Output = "o.mp3", .Status = "done", .Reason = "r", .DurationSeconds = 1.5,
                     .SampleRate = 44100, .Channels = 2, .RecommendedGain = 3.25, .AppliedGain = 4.5,
                     .PeakBefore = -5.5, .PeakAfter = -6.5, .HalfWavesLimited = 7, .CutIn = 8.5, .CutOut = 9.5,
                     .LeadIn = 10.5, .LeadOut = 11.5, .OutputBytes = 12, .ProcessingSeconds = 13.5,
                     .TruePeakBefore = -14.5, .TruePeakAfter = -15.5, .Plot = "p.png",
                     .LimiterReductionDb = 16.5, .SecondsLimiting = 17.5, .Album = "a", .AlbumGain = 18.5, .Format = "flac"};

// Each value stands under its own name: at the header's position of its column in the CSV line,
// under its key in the JSON object.
TEST(ReportLines, EachValueStandsUnderItsOwnColumn)
{
    const std::map<std::string, std::string> expected{
        {"source", "s.wav"}, {"output", "o.mp3"}, {"status", "done"}, {"reason", "r"}, {"duration_s", "1.5"},
        {"sample_rate", "44100"}, {"channels", "2"}, {"recommended_gain_db", "3.25"}, {"applied_gain_db", "4.5"},
        {"peak_before_dbfs", "-5.5"}, {"peak_after_dbfs", "-6.5"}, {"halfwaves_limited", "7"}, {"cut_in_s", "8.5"},
        {"cut_out_s", "9.5"}, {"lead_in_s", "10.5"}, {"lead_out_s", "11.5"}, {"output_bytes", "12"},
        {"processing_s", "13.5"}, {"true_peak_before_dbtp", "-14.5"}, {"true_peak_after_dbtp", "-15.5"},
        {"plot", "p.png"}, {"limiter_reduction_db", "16.5"}, {"limiting_s", "17.5"}, {"album", "a"}, {"album_gain_db", "18.5"},
        {"format", "flac"}};
    std::istringstream names(CsvHeader()), values(CsvLine(kRow));
    std::map<std::string, std::string> csv, json;
    for (std::string name, value; std::getline(names, name, ',') && std::getline(values, value, ',');)
        csv[name.substr(0, name.find('\r'))] = value.substr(0, value.find('\r'));
    const nlohmann::json object = nlohmann::json::parse(JsonLine(kRow));
    for (const auto& [key, value] : object.items()) json[key] = value.is_string() ? value.get<std::string>() : value.dump();
    EXPECT_EQ(csv, expected);
    EXPECT_EQ(json, expected);
}

// A comma locale must not reach the numbers; quotes, commas and line breaks must survive, and a
// value the run did not get to, or no finite number, is an empty cell and a JSON null alike.
TEST(ReportLines, QuoteAndEscapeTextsAndWriteNumbersWithAPoint)
{
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    ReportRow row = kRow;
    row.Source = "/m/\"a\",b.wav";
    row.Reason = "Could not\nencode";
    row.DurationSeconds.reset();
    row.PeakAfter = -std::numeric_limits<double>::infinity();  // digital silence
    EXPECT_EQ(CsvLine(row), "\"/m/\"\"a\"\",b.wav\",o.mp3,done,\"Could not\nencode\",,44100,2,3.25,4.5,-5.5,,7,8.5,"
                            "9.5,10.5,11.5,12,13.5,-14.5,-15.5,p.png,16.5,17.5,a,18.5,flac\r\n");
    const std::string json = JsonLine(row);
    std::setlocale(LC_NUMERIC, "C");
    const nlohmann::json parsed = nlohmann::json::parse(json);
    EXPECT_EQ(std::tuple(parsed["source"], parsed["reason"], parsed["duration_s"], parsed["peak_after_dbfs"]),
              std::tuple(row.Source, row.Reason, nullptr, nullptr));
}

TEST(ReportWriter, AppendsRowsAndWritesTheHeaderOnlyIntoAnEmptyFile)
{
    test::TempDir dir;
    const std::string path = dir.File("r.csv");
    for (int run = 0; run < 2; ++run) ReportWriter(path).Append(kRow);
    EXPECT_EQ(test::ReadText(path), CsvHeader() + CsvLine(kRow) + CsvLine(kRow));
    EXPECT_EQ(ReportFormatFor("/x/r.JSONL"), ReportFormat::JsonLines);
}

}  // namespace
}  // namespace varnook
