// The main window's controls as a person finds them: buttons and check
// boxes by their captions, edit boxes and labels by their dialog ids
// (controls are numbered 100, 110, ... from the last one of the window).
#pragma once

#include "tests/e2e/driver/gbk.h"
#include "tests/e2e/driver/program.h"

namespace e2e {

inline constexpr char kMainCaption[] = "Velmir网页元素提取工具 1.11.0122";
inline constexpr char kAboutCaption[] = "关于Velmir网页元素提取工具";
inline constexpr int kWatchedFolderBoxId = 160;
inline constexpr int kCustomFormatBoxId = 220;
inline constexpr int kSaveFolderLabelId = 270;
// The directory chooser opened by the browse button, and two of its controls.
inline constexpr char kChooserCaption[] = "目标目录选择";
inline constexpr int kChooserPathBoxId = 100;
inline constexpr int kChooserPromptLabelId = 160;

struct MainWindowParts {
  explicit MainWindowParts(Window window) : main(window) {}
  Window Button(std::string_view caption) const { return main.ChildByClassText("Button", caption); }
  Window Start() const { return Button("开始"); }
  Window Stop() const { return Button("停止"); }
  Window Video() const {
    return Button(
        "常见视频格式(flv、mp4、f4v、mpeg、mpg、avi、mov、asf、wmv、navi、3gp、rm、rmvb、m4v、hlv、3gp)");
  }
  Window Audio() const {
    return Button("常见音频格式(wav、aiff、au、mid、mp1、mp2、mp3、ra、rmx、wma、dat)");
  }
  Window Custom() const { return Button("自定义格式"); }
  Window CustomBox() const { return main.Child(kCustomFormatBoxId); }
  Window WatchedBox() const { return main.Child(kWatchedFolderBoxId); }
  Window SaveLabel() const { return main.Child(kSaveFolderLabelId); }

  Window main;
};

}  // namespace e2e
