#include "report/report_writer.h"

#include <gtest/gtest.h>

#include <clocale>

#include "support/param_name.h"
#include "support/temp_dir.h"

namespace varnook {
namespace {

ReportRow Row(std::string source, std::string reason, std::optional<double> gain)
{
    ReportRow row;
    row.Source = std::move(source);
    row.Output = "/o/a.mp3";
    row.Status = reason.empty() ? "done" : "failed";
    row.Reason = std::move(reason);
    row.SampleRate = 44100;
    row.RecommendedGain = gain;
    row.ProcessingSeconds = 0.25;
    return row;
}

struct LineCase {
    const char* name;
    ReportRow row;
    std::string csv;
    std::string json;
};

class ReportLines : public testing::TestWithParam<LineCase> {};

TEST_P(ReportLines, WriteTheRowInBothFormats)
{
    // A comma locale must not reach the numbers.
    ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
    EXPECT_EQ(CsvLine(GetParam().row), GetParam().csv);
    EXPECT_EQ(JsonLine(GetParam().row), GetParam().json);
    std::setlocale(LC_NUMERIC, "C");
}

INSTANTIATE_TEST_SUITE_P(Rows, ReportLines, testing::Values(
    LineCase{"Plain", Row("/m/a.wav", "", -1.5),
             "/m/a.wav,/o/a.mp3,done,,,44100,,-1.5,,,,,,,,,,0.25\r\n",
             R"({"source":"/m/a.wav","output":"/o/a.mp3","status":"done","reason":"","duration_s":null,)"
             R"("sample_rate":44100,"channels":null,"recommended_gain_db":-1.5,"applied_gain_db":null,)"
             R"("peak_before_dbfs":null,"peak_after_dbfs":null,"halfwaves_limited":null,"cut_in_s":null,)"
             R"("cut_out_s":null,"lead_in_s":null,"lead_out_s":null,"output_bytes":null,"processing_s":0.25})"
             "\n"},
    LineCase{"Quoted", Row("/m/\"a\",b.wav", "Could not\nencode", std::nullopt),
             "\"/m/\"\"a\"\",b.wav\",/o/a.mp3,failed,\"Could not\nencode\",,44100,,,,,,,,,,,,0.25\r\n",
             R"({"source":"/m/\"a\",b.wav","output":"/o/a.mp3","status":"failed","reason":"Could not\nencode",)"
             R"("duration_s":null,"sample_rate":44100,"channels":null,"recommended_gain_db":null,)"
             R"("applied_gain_db":null,"peak_before_dbfs":null,"peak_after_dbfs":null,"halfwaves_limited":null,)"
             R"("cut_in_s":null,"cut_out_s":null,"lead_in_s":null,"lead_out_s":null,"output_bytes":null,)"
             R"("processing_s":0.25})"
             "\n"}),
    test::RowName());

TEST(ReportWriter, AppendsRowsAndWritesTheHeaderOnlyIntoAnEmptyFile)
{
    test::TempDir dir;
    const std::string path = dir.File("r.csv");
    for (int run = 0; run < 2; ++run) {
        ReportWriter writer(path);
        writer.Append(Row("/m/a.wav", "", 1));
    }
    const std::string line = CsvLine(Row("/m/a.wav", "", 1));
    EXPECT_EQ(test::ReadText(path), CsvHeader() + line + line);
    EXPECT_EQ(ReportFormatFor("/x/r.JSONL"), ReportFormat::JsonLines);
}

}  // namespace
}  // namespace varnook
