#include "acquisition/display/label_text.h"

#include <gtest/gtest.h>

#include "qt_environment.h"

namespace {

TEST(LabelText, Utf8WhenValidElseGbk) {
    EXPECT_EQ(LabelText("Fp1"), "Fp1");
    EXPECT_EQ(LabelText("\xE5\xB7\xA6"), "左") << "UTF-8";
    EXPECT_EQ(LabelText("\xD7\xF3\xB6\xFA"), "左耳") << "GBK";
    EXPECT_EQ(LabelText("O1\xD7"), "O1") << "a GBK character cut in half is dropped";
    EXPECT_EQ(LabelText(""), "");
    EXPECT_EQ(LabelText(nullptr), "");
}

}  // namespace
