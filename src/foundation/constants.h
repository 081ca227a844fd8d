#pragma once

namespace zorvex {

// Texts shared by every module; the home folder's path pieces are in
// platform/home_layout.h.
inline constexpr const char* kProductName = "Zorvex助手";
inline constexpr const char* kMediaInfoLoadFailure = "Unable to load MediaInfo.dll";

}  // namespace zorvex
