#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <clocale>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/temp_dir.h"

namespace varnook {
namespace {

ReportRow Row(std::string source, std::string reason)
{
    ReportRow row;
    row.Source = std::move(source);
    row.Output = "/o/a.mp3";
    row.Status = "failed";
    row.Reason = std::move(reason);
    row.SampleRate = 44100;
    row.RecommendedGain = -1.5;
    row.ProcessingSeconds = 0.25;
    return row;
}

// Every value stands under its own name: each cell differs from every other, and the header's
// position of a column finds it in the CSV line, its key in the JSON object.
TEST(ReportLines, EachValueStandsUnderItsOwnColumn)
{
    const ReportRow row{.Source = "s.wav", .Output = "o.mp3", .Status = "done", .Reason = "r",
                        .DurationSeconds = 1.5, .SampleRate = 44100, .Channels = 2, .RecommendedGain = 3.25,
                        .AppliedGain = 4.5, .PeakBefore = -5.5, .PeakAfter = -6.5, .HalfWavesLimited = 7,
                        .CutIn = 8.5, .CutOut = 9.5, .LeadIn = 10.5, .LeadOut = 11.5, .OutputBytes = 12,
                        .ProcessingSeconds = 13.5, .TruePeakBefore = -14.5, .TruePeakAfter = -15.5, .Plot = "p.png"};
    const std::map<std::string, std::string> expected{
        {"source", "s.wav"}, {"output", "o.mp3"}, {"status", "done"}, {"reason", "r"}, {"duration_s", "1.5"},
        {"sample_rate", "44100"}, {"channels", "2"}, {"recommended_gain_db", "3.25"}, {"applied_gain_db", "4.5"},
        {"peak_before_dbfs", "-5.5"}, {"peak_after_dbfs", "-6.5"}, {"halfwaves_limited", "7"}, {"cut_in_s", "8.5"},
        {"cut_out_s", "9.5"}, {"lead_in_s", "10.5"}, {"lead_out_s", "11.5"}, {"output_bytes", "12"},
        {"processing_s", "13.5"}, {"true_peak_before_dbtp", "-14.5"}, {"true_peak_after_dbtp", "-15.5"},
        {"plot", "p.png"}};
    const auto cells = [](std::string line) {
        std::vector<std::string> fields;
        std::istringstream in(line.substr(0, line.size() - 2));  // without the CR LF
        for (std::string field; std::getline(in, field, ',');) fields.push_back(field);
        return fields;
    };
    const std::vector<std::string> names = cells(CsvHeader()), values = cells(CsvLine(row));
    ASSERT_EQ(names.size(), values.size());
    std::map<std::string, std::string> csv, json;
    for (size_t i = 0; i < names.size(); ++i) csv[names[i]] = values[i];
    const nlohmann::json object = nlohmann::json::parse(JsonLine(row));
    for (const auto& [key, value] : object.items())
        json[key] = value.is_string() ? value.get<std::string>() : value.dump();
    EXPECT_EQ(csv, expected);
    EXPECT_EQ(json, expected);
}

// A comma locale must not reach the numbers; quotes, commas and line breaks must survive, and a
// value the run did not get to is an empty cell, a JSON null.
TEST(ReportLines, QuoteAndEscapeTextsAndWriteNumbersWithAPoint)
{
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    const ReportRow row = Row("/m/\"a\",b.wav", "Could not\nencode");
    EXPECT_EQ(CsvLine(row), "\"/m/\"\"a\"\",b.wav\",/o/a.mp3,failed,\"Could not\nencode\","
                            ",44100,,-1.5,,,,,,,,,,0.25,,,\r\n");
    const std::string json = JsonLine(row);
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_EQ(json.find('\n'), json.size() - 1);
    const nlohmann::json parsed = nlohmann::json::parse(json);
    EXPECT_EQ(parsed["source"], row.Source);
    EXPECT_EQ(parsed["reason"], row.Reason);
    EXPECT_TRUE(parsed["duration_s"].is_null());
}

TEST(ReportWriter, AppendsRowsAndWritesTheHeaderOnlyIntoAnEmptyFile)
{
    test::TempDir dir;
    const std::string path = dir.File("r.csv");
    for (int run = 0; run < 2; ++run) ReportWriter(path).Append(Row("/m/a.wav", ""));
    const std::string line = CsvLine(Row("/m/a.wav", ""));
    EXPECT_EQ(test::ReadText(path), CsvHeader() + line + line);
    EXPECT_EQ(ReportFormatFor("/x/r.JSONL"), ReportFormat::JsonLines);
}

}  // namespace
}  // namespace varnook
