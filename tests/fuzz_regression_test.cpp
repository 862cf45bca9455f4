/* SPDX-License-Identifier: MIT */
/* Regression cases for what the fuzz targets in fuzz/ found. Each case names
 * the corpus file under fuzz/corpus/ that replays it in its fuzz target. */
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>

#include "installer.h"
#include "support/installer_texts.h"

namespace
{

/* A temporary stream holding bytes, positioned at its start. */
FILE *stream_holding(const std::string &bytes)
{
    FILE *stream = tmpfile();
    if (stream != nullptr) {
        fwrite(bytes.data(), 1, bytes.size(), stream);
        rewind(stream);
    }
    return stream;
}

/* Everything in stream from its start. */
std::string contents_of(FILE *stream)
{
    std::string text;
    rewind(stream);
    int c;
    while ((c = fgetc(stream)) != EOF) {
        text += (char)c;
    }
    return text;
}

} // namespace

/* fuzz/corpus/installer_fuzzer/nul_in_answer.bin: the answer line "y", NUL,
 * "x" ends at its line feed like any other; the next line used to be read
 * and dropped as well, because the line feed was looked for only up to the
 * NUL byte. */
TEST(FuzzRegression, AnswerHoldingNulByteLeavesTheNextLineUnread)
{
    FILE *in = stream_holding(std::string("y\0x\nsecond\n", 11));
    FILE *out = tmpfile();
    FILE *err = tmpfile();
    ASSERT_NE(nullptr, in);
    ASSERT_NE(nullptr, out);
    ASSERT_NE(nullptr, err);
    InstallerSettings settings = {0, "root", 1};

    EXPECT_EQ(0, installer_ask_startup(&settings, in, out, err));

    EXPECT_EQ(4, ftell(in));
    char next[16] = {0};
    EXPECT_NE(nullptr, fgets(next, sizeof next, in));
    EXPECT_STREQ("second\n", next);
    EXPECT_EQ(0, settings.full_startup) << "the answer reads as \"y\" up to its NUL byte";
    EXPECT_EQ(kQuestion, contents_of(out));
    EXPECT_EQ("", contents_of(err));
    fclose(in);
    fclose(out);
    fclose(err);
}
