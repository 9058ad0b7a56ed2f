// The logbook's text conversions give the very units and bytes that the toolkit's strings gave:
// a differential test over many byte strings, valid UTF-8 and broken alike.

#include "logbook/Text.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <random>

namespace logbook {
namespace {

TEST(Text, AgreesWithTheToolkitOnAnyBytes) {
    // Pieces that make valid sequences, cut ones, overlong forms, surrogates and stray bytes.
    const std::string pieces[] = {
        "a",    ";",        "\xC3\xBC",     "\xC5\x81", "\xE2\x82\xAC", "\xF0\x9F\x98\x80",
        "\xC3", "\xE2\x82", "\xF0\x9F\x98", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "\x80", "\xFF",     "\xEF\xBF\xBF", "\x1B"};
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 8);
    for (int k = 0; k < 20000; ++k) {
        std::string bytes;
        for (int n = length(random); n > 0; --n)
            bytes += pieces[pick(random)];
        SCOPED_TRACE(QByteArray::fromStdString(bytes).toHex().toStdString());
        const QString toolkit = QFile::decodeName(QByteArray::fromStdString(bytes));
        ASSERT_EQ(utf16Of(bytes), toolkit.toStdU16String());
        ASSERT_EQ(latin1Of(bytes), toolkit.toLatin1().toStdString());
    }
    EXPECT_EQ(charactersBeyondLatin1("J\xC3\xBCrgen \xC5\x81\xC3\xB3\x64\xC5\xBA \xC5\x81"),
              "\"\xC5\x81\", \"\xC5\xBA\"");
}

} // namespace
} // namespace logbook
