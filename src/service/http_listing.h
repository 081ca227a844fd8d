#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "service/document_root.h"

// The two folder answers of the file service, as text: the HTML listing of
// GET and the WebDAV multistatus of PROPFIND. Pure functions.
namespace zorvex::http {

// urlPath: the folder's path as served, with its trailing '/' ("/", "/image/").
std::string htmlListing(std::string_view urlPath, const std::vector<ListedEntry>& entries);

// A 207 body: the resource itself at `href`, then, for a folder, each child
// below it. Children are empty for Depth: 0 and for files.
std::string multistatus(std::string_view href, const ListedEntry& self,
                        const std::vector<ListedEntry>& children);

}  // namespace zorvex::http
