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

// After the address in a stream's prompt: the size the copy will have now
// ("（将写入 12345678 字节）"), and where a budget stopped the reading of its
// playlist, that the copy holds only its beginning.
inline constexpr std::string_view kStreamSizeBefore = "（将写入 ";
inline constexpr std::string_view kStreamSizeAfter = " 字节）";
inline constexpr std::string_view kStreamCutShort = "（已截断）";
// A presentation's picture and sound offered as one video: after the address
// ("（视频和声音合成一个文件）"), before the size.
inline constexpr std::string_view kStreamJoined = "（视频和声音合成一个文件）";
// Between the picture's and the sound's addresses of two whole tracks offered as one.
inline constexpr std::string_view kPairedAddressesBetween = "、";

// A presentation the muxer refused: the reason (app/muxing/mux_fault_texts.h),
// then that the tracks are saved one by one.
constexpr std::int32_t kNotJoinedStyle = MB_OK | MB_ICONWARNING;
inline constexpr std::string_view kNotJoinedCaption = "警示信息 - 视频和声音未能合成";
inline constexpr std::string_view kNotJoinedAfter = "\n视频和声音将分别保存为两个文件。";
