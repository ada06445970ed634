// SPDX-License-Identifier: GPL-3.0-or-later
// The atomic writer: readers see the old or the new file, never a part, whatever goes wrong.
#include "files/AtomicFile.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class AtomicFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ps-atomic-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
    }
    void TearDown() override { fs::remove_all(folder_); }

    std::string PathOf(const std::string& name) const { return folder_ + "/" + name; }
    static std::string ReadAll(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    // Names in the folder other than `keep`: temporary files that were left behind.
    std::vector<std::string> Others(const std::string& keep) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder_))
            if (entry.path().filename() != keep)
                names.push_back(entry.path().filename());
        return names;
    }

    std::string folder_;
};

TEST_F(AtomicFile, WritesNewFileAndReplacesOldOneLeavingNoTemporary) {
    const std::string path = PathOf("Phonoscale.ini");
    WriteFileAtomically(path, "first\r\n");
    EXPECT_EQ(ReadAll(path), "first\r\n");

    std::string big(3 << 20, 'x'); // several write() calls
    big[12345] = '\0';             // binary contents pass unchanged
    WriteFileAtomically(path, big);
    EXPECT_EQ(ReadAll(path), big);
    EXPECT_TRUE(Others("Phonoscale.ini").empty());

    WriteFileAtomically(path, "");
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST_F(AtomicFile, KeepsTheModeOfAnExistingFile) {
    const std::string path = PathOf("mem1.s1p");
    WriteFileAtomically(path, "a");
    ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
    WriteFileAtomically(path, "b");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(AtomicFile, FailureNamesTheFileAndTheReasonAndKeepsTheOldContents) {
    const std::string missing = PathOf("no-such-folder/Phonoscale.ini");
    try {
        WriteFileAtomically(missing, "x");
        FAIL() << "no error";
    } catch (const EFileWriteError& e) {
        EXPECT_EQ(e.Path(), missing);
        EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
    }

    // A folder in the way of the rename: the error comes after the temporary file was written,
    // which must then be gone again.
    const std::string blocked = PathOf("blocked");
    fs::create_directory(blocked);
    std::ofstream(blocked + "/keep") << "old";
    EXPECT_THROW(WriteFileAtomically(blocked, "new"), EFileWriteError);
    EXPECT_EQ(ReadAll(blocked + "/keep"), "old");
    EXPECT_TRUE(Others("blocked").empty());

    EXPECT_THROW(WriteFileAtomically("", "x"), EFileWriteError);
    EXPECT_THROW(WriteFileAtomically(folder_ + "/", "x"), EFileWriteError);
}

TEST_F(AtomicFile, ASymbolicLinkStaysALinkAndItsTargetGetsTheContents) {
    // The settings kept in another folder through a link, a relative link to a link, a link to
    // a file that does not exist yet.
    fs::create_directory(PathOf("real"));
    WriteFileAtomically(PathOf("real/settings.ini"), "old");
    fs::create_symlink(PathOf("real/settings.ini"), PathOf("Phonoscale.ini"));
    fs::create_symlink("Phonoscale.ini", PathOf("second.ini"));
    fs::create_symlink("real/new.ini", PathOf("dangling.ini"));
    const struct {
        const char* link;
        const char* target;
    } cases[] = {{"Phonoscale.ini", "real/settings.ini"},
                 {"second.ini", "real/settings.ini"},
                 {"dangling.ini", "real/new.ini"}};
    for (const auto& c : cases) {
        const std::string contents = std::string("written through ") + c.link;
        WriteFileAtomically(PathOf(c.link), contents);
        EXPECT_TRUE(fs::is_symlink(PathOf(c.link))) << c.link;
        EXPECT_EQ(ReadAll(PathOf(c.target)), contents) << c.link;
    }
    // No temporary file left anywhere, none of them beside the links.
    EXPECT_EQ(Others("real").size(), 3u);
    std::vector<std::string> inReal;
    for (const auto& entry : fs::directory_iterator(PathOf("real")))
        inReal.push_back(entry.path().filename());
    EXPECT_EQ(inReal.size(), 2u);

    // A loop of links is refused with the link's name and the system's reason.
    fs::create_symlink("loop-b", PathOf("loop-a"));
    fs::create_symlink("loop-a", PathOf("loop-b"));
    try {
        WriteFileAtomically(PathOf("loop-a"), "x");
        FAIL() << "no error";
    } catch (const EFileWriteError& e) {
        EXPECT_EQ(e.Path(), PathOf("loop-a"));
        EXPECT_NE(std::string(e.what()).find("Too many levels of symbolic links"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_TRUE(fs::is_symlink(PathOf("loop-a")));
}

TEST_F(AtomicFile, ProcessKilledBeforeTheRenameLeavesThePreviousFileIntact) {
    const std::string path = PathOf("Phonoscale.ini");
    WriteFileAtomically(path, "previous settings\r\n");

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        WriteFileAtomically(path, "new settings that never land\r\n",
                            [](const std::string&) { ::raise(SIGKILL); });
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGKILL);
    EXPECT_EQ(ReadAll(path), "previous settings\r\n");

    // A later write still works beside the stale temporary file.
    WriteFileAtomically(path, "later\r\n");
    EXPECT_EQ(ReadAll(path), "later\r\n");
}

TEST_F(AtomicFile, ExceptionFromTheHookCancelsTheWrite) {
    const std::string path = PathOf("trace.txt");
    WriteFileAtomically(path, "old");
    EXPECT_THROW(WriteFileAtomically(path, "new",
                                     [](const std::string&) { throw std::runtime_error("stop"); }),
                 std::runtime_error);
    EXPECT_EQ(ReadAll(path), "old");
    EXPECT_TRUE(Others("trace.txt").empty());
}

} // namespace
