// An image file that cannot be opened or written ends the program with status 1 and
// the system's reason, and never with the success message.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "dialogue_support.h"
#include "named_case.h"

namespace {

using named_case::operator<<;

struct OutputErrorCase {
    const char* name;
    std::vector<std::string> args;
    int error_number;  // the reason the system gives
    std::string out;   // everything printed before the failure
};

class UnwritableImage : public testing::TestWithParam<OutputErrorCase> {};

TEST_P(UnwritableImage, EndsTheProgramWithTheSystemsReason)
{
    const OutputErrorCase& c = GetParam();
    const std::string dir = make_work_dir();
    const RunResult r = run_ringetch(c.args, "exit\n", dir);
    EXPECT_EQ(r.exit_status, 1);
    EXPECT_EQ(r.err, std::string("ringetch: ") + std::strerror(c.error_number) + "\n");
    EXPECT_EQ(r.out, c.out);
}

const std::string announced = default_ranges + "creating DIRECT image\n";

INSTANTIATE_TEST_SUITE_P(
    ImageFile, UnwritableImage,
    testing::Values(
        OutputErrorCase{"FullDeviceAtTheLastRecords", {"size", "20000", "image", "/dev/full"}, ENOSPC,
                        announced + "line number 0, start byte - 0 Mb (white)\n"},
        // More than the writer's block of records: the failure comes in mid-image.
        OutputErrorCase{"FullDeviceInMidImage", {"size", "3000000", "tr0_f", "300", "tr0_t", "400", "image", "/dev/full"},
                        ENOSPC,
                        range_display("300", "400", "1.44", "1.32") + "creating DIRECT image\n" +
                            "line number 0, start byte - 0 Mb (white)\n"
                            "line number 1, start byte - 0.446606 Mb (gray)\n"},
        OutputErrorCase{"FolderThatDoesNotExist", {"size", "20000", "image", "no-such-folder/image.rge"}, ENOENT,
                        announced},
        OutputErrorCase{"PathThatIsAFolder", {"size", "20000", "image", "."}, EISDIR, announced}),
    [](const testing::TestParamInfo<OutputErrorCase>& info) { return std::string(info.param.name); });

}  // namespace
