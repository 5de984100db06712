#include "platform/free_format.h"
#include "storage/session_header.h"

#include <gtest/gtest.h>

#include <string>

using namespace sylvane::storage;

TEST(SessionHeader, WritesFiveQuotedLines) {
    const struct {
        std::int32_t minADC, maxADC;
        std::string comments;
        std::string bytes;
    } rows[] = {
        {1499, 1502, " ", "\"MinADC\"\r\n\" 1499\"\r\n\"MaxADC\"\r\n\" 1502\"\r\n\" \"\r\n"},
        {4095, 0, "Left hand, after a walk.",
         "\"MinADC\"\r\n\" 4095\"\r\n\"MaxADC\"\r\n\" 0\"\r\n\"Left hand, after a walk.\"\r\n"},
        {-5, 12, "back\\slash",
         "\"MinADC\"\r\n\"-5\"\r\n\"MaxADC\"\r\n\" 12\"\r\n\"back\\slash\"\r\n"},
        {1, 2, "He said \"relax\"\r\nthen left",
         "\"MinADC\"\r\n\" 1\"\r\n\"MaxADC\"\r\n\" 2\"\r\n"
         "\"\\=He said \\qrelax\\q\\r\\nthen left\"\r\n"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(headerBytes(sessionHeader(r.minADC, r.maxADC, r.comments)), r.bytes)
            << r.comments;
    }
}

TEST(SessionHeader, CommentsRoundTripAndStillReadAsFiveItems) {
    const std::string comments[] = {
        " ",
        "plain text, with a comma",
        "say \"hi\"",
        "\"",
        "two\r\nlines",
        "unix\nline",
        "lone\rreturn",
        "trailing line break\r\n",
        "\\= looks like the marker",
        "\\=",
        "ends in a backslash\\",
        "back\\slash with \"quote\"",
        "tab\tand UTF-8 \xc3\xa9",
        "",
    };
    for (const auto& c : comments) {
        const std::string bytes = headerBytes(sessionHeader(1200, 1300, c));
        const SessionHeader h = readSessionHeader(bytes);
        EXPECT_TRUE(h.complete()) << c;
        EXPECT_EQ(h.comments, c);
        EXPECT_EQ(h.minLabel, "MinADC");
        EXPECT_EQ(h.minText, " 1200");
        EXPECT_EQ(h.maxLabel, "MaxADC");
        EXPECT_EQ(h.maxText, " 1300");
        EXPECT_EQ(h.minADC(), 1200);
        EXPECT_EQ(h.maxADC(), 1300);
        // Any reader of quoted items finds exactly five, the stored comment among them.
        sylvane::platform::FreeFormatReader reader(bytes);
        int items = 0;
        while (reader.nextField()) ++items;
        EXPECT_EQ(items, 5) << c;
        EXPECT_EQ(storedComment(c).find_first_of("\"\r\n"), std::string::npos) << c;
    }
}

TEST(SessionHeader, ReadsWhatItIsGiven) {
    const struct {
        const char* name;
        std::string bytes;
        int items;
        std::int32_t minADC, maxADC;
        std::string comments;
    } rows[] = {
        {"empty (a session ended by closing the program)", "", 0, 0, 0, ""},
        {"items separated by commas", "\"MinADC\",\" 900\",\"MaxADC\",\" 1000\",\"hello\"\r\n", 5,
         900, 1000, "hello"},
        {"four items", "\"MinADC\"\r\n\" 900\"\r\n\"MaxADC\"\r\n\" 1000\"\r\n", 4, 900, 1000, ""},
        {"numbers without quotes", "MinADC\r\n900\r\nMaxADC\r\n1000\r\n\" \"\r\n", 5, 900, 1000,
         " "},
        {"an unknown escape is kept", "\"a\"\r\n\"1\"\r\n\"b\"\r\n\"2\"\r\n\"\\=x\\yz\\\"\r\n", 5,
         1, 2, "x\\yz\\"},
    };
    for (const auto& r : rows) {
        const SessionHeader h = readSessionHeader(r.bytes);
        EXPECT_EQ(h.itemCount, r.items) << r.name;
        EXPECT_EQ(h.minADC(), r.minADC) << r.name;
        EXPECT_EQ(h.maxADC(), r.maxADC) << r.name;
        EXPECT_EQ(h.comments, r.comments) << r.name;
    }
}
