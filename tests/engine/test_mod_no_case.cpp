#include "engine/mod_no_case.h"
#include "support/faulty_file_services.h"
#include "support/platform_file_services.h"
#include "support/recording_dialogs.h"
#include "support/temp_folder.h"

#include <filesystem>

#include <gtest/gtest.h>

using modNoCase::RemoveFile;
using testsupport::Op;

namespace {

struct ModNoCase : ::testing::Test {
    testsupport::TempFolder tmp;
    testsupport::PlatformFileServices real;
    testsupport::FaultyFileServices files{real};
    testsupport::RecordingDialogs dialogs;
    std::string folder = tmp.text();
};

} // namespace

TEST_F(ModNoCase, RemoveFileOnAMissingNameStillTriesAndSaysWhy)
{
    RemoveFile(files, dialogs, folder, "Orvalis.old");
    EXPECT_EQ(files.calls(Op::SetAttrNormal), 0);
    EXPECT_EQ(files.calls(Op::DeleteFile), 1);
    ASSERT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(dialogs.messages[0],
              "An Error occurred trying to delete the file.\r\nNumber: 53\r\nDescription: File not found");
}

TEST_F(ModNoCase, RemoveFileReportsAFailureOnceAndLeavesTheFile)
{
    testsupport::writeFile(tmp.path() / "Orvalis.old", "kept");
    for (const Op op : {Op::DirSearch, Op::SetAttrNormal, Op::DeleteFile}) {
        testsupport::FaultyFileServices faulty(real);
        testsupport::RecordingDialogs seen;
        faulty.failOn(op, 1, 70, "The file is in use");
        EXPECT_NO_THROW(RemoveFile(faulty, seen, folder, "Orvalis.old"));
        EXPECT_EQ(seen.messages, std::vector<std::string>{"An Error occurred trying to delete the file.\r\n"
                                                          "Number: 70\r\nDescription: The file is in use"})
            << testsupport::opName(op);
        EXPECT_EQ(testsupport::readFile(tmp.path() / "Orvalis.old"), "kept");
    }
}

TEST(ModNoCaseMessage, NegativeNumbersAreWrittenSigned)
{
    EXPECT_EQ(modNoCase::RemoveFailedMessage(-2147024891, "Access is denied."),
              "An Error occurred trying to delete the file.\r\nNumber: -2147024891\r\nDescription: Access is "
              "denied.");
}
