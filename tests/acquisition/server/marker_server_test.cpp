// Which lines from the marker port become markers, and with what text.

#include <gtest/gtest.h>

#include "acquisition/server/marker_server.h"

namespace {

struct LineCase {
    QByteArray line;
    std::optional<QString> marker;
};

TEST(MarkerServer, TextLinesBecomeMarkersAndAnythingElseIsRefused) {
    const LineCase cases[] = {
        {"eyes closed\n", QStringLiteral("eyes closed")},
        {"42\r\n", QStringLiteral("42")},
        {"  padded\t \n", QStringLiteral("padded")},
        {"a\tb\n", QStringLiteral("a b")},
        {"\xe9\x97\xad\xe7\x9c\xbc\n", QStringLiteral("闭眼")},
        {"\n", QString()},  // empty: nothing, but the client stays
        {QByteArray("nul\0x\n", 6), std::nullopt},
        {"bell\x07\n", std::nullopt},
        {"\x1b[31mred\n", std::nullopt},
        {"\xff\xfe\n", std::nullopt},
        {"\xe9\x97\n", std::nullopt},  // a character cut short
        {"del\x7f\n", std::nullopt},
    };
    for (const LineCase& c : cases) {
        EXPECT_EQ(MarkerServer::MarkerText(c.line), c.marker) << c.line.toHex().toStdString();
    }
}

}  // namespace
