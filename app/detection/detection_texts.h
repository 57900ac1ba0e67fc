// What the detection step tells the user, per extension class.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

#include "app/extensions/extension_catalogue.h"

struct DetectionTexts {
  std::string_view promptBefore;  // the full path stands between the two
  std::string_view promptAfter;
  std::string_view promptCaption;
  std::string_view successText;  // followed directly by the saved file's path
  std::string_view successCaption;
  std::string_view failureText;
  std::string_view failureCaption;
};

constexpr std::int32_t kPromptStyle = MB_OKCANCEL | MB_ICONINFORMATION;
constexpr std::int32_t kSuccessStyle = MB_OK | MB_ICONINFORMATION;
constexpr std::int32_t kFailureStyle = MB_OK | MB_ICONWARNING;

inline constexpr DetectionTexts kVideoTexts{
    "侦测到视频文件：",        " ，如果需要保存，请在视频播放(载入)完成后点击 确定 进行提取！",
    "警示信息 - 视频侦测",     "视频文件已被保存到：",
    "警示信息 - 视频保存成功", "视频文件保存失败！请确认元素保存文件夹存在并检查用户权限！",
    "警示信息 - 视频保存失败",
};

// The audio success text really ends in a blank after the colon.
inline constexpr DetectionTexts kAudioTexts{
    "侦测到音频文件：",        " ，如果需要保存，请在音频播放(载入)完成后点击 确定 进行提取！",
    "警示信息 - 音频侦测",     "音频文件已被保存到： ",
    "警示信息 - 音频保存成功", "音频文件保存失败！请确认元素保存文件夹存在并检查用户权限！",
    "警示信息 - 音频保存失败",
};

inline constexpr DetectionTexts kUserDefinedTexts{
    "侦测到自定义类型元素：",
    " ，请在自定义类型元素载入完成后点击确定进行提取！",
    "警示信息 - 自定义类型元素侦测",
    "自定义类型元素已被保存到：",
    "警示信息 - 自定义类型元素保存成功",
    "自定义类型元素保存失败！请确认元素保存文件夹存在并检查用户权限！",
    "警示信息 - 自定义类型元素保存失败",
};

// The texts of a matched class (video for anything else; never asked then).
constexpr const DetectionTexts& DetectionTextsOf(ExtensionClass extensionClass) {
  switch (extensionClass) {
    case ExtensionClass::Audio:
      return kAudioTexts;
    case ExtensionClass::UserDefined:
      return kUserDefinedTexts;
    default:
      return kVideoTexts;
  }
}

// What the element's own headers say, after its address in the prompt when
// they are already cached: "（时长 1:23，1280x720，H.264 / AAC）".
inline constexpr std::string_view kFactsBefore = "（";
inline constexpr std::string_view kFactsDuration = "时长 ";
inline constexpr std::string_view kFactsSeparator = "，";
inline constexpr std::string_view kFactsAfter = "）";

// An element of a browser cache that is not all there when the user confirms
// it: how much is there, and what each button does.
constexpr std::int32_t kIncompleteStyle = MB_CANCELTRYCONTINUE | MB_ICONWARNING;
inline constexpr std::string_view kIncompleteCaption = "警示信息 - 元素尚未缓存完整";
// "元素 <address> 尚未缓存完整：" then the counts, then the choices.
inline constexpr std::string_view kIncompleteBefore = "元素 ";
inline constexpr std::string_view kIncompleteAfter = " 尚未缓存完整：";
inline constexpr std::string_view kIncompletePresent = "已缓存 ";      // bytes present
inline constexpr std::string_view kIncompleteOfLength = " 字节，共 ";  // the full length
inline constexpr std::string_view kIncompleteBytes = " 字节。";
inline constexpr std::string_view kIncompleteLengthUnknown = " 字节，总长度未知。";
inline constexpr std::string_view kIncompleteChoices =
    "\n点击 重试：等浏览器继续缓存后再次读取；\n点击 继续：保存从开头起连续的 ";  // contiguous bytes follow
inline constexpr std::string_view kIncompleteChoicesEnd = " 字节；\n点击 取消：不保存。";
