#include "platform/error.h"
#include "platform/files.h"
#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace quorva {
namespace {

// The program's own files are made new, renamed and removed in the folder checked at first use,
// never through a path looked up again, and never through a name that another file also bears.
TEST(SystemFilesTest, OwnFilesAreReachedOnlyInTheirCheckedFolderAndUnderTheirOwnName) {
    const testing::TempDir temp;
    const SystemFiles files;
    const std::string folder = temp.file("outbox");
    files.createFolders(folder);
    const std::string part = folder + "\\a.part";
    files.writeFile(part, "abc");
    files.writeFile(part, "x"); // made new again
    files.appendFile(part, "y");
    files.replaceFile(part, folder + "\\a");
    EXPECT_EQ(files.readShared(folder + "\\a"), "xy");
    EXPECT_EQ(files.sizeBySearch(part), -1);
    files.removeFile(folder + "\\a");
    EXPECT_NO_THROW(files.removeFile(folder + "\\a"));
    EXPECT_EQ(files.sizeBySearch(folder + "\\a"), -1);

    // A name given in the folder to a file of someone else's: nothing goes through it.
    const std::string theirs = temp.write("theirs.txt", "à eux");
    const std::string link = folder + "\\log.txt";
    ASSERT_TRUE(CreateHardLinkA(link.c_str(), theirs.c_str(), nullptr));
    EXPECT_THROW(files.appendFile(link, "x"), Error);
    EXPECT_THROW(files.writeFile(link, "x"), Error);
    EXPECT_THROW(files.replaceFile(link, folder + "\\copy"), Error);
    EXPECT_THROW(files.removeFile(link), Error);
    EXPECT_EQ(files.readShared(theirs), "à eux");
    EXPECT_EQ(files.sizeBySearch(folder + "\\copy"), -1);

    // The folder moved away and another put at its path: the files still go to the one checked.
    // (Wine cannot rename inside a folder moved after it was opened; the rename is not tried.)
    const std::string moved = temp.file("moved");
    ASSERT_TRUE(MoveFileA(folder.c_str(), moved.c_str()));
    files.createFolders(folder);
    files.writeFile(folder + "\\b", "b");
    files.appendFile(folder + "\\b", "c");
    EXPECT_EQ(files.readShared(moved + "\\b"), "bc");
    EXPECT_EQ(files.sizeBySearch(folder + "\\b"), -1);
}

} // namespace
} // namespace quorva
