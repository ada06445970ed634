// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line: engine choice, help, and what is left for Qt.
#include "app/ProgramOptions.h"

#include <gtest/gtest.h>

namespace {

TProgramOptions Parse(std::vector<const char*> args) {
    args.insert(args.begin(), "phonoscale");
    return ParseProgramOptions(static_cast<int>(args.size()), args.data());
}

} // namespace

TEST(ProgramOptions, EngineInBothFormsAndNoneByDefault) {
    EXPECT_FALSE(Parse({}).Engine.has_value());
    EXPECT_EQ(Parse({"--engine=jack"}).Engine, aeWDM);
    EXPECT_EQ(Parse({"--engine=alsa"}).Engine, aeMME);
    EXPECT_EQ(Parse({"--engine", "jack"}).Engine, aeWDM);
    EXPECT_EQ(Parse({"--engine=alsa", "--engine=jack"}).Engine, aeWDM); // the last one counts
    EXPECT_TRUE(Parse({}).Error.empty());
}

TEST(ProgramOptions, WrongOrMissingEngineIsAnError) {
    EXPECT_EQ(Parse({"--engine=mme"}).Error, "Unknown engine \"mme\": use alsa or jack");
    EXPECT_EQ(Parse({"--engine=JACK"}).Error, "Unknown engine \"JACK\": use alsa or jack");
    EXPECT_EQ(Parse({"--engine"}).Error, "--engine needs a value: alsa or jack");
    EXPECT_EQ(Parse({"--engine="}).Error, "Unknown engine \"\": use alsa or jack");
}

TEST(ProgramOptions, HelpAndQtsOwnArgumentsPassThroughInOrder) {
    EXPECT_TRUE(Parse({"--help"}).Help);
    EXPECT_TRUE(Parse({"-h"}).Help);
    const auto options = Parse({"-platform", "offscreen", "--engine=jack", "-style", "fusion"});
    EXPECT_EQ(options.Rest, (std::vector<int>{0, 1, 2, 4, 5}));
    const std::string usage = ProgramUsage();
    EXPECT_NE(usage.find("--engine=alsa"), std::string::npos);
    EXPECT_NE(usage.find("--engine=jack"), std::string::npos);
    EXPECT_NE(usage.find("PipeWire"), std::string::npos);
}
