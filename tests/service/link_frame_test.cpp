#include "service/link_frame.h"

#include <gtest/gtest.h>

namespace zorvex::wire {
namespace {

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

TEST(LinkRequest, ListRequestsCarryTypeAndStamp) {
    auto request =
        parseRequest(bytes({0x71, 0x62, 0x76, 0x72, 1, 0x00, 0x01, 0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(request.kind, Request::Kind::List);
    EXPECT_EQ(request.listType, 1);
    EXPECT_EQ(request.stamp, 0x12345678u);
    EXPECT_EQ(parseRequest(encodeRequest(CMD_LIST_CONVERTED, 7)).listType, 2);
    // A trailer or anything else after offset 10 is ignored.
    EXPECT_EQ(parseRequest(encodeRequest(CMD_LIST_SOURCE, 9) + "rvbqjunk").stamp, 9u);
}

TEST(LinkRequest, ShortFramesReadMissingBytesAsZero) {
    // The first 7 bytes of a split frame: a request with stamp 0.
    auto head = parseRequest(encodeRequest(CMD_LIST_SOURCE, 0xAABBCCDD).substr(0, 7));
    EXPECT_EQ(head.kind, Request::Kind::List);
    EXPECT_EQ(head.stamp, 0u);
    // Its last 4 bytes alone, or nothing useful at all: rejected.
    EXPECT_EQ(parseRequest(encodeRequest(CMD_LIST_SOURCE, 1).substr(7)).kind,
              Request::Kind::Reject);
    EXPECT_EQ(parseRequest("").kind, Request::Kind::Reject);
    EXPECT_EQ(parseRequest("qbvr").kind, Request::Kind::Reject);
}

TEST(LinkRequest, ForeignFramesAreRejected) {
    std::string good = encodeRequest(CMD_LIST_SOURCE, 0);
    std::string version2 = good;
    version2[4] = 2;
    std::string badMagic = good;
    badMagic[0] = 'Q';
    for (const std::string& frame : {version2, badMagic, encodeRequest(258, 0),
                                     encodeRequest(0x0105, 0), encodeRequest(CMD_REJECT, 0)}) {
        EXPECT_EQ(parseRequest(frame).kind, Request::Kind::Reject);
    }
    EXPECT_EQ(rejectionReply(), bytes({0x71, 0x62, 0x76, 0x72, 0x01, 0xFF, 0xFF, 0, 0, 0}));
}

TEST(ListResponse, LayoutWithAndWithoutBody) {
    std::string emptyBody = bytes({0, 0, 0, 0});
    EXPECT_EQ(encodeListResponse(CMD_LIST_SOURCE, 0x04030201, emptyBody),
              bytes({0x71, 0x62, 0x76, 0x72, 1, 0x00, 0x01, 1, 2, 3, 4, 0, 0, 0, 0, 0x72, 0x76,
                     0x62, 0x71}));
    EXPECT_EQ(encodeListResponse(CMD_LIST_CONVERTED, 5, "").size(), kResponseOverhead);
}

TEST(ListResponse, DecoderWaitsForWholeFramesAndReportsWhatItUsed) {
    std::string body =
        bytes({1, 0, 0, 0}) + encodeWireEntry({true, false, "a.mp4", std::string(32, 'a')});
    std::string stream = encodeListResponse(CMD_LIST_SOURCE, 42, body) +
                         encodeListResponse(CMD_LIST_CONVERTED, 42, "") + rejectionReply();
    std::size_t first = kResponseOverhead + body.size();
    for (std::size_t cut = 0; cut < first; ++cut) {
        EXPECT_EQ(decodeListResponse(stream.substr(0, cut)).status, Decoded::Status::Incomplete)
            << cut;
    }
    auto one = decodeListResponse(stream);
    ASSERT_EQ(one.status, Decoded::Status::Ok);
    EXPECT_EQ(one.used, first);
    EXPECT_TRUE(one.response.hasBody);
    auto entries = decodeListBody(one.response.body);
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 1u);
    EXPECT_EQ((*entries)[0].name, "a.mp4");

    auto two = decodeListResponse(std::string_view(stream).substr(first));
    ASSERT_EQ(two.status, Decoded::Status::Ok);
    EXPECT_FALSE(two.response.hasBody);
    EXPECT_EQ(two.response.command, CMD_LIST_CONVERTED);
    EXPECT_EQ(decodeListResponse(std::string_view(stream).substr(first + two.used)).status,
              Decoded::Status::Rejected);
    EXPECT_EQ(decodeListResponse("HTTP/1.1 200").status, Decoded::Status::Bad);
}

TEST(ListBody, MalformedBodiesAreRefused) {
    std::string entry = encodeWireEntry({true, true, "x", std::string(32, 'b')});
    EXPECT_TRUE(decodeListBody(bytes({1, 0, 0, 0}) + entry));
    EXPECT_FALSE(decodeListBody(bytes({2, 0, 0, 0}) + entry));        // count too high
    EXPECT_FALSE(decodeListBody(bytes({1, 0, 0, 0}) + entry + "z"));  // bytes left over
    EXPECT_FALSE(decodeListBody(bytes({1, 0, 0})));
    EXPECT_EQ(decodeListBody(bytes({0, 0, 0, 0}))->size(), 0u);
}

TEST(DiscoveryPacket, LayoutForAnAddress) {
    std::string packet = buildDiscoveryPacket("192.168.1.23");
    ASSERT_EQ(packet.size(), kDiscoveryPacketSize);
    EXPECT_EQ(packet.substr(0, 5), bytes({0x71, 0x62, 0x76, 0x72, 1}));
    EXPECT_EQ(packet.substr(5, 12), "192.168.1.23");
    EXPECT_EQ(packet.substr(17, 52), std::string(52, '\0'));
    EXPECT_EQ(packet.substr(69), bytes({0xC5, 0x2D, 0, 0, 0xC6, 0x2D, 0, 0}));
    auto parsed = parseDiscoveryPacket(packet);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->address, "192.168.1.23");
    EXPECT_EQ(parsed->httpPort, 11717u);
    EXPECT_EQ(parsed->linkPort, 11718u);
    EXPECT_FALSE(parseDiscoveryPacket(packet.substr(0, 76)));
}

TEST(DiscoveryPacket, BroadcastGoesToDot255WhateverTheNetmask) {
    EXPECT_EQ(broadcastAddressFor("192.168.1.23"), "192.168.1.255");
    EXPECT_EQ(broadcastAddressFor("10.0.0.5"), "10.0.0.255");
    EXPECT_EQ(broadcastAddressFor("127.0.0.1"), "127.0.0.255");
    EXPECT_EQ(broadcastAddressFor("localhost"), "");
    EXPECT_EQ(broadcastAddressFor("1.2.3"), "");
    unsigned parts[4];
    EXPECT_TRUE(readDottedQuad("1.2.3.4 and more", parts));
    EXPECT_EQ(parts[3], 4u);
}

TEST(HexDump, RowsOfSixteenWithABlankEveryFour) {
    std::string data;
    for (int i = 0; i < 18; ++i) data += static_cast<char>(i);
    EXPECT_EQ(hexDump("L", data),
              "L:\n00 01 02 03  04 05 06 07  08 09 0A 0B  0C 0D 0E 0F  \n10 11 \n");
}

}  // namespace
}  // namespace zorvex::wire
