#include "common/regular_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "support/temp_dir.h"

namespace {

struct Case {
    const char* name;
    std::string (*make)(const TempDir&);
    std::int64_t maxBytes;
    const char* error;  // nullptr: opens
};

const Case kCases[] = {
    {"small file", [](const TempDir& d) { return d.Write("a", "12345"); }, 5, nullptr},
    {"one byte too many", [](const TempDir& d) { return d.Write("b", "123456"); }, 5, "larger than 5 bytes"},
    {"missing", [](const TempDir& d) { return d.File("none"); }, 5, "No such file or directory"},
    {"directory", [](const TempDir& d) { return d.File(""); }, 5, "Is a directory"},
    {"device", [](const TempDir&) { return std::string("/dev/zero"); }, 5, "not a regular file"},
    {"fifo without a writer",
     [](const TempDir& d) {
         const std::string p = d.File("pipe");
         ::mkfifo(p.c_str(), 0600);
         return p;
     },
     5, "not a regular file"},
};

class OpenRegularFileTest : public testing::TestWithParam<Case> {};

TEST_P(OpenRegularFileTest, OpensOnlyBoundedRegularFilesAndNeverBlocks) {
    TempDir dir;
    const Case& c = GetParam();
    std::string error;
    const UniqueFd fd = OpenRegularFile(c.make(dir), c.maxBytes, error);
    if (c.error == nullptr) {
        EXPECT_TRUE(fd.IsOpen()) << error;
    } else {
        EXPECT_FALSE(fd.IsOpen());
        EXPECT_EQ(error, c.error);
    }
}

INSTANTIATE_TEST_SUITE_P(Inputs, OpenRegularFileTest, testing::ValuesIn(kCases),
                         [](const auto& info) {
                             std::string name = info.param.name;
                             for (char& ch : name) if (ch == ' ') ch = '_';
                             return name;
                         });

}  // namespace
