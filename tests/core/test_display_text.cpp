// SPDX-License-Identifier: GPL-3.0-or-later
// Line breaks of texts shown in message boxes and labels.
#include "core/DisplayText.h"

#include <gtest/gtest.h>

TEST(DisplayLineBreaks, EveryFormOfBreakBecomesOneLineFeed) {
    EXPECT_EQ(DisplayLineBreaks("No sound card found!\rClosing Phonoscale."),
              "No sound card found!\nClosing Phonoscale.");
    EXPECT_EQ(DisplayLineBreaks("one\r\ntwo\r\n"), "one\ntwo\n");
    EXPECT_EQ(DisplayLineBreaks("File a.s1p exists.\n\rOk to overwrite?"),
              "File a.s1p exists.\nOk to overwrite?");
    EXPECT_EQ(DisplayLineBreaks("a\nb"), "a\nb");
}

TEST(DisplayLineBreaks, EmptyLinesAndOtherCharactersAreKept) {
    EXPECT_EQ(DisplayLineBreaks("a\r\rb"), "a\n\nb");
    EXPECT_EQ(DisplayLineBreaks("a\r\n\r\nb"), "a\n\nb");
    EXPECT_EQ(DisplayLineBreaks("\r"), "\n");
    EXPECT_EQ(DisplayLineBreaks(""), "");
    EXPECT_EQ(DisplayLineBreaks("100 \xC2\xB5V\t-3 dB"), "100 \xC2\xB5V\t-3 dB");
}
