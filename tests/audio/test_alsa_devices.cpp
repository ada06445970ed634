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
    std::ofstream(conf) << "pcm.testsine { type null hint { show on description \"Test sine 1 kHz\" } }\n"
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
