// The logbook's text conversions give the very units and bytes that the toolkit's strings gave:
// a differential test over many byte strings, valid UTF-8 and broken alike. Names stored
// decomposed are composed first where Latin-1 then holds them: checked against the toolkit's
// composition, and through a whole run.

#include "FlightBuilder.h"
#include "logbook/Generation.h"
#include "logbook/RequestCheck.h"
#include "logbook/Text.h"
#include "support/CaptureStream.h"
#include "support/FileBytes.h"
#include "support/RunRecorder.h"
#include "support/TestDates.h"
#include "support/TestDirectory.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <chrono>
#include <filesystem>
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

// Every letter with every mark of the combining block: what the toolkit composes into Latin-1 is
// written composed, anything else as it always was.
TEST(Text, ComposesWhatTheToolkitComposesIntoLatin1) {
    int composed = 0;
    for (char16_t mark = 0x0300; mark <= 0x036F; ++mark) {
        for (const char base : std::string_view("AZaz@09 Kky?")) {
            const QString decomposed = QString(QChar(base)) + QChar(mark);
            SCOPED_TRACE(decomposed.toStdString());
            const QString nfc = decomposed.normalized(QString::NormalizationForm_C);
            const bool fits = nfc.size() == 1 && nfc[0].unicode() <= 0xFF;
            composed += fits ? 1 : 0;
            EXPECT_EQ(latin1Of(decomposed.toStdString()),
                      (fits ? nfc : decomposed).toLatin1().toStdString());
        }
    }
    // A and a with six marks each (ÀÁÂÃÄÅ, àáâãäå), y with two (ýÿ), and A, a and y with the tone
    // marks that stand for the grave and the acute accent; none of the others.
    EXPECT_EQ(composed, 19);
    for (char16_t letter = 0xC0; letter <= 0xFF; ++letter) {
        const QString nfd = QString(QChar(letter)).normalized(QString::NormalizationForm_D);
        SCOPED_TRACE(nfd.toStdString());
        EXPECT_EQ(latin1Of(nfd.toStdString()), std::string(1, static_cast<char>(letter)));
    }
}

TEST(Text, ComposesANameWhereLatin1HoldsItComposed) {
    const struct {
        const char* name;
        std::string utf8;
        std::string latin1;
        std::string beyond; // charactersBeyondLatin1
    } rows[] = {
        // What stays as it was.
        {"a mark after a letter it does not compose with", "s\xCC\xA7", "s?", "\"\xCC\xA7\""},
        {"two marks on one letter", "e\xCC\x81\xCC\x82", "e??", "\"\xCC\x81\", \"\xCC\x82\""},
        {"a mark of another block after the first", "e\xCC\x81\xE1\xB7\x80", "e??",
         "\"\xCC\x81\", \"\xE1\xB7\x80\""},
        {"a mark that begins the name", "\xCC\x81x", "?x", "\"\xCC\x81\""},
        {"a mark after a composed letter", "\xC3\xA9\xCC\x81", "\xE9?", "\"\xCC\x81\""},
        {"a mark after a broken byte", "\xFF\xCC\x81", "??", "\"\xEF\xBF\xBD\", \"\xCC\x81\""},
        {"a mark after a letter beyond Latin-1", "\xC5\x81\xCC\x81", "??",
         "\"\xC5\x81\", \"\xCC\x81\""},
        // What is composed.
        {"decomposed, as macOS stores it", "Pe\xCC\x81gase DR.igc", "P\xE9gase DR.igc", ""},
        {"already composed", "P\xC3\xA9gase DR.igc", "P\xE9gase DR.igc", ""},
        {"a capital with its ring", "A\xCC\x8Angstr\xC3\xB6m", "\xC5ngstr\xF6m", ""},
        {"a cedilla at the end", "Franc\xCC\xA7", "Fran\xE7", ""},
        {"letters in a row",
         "u\xCC\x88o\xCC\x88"
         "a\xCC\x88",
         "\xFC\xF6\xE4", ""},
        {"one composed beside one beyond", "e\xCC\x81s\xCC\xA7", "\xE9s?", "\"\xCC\xA7\""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(latin1Of(row.utf8), row.latin1);
        EXPECT_EQ(charactersBeyondLatin1(row.utf8), row.beyond);
    }
}

// A run over recordings named decomposed: the name that Latin-1 holds once composed is written
// whole and not counted among the names written with "?"; one beyond Latin-1 still is. A pilot
// name typed decomposed is not asked about.
TEST(Text, DecomposedNamesThroughARun) {
    namespace fs = std::filesystem;
    const fs::path dir = testing_support::freshTestDirectory("text-");
    const std::string names[] = {"Pe\xCC\x81gase DR.igc", "Zdene\xCC\x8Ck.igc"};
    const auto now = fs::file_time_type::clock::now();
    auto age = std::chrono::hours(10);
    for (const std::string& name : names) {
        testing_support::FlightBuilder flight(10 * 3600, 50.0, 10.0);
        flight.hold(30, 1).move(300, 1, 22, 0).hold(30, 1);
        flight.save(dir / name);
        fs::last_write_time(dir / name, now - (age -= std::chrono::hours(1)));
    }
    const RequestCheck check =
        checkRequest("Rene\xCC\x81", dir.string(), (dir / "logbook.dat").string());
    EXPECT_EQ(check.refusal, Refusal::None);
    EXPECT_EQ(check.beyond_latin1, "");
    EXPECT_EQ(check.pilot_latin1, "Ren\xE9");

    GenerationRequest request;
    request.igc_directory = dir.string();
    request.logbook_path = (dir / "logbook.dat").string();
    request.pilot_name = check.pilot_latin1;
    request.format_date = testing_support::germanDates();
    testing_support::RunRecorder recorder;
    recorder.quiet = true;
    testing_support::CaptureStream errors(std::cerr);
    const GenerationResult result = generateLogbook(request, recorder);
    ASSERT_EQ(result.failure.kind, FailureKind::None) << failureText(result);
    EXPECT_EQ(result.entries, 2);
    EXPECT_EQ(result.names_with_question_marks, 1);
    EXPECT_EQ(testing_support::bytesOf(dir / "logbook.dat"),
              "# Thermora Log Book. (Vantaline V1.0)\r\n"
              "# This file is autogenerated, do not edit!\r\n\r\n"
              "name = Ren\xE9\r\n"
              "05.01.2008;Unknown;Unknown;Local flight;00:04;00:00;-;-;P\xE9gase DR.igc\r\n"
              "05.01.2008;Unknown;Unknown;Local flight;00:04;00:00;-;-;Zdene?k.igc\r\n");
    fs::remove_all(dir);
}

} // namespace
} // namespace logbook
