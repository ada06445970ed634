// SPDX-License-Identifier: GPL-3.0-or-later
// The ALSA device list, read from a configuration this test writes.
#include "audio/PcmDeviceList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

TEST(AlsaDeviceLister, ListsConfiguredDevicesByDescriptionAndLeavesOutNull) {
    const auto dir = std::filesystem::temp_directory_path() / "phonoscale_alsa_list";
    std::filesystem::create_directories(dir);
    const auto conf = dir / "test.conf";
    std::ofstream(conf)
        << "pcm.testsine { type null hint { show on description \"Test sine 1 kHz\" } }\n"
           "pcm.testout { type null hint { show on description \"Test output\nsecond line\" "
           "} }\n";
    // The system configuration first, then ours, as the program would see it on a real desktop.
    const std::string path = "/usr/share/alsa/alsa.conf:" + conf.string();
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    const auto devices = TAlsaDeviceLister().List();
    unsetenv("ALSA_CONFIG_PATH");

    bool sine = false, out = false;
    for (const auto& d : devices) {
        for (const char* plugin : {"null", "samplerate", "speexrate", "upmix", "vdownmix"})
            EXPECT_NE(d.Name, plugin);
        if (d.Name == "testsine") {
            sine = true;
            EXPECT_EQ(d.Description, "Test sine 1 kHz");
            EXPECT_TRUE(d.Capture && d.Playback);
        }
        if (d.Name == "testout") {
            out = true;
            EXPECT_EQ(d.Description, "Test output"); // first line only
        }
    }
    EXPECT_TRUE(sine && out);
}

// Hint entries as a machine with two identical USB codecs lists them: equal first lines, and
// for two of them equal second lines too.
TEST(AlsaDeviceLister, EqualEntriesAreToldApartAndForeignPluginsLeftOut) {
    const auto dir = std::filesystem::temp_directory_path() / "phonoscale_alsa_same";
    std::filesystem::create_directories(dir);
    const auto conf = dir / "test.conf";
    std::ofstream(conf)
        << "pcm.ps_hw1 { type null hint { show on description \"USB Audio CODEC, USB Audio\n"
           "Direct hardware device without any conversions\" } }\n"
           "pcm.ps_plughw1 { type null hint { show on description \"USB Audio CODEC, USB Audio\n"
           "Hardware device with all software conversions\" } }\n"
           "pcm.ps_front1 { type null hint { show on description \"USB Audio CODEC, USB Audio\n"
           "Front output / input\" } }\n"
           "pcm.ps_front2 { type null hint { show on description \"USB Audio CODEC, USB Audio\n"
           "Front output / input\" } }\n"
           "pcm.ps_alone { type null hint { show on description \"Line In\nAnalog\" } }\n";
    const std::string path = "/usr/share/alsa/alsa.conf:" + conf.string();
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    const auto all = TAlsaDeviceLister().List();
    unsetenv("ALSA_CONFIG_PATH");

    std::vector<TPcmDevice> ours;
    for (const auto& d : all) {
        // The system configuration lists these plugins; none streams through this engine here.
        for (const char* plugin : {"jack", "oss", "usbstream"})
            EXPECT_NE(d.Name, plugin);
        if (d.Name.rfind("ps_", 0) == 0)
            ours.push_back(d);
    }
    ASSERT_EQ(ours.size(), 5u);
    EXPECT_EQ(ours[0].Detail, "Direct hardware device without any conversions");
    EXPECT_EQ(FormatDeviceNames(ours, true),
              (std::vector<std::string>{
                  "01  USB Audio CODEC, USB Audio (Direct hardware device without any conversions)",
                  "02  USB Audio CODEC, USB Audio (Hardware device with all software conversions)",
                  "03  USB Audio CODEC, USB Audio (Front output / input) [ps_front1]",
                  "04  USB Audio CODEC, USB Audio (Front output / input) [ps_front2]",
                  "05  Line In", // told apart already: left as it was
              }));
    // Entries are told apart within one direction's list only.
    std::vector<TPcmDevice> split{{"a", "Codec", true, false, "Input"},
                                  {"b", "Codec", false, true, "Output"}};
    EXPECT_EQ(FormatDeviceNames(split, true), std::vector<std::string>{"01  Codec"});
    EXPECT_EQ(FormatDeviceNames(split, false), std::vector<std::string>{"01  Codec"});
}
