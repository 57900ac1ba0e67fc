// What the detection step tells the user of a stream (HLS, DASH, segments
// joined into one file) beyond the class's own texts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

// An encrypted or DRM-protected stream: one message, nothing saved.
constexpr std::int32_t kStreamProtectedStyle = MB_OK | MB_ICONWARNING;
inline constexpr std::string_view kStreamProtectedCaption = "警示信息 - 流已加密";
// "侦测到加密的流：<address>\n这个流已加密，不能保存。"
inline constexpr std::string_view kStreamProtectedBefore = "侦测到加密的流：";
inline constexpr std::string_view kStreamProtectedAfter = "\n这个流已加密，不能保存。";

// A stream not all there at OK, counted in segments (the caption, style and
// the start "元素 <address> 尚未缓存完整：" are the element's).
inline constexpr std::string_view kIncompleteSegments = "已缓存 ";     // segments present
inline constexpr std::string_view kIncompleteOfSegments = " 段，共 ";  // segments in all
inline constexpr std::string_view kIncompleteSegmentsEnd = " 段。";
inline constexpr std::string_view kIncompleteSegmentChoices =
    "\n点击 重试：等浏览器继续缓存后再次读取；\n点击 继续：保存从第一段起连续的 ";  // contiguous segments
                                                                                    // follow
inline constexpr std::string_view kIncompleteSegmentChoicesEnd = " 段；\n点击 取消：不保存。";
