#include "transcode/convert_list_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/home_folder.h"
#include "support/test_support.h"
#include "transcode/conversion_queue.h"

namespace zorvex {
namespace {

ConvertListRecord record(const std::string& name, const std::string& path, int type) {
    ConvertListRecord r;
    r.item = {name, "104857600", "/thumbs/" + name + ".jpg", "100000", "1920", "1080", path, {}};
    r.type = type;
    return r;
}

TEST(ConvertListFile, SavedRecordsLoadBackUnchanged) {
    test::TempDir home;
    std::string file = home.file("ConvertList.xml");
    std::vector<ConvertListRecord> records{
        record("a.mp4", "/v/a.mp4", 3),
        record("引号 \"<&>' 视频.mp4", "/视频/\"<&>'.mp4", 3),
        record("", "", 0),
    };
    records[2].item.VideoTime = "  spaced  ";
    ASSERT_TRUE(SaveConvertList(file, records));
    ConvertListLoad load = LoadConvertList(file);
    ASSERT_EQ(load.status, StoredFileStatus::Ok);
    ASSERT_EQ(load.records.size(), records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const LISTITEM_ST& saved = records[i].item;
        const LISTITEM_ST& loaded = load.records[i].item;
        EXPECT_EQ(loaded.VideoName, saved.VideoName);
        EXPECT_EQ(loaded.VideoPath, saved.VideoPath);
        EXPECT_EQ(loaded.VideoSize, saved.VideoSize);
        EXPECT_EQ(loaded.VideoScreenPath, saved.VideoScreenPath);
        EXPECT_EQ(loaded.VideoTime, saved.VideoTime);
        EXPECT_EQ(loaded.VideoWidth, saved.VideoWidth);
        EXPECT_EQ(loaded.VideoHeight, saved.VideoHeight);
        EXPECT_EQ(load.records[i].type, records[i].type);
    }

    ASSERT_TRUE(SaveConvertList(file, {}));
    load = LoadConvertList(file);
    EXPECT_EQ(load.status, StoredFileStatus::Ok);
    EXPECT_TRUE(load.records.empty());
    EXPECT_EQ(test::readFile(file), "<ConvertList />\n");
}

TEST(ConvertListFile, MissingAndDamagedFilesAreToldApart) {
    test::TempDir home;
    std::string file = home.file("ConvertList.xml");
    EXPECT_EQ(LoadConvertList(file).status, StoredFileStatus::Missing);

    ASSERT_TRUE(SaveConvertList(file, {record("a.mp4", "/v/a.mp4", 3)}));
    std::string whole = test::readFile(file);
    for (std::string damaged : {whole.substr(0, whole.size() / 2), std::string(),
                                std::string("\x00\x01garbage", 9), std::string("plain text")}) {
        home.write("ConvertList.xml", damaged);
        ConvertListLoad load = LoadConvertList(file);
        EXPECT_EQ(load.status, StoredFileStatus::Damaged) << damaged;
        EXPECT_FALSE(load.problem.empty());
        EXPECT_TRUE(load.records.empty());
    }
    std::filesystem::resize_file(file, kMaxStoredFileBytes + 1);
    ConvertListLoad huge = LoadConvertList(file);
    EXPECT_EQ(huge.status, StoredFileStatus::Damaged);
    EXPECT_EQ(huge.problem, "larger than 16 MiB");
}

TEST(ConvertListFile, TheQueueKeepsADamagedFileAsideAndKeepsItsWholeItems) {
    test::TempDir home;
    SetModuleDir(home.path());  // the log line goes to this home
    TaskQueue executor;
    ConversionQueueContext context;
    context.executor = &executor;
    context.listFile = home.file("ConvertList.xml");
    context.videoConvertRatio = [] { return 1; };
    context.comSleepUnSleep = [] { return 0; };
    context.convertFolder = [&] { return home.path(); };
    context.ffmpeg = [] { return FfmpegTool{"ffmpeg", "aac"}; };
    home.write("ConvertList.xml", "<ConvertList><Item0 VideoName=");
    ConversionQueue queue(context);
    queue.LoadQueueFile();
    EXPECT_TRUE(queue.tasks().empty());

    std::string kept;
    for (auto& e : std::filesystem::directory_iterator(home.path())) {
        std::string name = e.path().filename().string();
        if (name.rfind("ConvertList.xml.damaged-", 0) == 0) kept = e.path().string();
    }
    ASSERT_FALSE(kept.empty());
    EXPECT_EQ(test::readFile(kept), "<ConvertList><Item0 VideoName=");
    ASSERT_TRUE(queue.SaveQueueFile());
    EXPECT_EQ(test::readFile(kept), "<ConvertList><Item0 VideoName=");  // never overwritten
    std::string log;
    for (auto& e : std::filesystem::directory_iterator(home.file("PTTLog")))
        log += test::readFile(e.path().string());
    EXPECT_NE(
        log.find("(ZorvexTranscode\\ConversionQueue):" + context.listFile + " cannot be read ("),
        std::string::npos)
        << log;
    EXPECT_NE(log.find("kept as " + kept), std::string::npos);

    // Torn inside its third item: the two whole ones come back as finished
    // conversions, saved at once; the torn file is kept aside as well.
    ASSERT_TRUE(SaveConvertList(context.listFile,
                                {record("0.mp4", "/c/0.mp4", 3), record("1.mp4", "/c/1.mp4", 3),
                                 record("2.mp4", "/c/2.mp4", 3)}));
    std::string whole = test::readFile(context.listFile);
    std::string torn = whole.substr(0, whole.find("/c/2.mp4") + 5);
    home.write("ConvertList.xml", torn);
    ConversionQueue again(context);
    again.LoadQueueFile();
    ASSERT_EQ(again.tasks().size(), 2u);
    EXPECT_EQ(again.tasks()[1].outputPath, "/c/1.mp4");
    EXPECT_EQ(again.tasks()[1].state, TASK_DONE);
    EXPECT_EQ(LoadConvertList(context.listFile).records.size(), 2u);
    int keptTorn = 0;
    for (auto& e : std::filesystem::directory_iterator(home.path()))
        keptTorn += e.is_regular_file() && test::readFile(e.path().string()) == torn;
    EXPECT_EQ(keptTorn, 1);
    SetModuleDir("");
}

}  // namespace
}  // namespace zorvex
