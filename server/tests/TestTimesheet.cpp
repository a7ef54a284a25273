#include "Timesheet.h"

#include <gtest/gtest.h>

using namespace corlune::server;
using namespace std::chrono;

namespace {

struct Case {
    const char* name;
    std::string employee;
    const char* job;
    std::int64_t seconds;
    const char* line; ///< the CSV line after the header
};

const std::vector<Case> cases = {
    {"Plain", "e1", "j1", 27000, R"("e1","j1",2024-03-05,27000,7.50)"},
    {"HoursToTheNearestHundredth", "e1", "", 17, R"("e1","",2024-03-05,17,0.00)"},
    {"HoursRoundedUpFromHalf", "e1", "", 18, R"("e1","",2024-03-05,18,0.01)"},
    {"QuotesAndSeparators", "a\"b,c", "x\r\ny", 60, "\"a\"\"b,c\",\"x\r\ny\",2024-03-05,60,0.02"},
    {"Formula", "=HYPERLINK(\"http://x\")", "+1", 60,
     R"x("'=HYPERLINK(""http://x"")","'+1",2024-03-05,60,0.02)x"},
    {"MoreFormulaStarts", "-2", "@SUM(A1)", 60, R"x("'-2","'@SUM(A1)",2024-03-05,60,0.02)x"},
    {"TabAndReturnStarts", "\tx", "\ry", 60, "\"'\tx\",\"'\ry\",2024-03-05,60,0.02"}};

TEST(TimesheetCsv, QuotesIdsAndDisarmsFormulas) {
    for (const Case& c : cases) {
        EXPECT_EQ(timesheetCsv({{c.employee, c.job, 2024y / March / 5, c.seconds}}),
                  std::string("employee,job,date,seconds,hours\r\n") + c.line + "\r\n")
            << c.name;
    }
}

TEST(TimesheetTable, AlignsColumnsOfCharactersAndShowsNoControls) {
    EXPECT_EQ(timesheetTable({{"e1", "j1", 2024y / March / 5, 27000},
                              {"Zo\xC3\xAB\x1b[2J\xC2\x9B", "0", 2024y / March / 16, 36001}}),
              "Employee  Job  Date            Work\n"
              "e1        j1   2024-03-05   7:30:00\n"
              "Zo\xC3\xAB?[2J?  0    2024-03-16  10:00:01\n"
              "Total                      17:30:01\n");
}

} // namespace
