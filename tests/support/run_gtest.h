// run.h inside a GoogleTest: the built program started with its files named
// after the running test, and the end every run is checked for. The test
// programs get SINEBAND_PROGRAM, SINEBAND_GLCHECK and SINEBAND_OUTPUT_DIR
// from tests/CMakeLists.txt.
#ifndef SINEBAND_TESTS_SUPPORT_RUN_GTEST_H
#define SINEBAND_TESTS_SUPPORT_RUN_GTEST_H

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>

#include "run.h"

namespace outside {

// A file next to the test's binary, named after the running test and the
// compositor and scale it runs on (tools/with-wayland.sh), if any.
inline std::string test_file(const std::string &suffix)
{
    const ::testing::TestInfo *t = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(t->test_suite_name()) + "-" + t->name();
    if (getenv("SINEBAND_COMPOSITOR") && getenv("SINEBAND_SCALE"))
        name += std::string("-") + getenv("SINEBAND_COMPOSITOR") + "-x" + getenv("SINEBAND_SCALE");
    std::replace(name.begin(), name.end(), '/', '-');
    return std::string(SINEBAND_OUTPUT_DIR) + "/" + name + suffix;
}

// The built program with glcheck preloaded (or not), its files named after
// the test and `tag`, where one test runs it more than once.
inline Launch program(const std::string &tag = "", bool checked = true)
{
    Launch l;
    l.argv = {SINEBAND_PROGRAM};
    l.preload = checked ? SINEBAND_GLCHECK : "";
    l.files = test_file(tag.empty() ? "" : "-" + tag);
    return l;
}

// The end a user asked for at `asked`: within `within_ms` of it, status 1,
// not a word on stdout or stderr.
inline ::testing::AssertionResult EndsNormally(Program &p, Clock::time_point asked, int within_ms)
{
    if (!p.ends_within(std::max(within_ms - ms_since(asked), 0)))
        return ::testing::AssertionFailure() << "still running " << within_ms << " ms after the end was asked for";
    ::testing::Test::RecordProperty("end_ms", ms_since(asked));
    std::string why = p.abnormal_end();
    if (!why.empty())
        return ::testing::AssertionFailure() << "not a normal end: " << why;
    return ::testing::AssertionSuccess();
}

// The end when there is no display to be had or it went away: within 5 s,
// status 0 (1 would read as a user's normal end), nothing on stdout, and
// one line of the program's on stderr that names `says`.
inline ::testing::AssertionResult EndsWithOneLine(Program &p, const std::string &says)
{
    if (!p.ends_within(5000))
        return ::testing::AssertionFailure() << "still running after 5 s";
    if (!WIFEXITED(p.status()) || WEXITSTATUS(p.status()) != 0)
        return ::testing::AssertionFailure() << p.describe_end() << ", stderr: " << p.err();
    std::vector<std::string> said = lines(p.err());
    if (said.size() != 1 || said[0].rfind("sineband: ", 0) != 0 || said[0].find(says) == std::string::npos)
        return ::testing::AssertionFailure() << "not one line of the program's naming \"" << says << "\": " << p.err();
    if (!p.out().empty())
        return ::testing::AssertionFailure() << "on stdout: " << p.out();
    return ::testing::AssertionSuccess();
}

}  // namespace outside

#endif
