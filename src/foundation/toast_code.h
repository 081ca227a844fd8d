#pragma once

#include <array>

namespace zorvex {

// The toast's codes: the core's refusals and the windows' own notes. A code
// crosses from the library to the windows and the console, which show its text.
enum ToastCode {
    TOAST_CONVERTED = 1,
    TOAST_EXISTS = 2,
    TOAST_TASK_EXISTS = 3,
    TOAST_NOT_VIDEO = 4,
    TOAST_NAME_TOO_LONG = 5,
    TOAST_FULL = 6,
    TOAST_VIDEO_GONE = 7,
    TOAST_SUBMITTED = 8,
    TOAST_SUBMIT_FAILED = 9,
    TOAST_SERVER_UNREACHABLE = 10,
    TOAST_FILE_IN_USE = 11,
    TOAST_LATEST_VERSION = 12,
};

// The text of a code (UTF-8); "" for a code without one.
constexpr const char* toastText(int code) {
    constexpr std::array<const char*, 13> kTexts = {
        "",
        "该任务已转码",
        "文件已存在",
        "任务已存在",
        "无法添加非视频类文件",
        "文件名过长",
        "至多可添加70项视频",
        "视频已被移动或删除",
        "提交成功",
        "提交失败",
        "服务器连接失败",
        "视频正被其他程序使用",
        "已经是最新版本",
    };
    return code >= 0 && code < static_cast<int>(kTexts.size()) ? kTexts[code] : "";
}

}  // namespace zorvex
