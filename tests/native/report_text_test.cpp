#include <gtest/gtest.h>

#include <locale>

#include "report/report_text.h"

TEST(ReportText, WorkedExampleByteForByte) {
    const DelayHistogram histogram = {{1, 950}, {2, 48}, {15, 3}};
    EXPECT_EQ(L" 1 ms \u00D7   950\t =   950 ms\n"
              L" 2 ms \u00D7    48\t =    96 ms\n"
              L"15 ms \u00D7     3\t =    45 ms\n",
              BuildReportText(histogram));
}

TEST(ReportText, EmptyHistogramGivesEmptyText) {
    EXPECT_EQ(L"", BuildReportText(DelayHistogram{}));
}

TEST(ReportText, ZeroAndWideKeys) {
    EXPECT_EQ(L" 0 ms \u00D7     7\t =     0 ms\n", BuildReportText({{0, 7}}));
    EXPECT_EQ(L"100 ms \u00D7     2\t =   200 ms\n", BuildReportText({{100, 2}}));
}

TEST(ReportText, LongNumbersPushTheLineRight) {
    EXPECT_EQ(L" 1 ms \u00D7 123456\t = 123456 ms\n", BuildReportText({{1, 123456}}));
    EXPECT_EQ(L" 1 ms \u00D7 100000\t = 100000 ms\n 2 ms \u00D7     1\t =     2 ms\n",
              BuildReportText({{1, 100000}, {2, 1}}));
}

TEST(ReportText, TotalWrapsModuloTwoToTheThirtyTwo) {
    // 4294967295 * 2 = 2^33 - 2, which is 4294967294 modulo 2^32.
    EXPECT_EQ(L"4294967295 ms \u00D7     2\t = 4294967294 ms\n", BuildReportText({{0xFFFFFFFFu, 2}}));
    EXPECT_EQ(L"65536 ms \u00D7 65536\t =     0 ms\n", BuildReportText({{65536, 65536}}));
}

TEST(ReportText, EveryLineEndsWithASingleLineFeed) {
    const std::wstring text = BuildReportText({{3, 1}, {1, 2}, {2, 3}});
    EXPECT_EQ(std::wstring::npos, text.find(L'\r'));
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(L'\n', text.back());
    EXPECT_EQ(3, std::count(text.begin(), text.end(), L'\n'));
    // Ascending keys, whatever order the entries were written in.
    EXPECT_EQ(0u, text.find(L" 1 ms"));
    EXPECT_LT(text.find(L" 2 ms"), text.find(L" 3 ms"));
}

namespace {

// A locale that groups digits in threes with an apostrophe.
struct GroupingPunct : std::numpunct<wchar_t> {
    wchar_t do_thousands_sep() const override { return L'\''; }
    std::string do_grouping() const override { return "\3"; }
};

} // namespace

TEST(ReportText, IgnoresTheGlobalLocale) {
    const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new GroupingPunct));
    const std::wstring text = BuildReportText({{1, 123456}});
    std::locale::global(previous);
    EXPECT_EQ(L" 1 ms \u00D7 123456\t = 123456 ms\n", text);
}
