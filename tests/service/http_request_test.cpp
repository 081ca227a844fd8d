#include "service/http_request.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zorvex::http {
namespace {

using Kind = RangeRequest::Kind;

using Spans = std::vector<std::pair<std::int64_t, std::int64_t>>;

Spans spans(const RangeRequest& request) {
    Spans out;
    for (const ByteRange& range : request.ranges) out.emplace_back(range.first, range.last);
    return out;
}

TEST(ParseRange, TheThreeFormsAreCutToTheFile) {
    EXPECT_EQ(spans(parseRange("bytes=100-199", 5000)), (Spans{{100, 199}}));
    EXPECT_EQ(spans(parseRange("bytes=4990-9999", 5000)), (Spans{{4990, 4999}}));
    EXPECT_EQ(spans(parseRange("bytes=4000-", 5000)), (Spans{{4000, 4999}}));
    EXPECT_EQ(spans(parseRange("bytes=-100", 5000)), (Spans{{4900, 4999}}));
    EXPECT_EQ(spans(parseRange("bytes=-9000", 5000)), (Spans{{0, 4999}}));
    EXPECT_EQ(spans(parseRange("Bytes=0-0", 1)), (Spans{{0, 0}}));
    // Positions beyond any integer saturate instead of wrapping.
    EXPECT_EQ(spans(parseRange("bytes=0-99999999999999999999999", 10)), (Spans{{0, 9}}));
    EXPECT_EQ(parseRange("bytes=0-99999999999999999999999", 10).kind, Kind::Satisfiable);
}

TEST(ParseRange, InvalidFormsAreIgnoredWhole) {
    for (const char* header :
         {"",           "bytes",          "bytes=",    "bytes=,",   "bytes= , ",   "bytes=+1-+2",
          "bytes=-1-2", "bytes=5-2",      "bytes=1",   "bytes=a-b", "bytes=0x1-2", "bytes=1-2-3",
          "bytes=-",    "bytes=0-1,junk", "items=0-1", "bytes 0-1", "bytes =0-1",  "bytes=0-1;a",
          "bytes=1 -2", "bytes=- 5"}) {
        EXPECT_EQ(parseRange(header, 5000).kind, Kind::None) << header;
    }
}

TEST(ParseRange, ListsAllowSpacesAndEmptyElements) {
    RangeRequest request = parseRange("bytes= 0-9 ,\t20-29,, -5", 5000);
    EXPECT_EQ(request.kind, Kind::Satisfiable);
    EXPECT_EQ(spans(request), (Spans{{0, 9}, {20, 29}, {4995, 4999}}));
}

TEST(ParseRange, SatisfiableOnlyWhenSomeRangeMeetsTheFile) {
    EXPECT_EQ(parseRange("bytes=5000-5100", 5000).kind, Kind::Unsatisfiable);
    EXPECT_EQ(parseRange("bytes=-0", 5000).kind, Kind::Unsatisfiable);
    EXPECT_EQ(parseRange("bytes=0-", 0).kind, Kind::Unsatisfiable);
    EXPECT_EQ(parseRange("bytes=-10", 0).kind, Kind::Unsatisfiable);
    // Those that cannot be met are dropped beside those that can.
    RangeRequest mixed = parseRange("bytes=9000-,10-19,-0", 5000);
    EXPECT_EQ(mixed.kind, Kind::Satisfiable);
    EXPECT_EQ(spans(mixed), (Spans{{10, 19}}));
}

TEST(ParseRange, AbusiveListsAreIgnored) {
    // Overlaps asking for more bytes than the file holds, as nginx treats them.
    EXPECT_EQ(parseRange("bytes=0-,0-", 5000).kind, Kind::None);
    EXPECT_EQ(parseRange("bytes=0-2499,2500-", 5000).kind, Kind::Satisfiable);
    std::string many = "bytes=0-0";
    for (std::size_t i = 1; i < kMaxRanges; ++i)
        many += "," + std::to_string(i) + "-" + std::to_string(i);
    EXPECT_EQ(parseRange(many, 5000).ranges.size(), kMaxRanges);
    EXPECT_EQ(parseRange(many + ",999-999", 5000).kind, Kind::None);
}

TEST(ParseRequestPath, DecodesAndSplitsIntoSegments) {
    auto path = parseRequestPath("/image/%E7%89%87%20a.jpg");
    ASSERT_TRUE(path);
    EXPECT_EQ(path->segments, (std::vector<std::string>{"image", "片 a.jpg"}));
    EXPECT_FALSE(path->trailingSlash);
    EXPECT_EQ(path->relative(), "image/片 a.jpg");
    auto folder = parseRequestPath("//image//");
    ASSERT_TRUE(folder);
    EXPECT_EQ(folder->segments, (std::vector<std::string>{"image"}));
    EXPECT_TRUE(folder->trailingSlash);
    auto root = parseRequestPath("/");
    ASSERT_TRUE(root);
    EXPECT_TRUE(root->segments.empty());
    EXPECT_EQ(root->relative(), "");
}

TEST(ParseRequestPath, RefusesWhatCouldLeaveTheRootOrIsHidden) {
    for (const char* raw : {"",
                            "*",
                            "image/a.jpg",
                            "http://h/a",
                            "/..",
                            "/../config.ini",
                            "/image/../../x",
                            "/%2e%2e/config.ini",
                            "/..%2fconfig.ini",
                            "/a%2f..%2f..%2fx",
                            "/.",
                            "/./key",
                            "/.hidden",
                            "/image/.a.tmp-123456",
                            "/%2Ekey.tmp-AbCdEf",
                            "/a%00b",
                            "/a\\..\\b",
                            "/a%5c..",
                            "/a%",
                            "/a%2",
                            "/a%zz",
                            "/a%2g"}) {
        EXPECT_FALSE(parseRequestPath(raw)) << raw;
    }
    // Dots inside or at the end of a name are ordinary.
    EXPECT_TRUE(parseRequestPath("/image/a..b.jpg."));
}

TEST(ContentTypes, ByExtensionInAnyCaseElsePlainText) {
    EXPECT_EQ(contentTypeFor("/v/片.mp4"), "video/mp4");
    EXPECT_EQ(contentTypeFor("A.JPG"), "image/jpeg");
    EXPECT_EQ(contentTypeFor("x.mov"), "video/quicktime");
    EXPECT_EQ(contentTypeFor("x.mkv"), "video/x-matroska");
    EXPECT_EQ(contentTypeFor(std::string(32, 'a')), "text/plain");
    EXPECT_EQ(contentTypeFor("/a.b/c"), "text/plain");
    EXPECT_EQ(contentTypeFor("x.unknown"), "text/plain");
}

TEST(Validators, TagsAndDatesReadBackAsTheyAreWritten) {
    EXPECT_EQ(entityTag(0x5f5e100, 5000), "\"5f5e100.5000\"");
    std::string tag = entityTag(1700000000, 42);
    EXPECT_TRUE(entityTagMatches(tag, tag));
    EXPECT_TRUE(entityTagMatches("\"x\", W/" + tag, tag));
    EXPECT_TRUE(entityTagMatches("*", tag));
    EXPECT_FALSE(entityTagMatches("\"other\"", tag));
    EXPECT_FALSE(entityTagMatches("", tag));

    EXPECT_EQ(httpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(parseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(parseHttpDate(httpDate(1700000000)), 1700000000);
    for (const char* bad : {"", "Sun, 06 Nov 1994 08:49:37", "Sun, 06 Abc 1994 08:49:37 GMT",
                            "Sun, 32 Nov 1994 08:49:37 GMT", "Sun, 31 Feb 1994 08:49:37 GMT",
                            "Sunday, 06-Nov-94 08:49:37 GMT"}) {
        EXPECT_FALSE(parseHttpDate(bad)) << bad;
    }
}

TEST(ListingText, NamesAreEscapedForUrlsAndHtml) {
    EXPECT_EQ(percentEncodeSegment("a b/片?.jpg"), "a%20b%2F%E7%89%87%3F.jpg");
    EXPECT_EQ(htmlEscape("<a href=\"x\">&'"), "&lt;a href=&quot;x&quot;&gt;&amp;&#39;");
}

}  // namespace
}  // namespace zorvex::http
