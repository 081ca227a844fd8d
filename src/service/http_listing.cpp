#include "service/http_listing.h"

#include <cstdio>
#include <ctime>

#include "service/http_request.h"

namespace zorvex::http {

namespace {

std::string listedDate(std::time_t when) {
    std::tm parts{};
    gmtime_r(&when, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min);
    return text;
}

void appendResponse(std::string& out, const std::string& href, const ListedEntry& entry) {
    out += "<d:response><d:href>";
    out += htmlEscape(href);
    out += "</d:href><d:propstat><d:prop><d:resourcetype>";
    if (entry.folder) out += "<d:collection/>";
    out += "</d:resourcetype><d:getcontentlength>";
    out += std::to_string(entry.folder ? 0 : entry.size);
    out += "</d:getcontentlength><d:getlastmodified>";
    out += httpDate(entry.modified);
    out +=
        "</d:getlastmodified></d:prop><d:status>HTTP/1.1 200 OK</d:status>"
        "</d:propstat></d:response>\n";
}

}  // namespace

std::string htmlListing(std::string_view urlPath, const std::vector<ListedEntry>& entries) {
    std::string title = "Index of " + htmlEscape(urlPath);
    std::string out =
        "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
        "</title><style>th, td { text-align: left; padding-right: 2em; }</style></head>\n"
        "<body><h1>" +
        title + "</h1>\n<table>\n<tr><th>Name</th><th>Modified</th><th>Size</th></tr>\n";
    if (urlPath != "/") {
        out += "<tr><td><a href=\"../\">Parent directory</a></td><td>-</td><td>-</td></tr>\n";
    }
    for (const ListedEntry& entry : entries) {
        std::string href = percentEncodeSegment(entry.name) + (entry.folder ? "/" : "");
        std::string shown = htmlEscape(entry.name) + (entry.folder ? "/" : "");
        out.append("<tr><td><a href=\"").append(href).append("\">").append(shown);
        out.append("</a></td><td>").append(listedDate(entry.modified)).append("</td><td>");
        out.append(entry.folder ? std::string("[DIRECTORY]") : std::to_string(entry.size));
        out.append("</td></tr>\n");
    }
    out += "</table>\n</body></html>\n";
    return out;
}

std::string multistatus(std::string_view href, const ListedEntry& self,
                        const std::vector<ListedEntry>& children) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<d:multistatus xmlns:d=\"DAV:\">\n";
    std::string base(href);
    appendResponse(out, base, self);
    if (!base.empty() && base.back() != '/') base += '/';
    for (const ListedEntry& child : children) {
        appendResponse(out, base + percentEncodeSegment(child.name) + (child.folder ? "/" : ""),
                       child);
    }
    out += "</d:multistatus>\n";
    return out;
}

}  // namespace zorvex::http
