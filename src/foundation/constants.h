#pragma once

namespace zorvex {

// Texts and path pieces shared by every module.
inline constexpr const char* kProductName = "Zorvex助手";
inline constexpr const char* kThumbnailFolder = "file_root/image/";  // relative to the home folder
inline constexpr const char* kThumbnailExtension = ".jpg";
inline constexpr const char* kMediaInfoLoadFailure = "Unable to load MediaInfo.dll";

}  // namespace zorvex
