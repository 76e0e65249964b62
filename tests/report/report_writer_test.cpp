#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <clocale>

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

// A comma locale must not reach the numbers; quotes, commas and line breaks must survive.
TEST(ReportLines, QuoteAndEscapeTextsAndWriteNumbersWithAPoint)
{
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    const ReportRow row = Row("/m/\"a\",b.wav", "Could not\nencode");
    EXPECT_EQ(CsvLine(Row("/m/a.wav", "")), "/m/a.wav,/o/a.mp3,failed,,,44100,,-1.5,,,,,,,,,,0.25,,,\r\n");
    EXPECT_EQ(CsvLine(row), "\"/m/\"\"a\"\",b.wav\",/o/a.mp3,failed,\"Could not\nencode\","
                            ",44100,,-1.5,,,,,,,,,,0.25,,,\r\n");
    const std::string json = JsonLine(row);
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_EQ(json.find('\n'), json.size() - 1);
    const nlohmann::json parsed = nlohmann::json::parse(json);
    EXPECT_EQ(parsed["source"], row.Source);
    EXPECT_EQ(parsed["reason"], row.Reason);
    EXPECT_EQ(parsed["recommended_gain_db"], -1.5);
    EXPECT_TRUE(parsed["duration_s"].is_null());
    EXPECT_EQ(parsed.size(), 21u);
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
