#include "service/link_file.h"

#include <gtest/gtest.h>

#include <random>

#include "service/link_frame.h"

namespace zorvex {
namespace {

const std::string kKey = "0123456789abcdef0123456789abcdef";

LinkFileRecord sample() {
    return {2, true, false, "视频.mp4", kKey, "/home/u/视频.mp4"};
}

TEST(LinkFile, LayoutAndRoundTrip) {
    LinkFileRecord record = sample();
    std::string bytes = encodeLinkFile(record);
    std::size_t n = record.name.size(), p = record.path.size();
    ASSERT_EQ(bytes.size(), 13 + n + 32 + p);
    EXPECT_EQ(bytes.substr(0, 7), std::string("qbvr\x02\x01\x00", 7));
    EXPECT_EQ(static_cast<unsigned char>(bytes[7]), n);
    EXPECT_EQ(bytes.substr(9, n), record.name);
    EXPECT_EQ(bytes.substr(9 + n, 2), std::string("\x20\x00", 2));
    EXPECT_EQ(bytes.substr(13 + n + 32), record.path);

    auto parsed = parseLinkFile(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->type, 2);
    EXPECT_TRUE(parsed->exists);
    EXPECT_FALSE(parsed->hasThumbnail);
    EXPECT_EQ(parsed->name, record.name);
    EXPECT_EQ(parsed->key, kKey);
    EXPECT_EQ(parsed->path, record.path);
}

TEST(LinkFile, EveryTruncationIsRefused) {
    std::string bytes = encodeLinkFile(sample());
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        EXPECT_FALSE(parseLinkFile(bytes.substr(0, cut))) << cut;
    }
}

TEST(LinkFile, InconsistentContentIsRefused) {
    auto variant = [](auto change) {
        LinkFileRecord record = sample();
        change(record);
        return parseLinkFile(encodeLinkFile(record)).has_value();
    };
    // The whole file name is stored, however long (a path bounds it).
    EXPECT_TRUE(variant([](LinkFileRecord& r) { r.name = std::string(255, 'n'); }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.name = std::string(1024, 'n'); }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.name.clear(); }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.key = "0123456789ABCDEF0123456789ABCDEF"; }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.key.pop_back(); }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.type = 3; }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.type = 0; }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.path.clear(); }));
    EXPECT_FALSE(variant([](LinkFileRecord& r) { r.path = std::string(1024, 'p'); }));

    std::string noMagic = encodeLinkFile(sample());
    noMagic[3] = 'x';
    EXPECT_FALSE(parseLinkFile(noMagic));
    // A name length that claims the whole rest of the file and more.
    std::string overlong = encodeLinkFile(sample());
    overlong[7] = static_cast<char>(0xFF);
    overlong[8] = static_cast<char>(0xFF);
    EXPECT_FALSE(parseLinkFile(overlong));
}

TEST(LinkFile, OnlyTheFirst4096BytesCount) {
    LinkFileRecord record = sample();
    record.path = "/" + std::string(1000, 'p');
    std::string bytes = encodeLinkFile(record) + std::string(5000, 'x');
    EXPECT_TRUE(parseLinkFile(bytes));  // trailing bytes beyond the layout are ignored
}

// Random bytes and random mutations of real link files and frames must never
// read out of bounds; under AddressSanitizer this is a small fuzzer that
// always runs.
TEST(LinkFile, SeededRandomInputsNeverCrashTheParsers) {
    std::mt19937 random(20261209);
    std::string seed = encodeLinkFile(sample());
    std::string frames = wire::encodeListResponse(
        wire::CMD_LIST_SOURCE, 1,
        std::string("\x01\x00\x00\x00", 4) + wire::encodeWireEntry({true, true, "a", kKey}));
    int accepted = 0;
    for (int round = 0; round < 100000; ++round) {
        std::string input = (round % 2 ? seed : frames);
        int edits = 1 + static_cast<int>(random() % 4);
        for (int e = 0; e < edits; ++e) {
            std::size_t at = random() % (input.size() + 1);
            switch (random() % 3) {
                case 0:
                    if (at < input.size()) input[at] = static_cast<char>(random());
                    break;
                case 1:
                    input.resize(at);
                    break;
                default:
                    input.insert(at, 1, static_cast<char>(random()));
                    break;
            }
        }
        accepted += parseLinkFile(input).has_value();
        wire::parseRequest(input);
        auto decoded = wire::decodeListResponse(input);
        if (decoded.status == wire::Decoded::Status::Ok) {
            EXPECT_LE(decoded.used, input.size());
            wire::decodeListBody(decoded.response.body);
        }
        wire::parseDiscoveryPacket(input);
    }
    EXPECT_GT(accepted, 0);  // the mutations did not only produce garbage
}

}  // namespace
}  // namespace zorvex
