// qvlctl journal summary: journals of several stations counted into one view,
// every line that is no entry named.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

using namespace std::string_literals;

#include "qvlctl/JournalSummary.h"

TEST(JournalSummaryTest, CountsEveryEntryAndNamesEveryOtherLine)
{
    const std::string strA = // station a: one unit failed, then provisioned; a unit without serial twice
        R"({"host":"a","port":"/dev/ttyACM0","serial":"20260001","result":"failed","error":"/dev/ttyACM0: no reply","preset":"l.all","preset_sha256":"aa"})"
        "\n"
        R"({"host":"a","port":"/dev/ttyACM0","serial":"20260001","result":"provisioned","preset":"l.all","preset_sha256":"aa","format":9,"new_field":[1]})"
        "\r\n\r\n"
        R"({"host":"a","port":"/dev/ttyACM1","serial":null,"result":"refused","error":null})"
        "\n"
        R"({"host":"a","port":"/dev/ttyACM1","result":"refused"})"
        "\n";
    const std::string strB = // station b: a skip, a failure like a's, and lines that are no entries
        R"({"host":"b","port":"/dev/ttyACM5","serial":"20260009","result":"failed","error":"/dev/ttyACM5: no reply"})"
        "\n"s
        R"({"host":"b","serial":"20260009","result":"skipped","preset":"other/l.all","preset_sha256":"aa"})"
        "\nnot json\n[1]\n"
        R"({"host":"b","result":7})"
        "\n"
        R"({"host":"b","result":"provisioned"})"
        "\n"
        + R"({"host":"b","result":"provisioned")" + std::string(1100000, ' ') + "}\n"
        + R"({"host":"b","serial":"20260010","result":"provisioned","preset_sha256":"bb"})"
          "\n"
          R"({"host":"b","serial":"20260011","result":"provis)";
    JournalSummary sum;
    std::istringstream a(strA), b(strB);
    AddJournal(sum, "a.jsonl", a);
    AddJournal(sum, "b.jsonl", b);
    EXPECT_EQ(
        SummaryJson(sum).dump(),
        R"({"failures":[{"reason":"failed: PORT: no reply","units":2},{"reason":"refused: no error given","units":2}],)"
        R"("presets":[{"names":["l.all","other/l.all"],"sha256":"aa","units":3},{"names":[],"sha256":"bb","units":1}],)"
        R"("stations":[{"failed":3,"provisioned":1,"skipped":0,"station":"a","units":3},)"
        R"({"failed":1,"provisioned":2,"skipped":1,"station":"b","units":3}],)"
        R"("total":{"failed":4,"provisioned":3,"skipped":1,"units":6},)"
        R"("unparsed":{"count":5,"lines":["b.jsonl:3","b.jsonl:4","b.jsonl:5","b.jsonl:7","b.jsonl:9"]}})");
    EXPECT_EQ(SummaryTable(sum).substr(0, 162),
              "station       units  provisioned  failed  skipped\n"
              "a                 3            1       3        0\n"
              "b                 3            2       1        1\n"
              "all stations");
}
