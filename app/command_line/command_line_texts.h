// The command line's texts for the user (GBK in the program, like every
// text it shows).  "%s" stands where an argument or path goes, "%d" a count.
#pragma once

inline constexpr char kCommandLineCaption[] = "Velmir网页元素提取工具";

inline constexpr char kUsageText[] =
    "用法：ElementExtractor.exe 开关...\r\n"
    "不带开关时打开主窗口；带开关时不打开窗口，也不读写 setting.ini，\r\n"
    "而是列出或保存浏览器缓存中已有的视频和音频（Chrome、Edge、Chromium、Firefox 的\r\n"
    "各个用户配置，以及旧浏览器缓存目录中带扩展名的媒体文件）。\r\n"
    "\r\n"
    "  /scomma 文件       写逗号分隔的报告（UTF-8，Excel 可直接打开）\r\n"
    "  /stab 文件         写制表符分隔的报告\r\n"
    "  /copyall 目录      把完整的元素保存到目录中，不覆盖已有文件\r\n"
    "  /partial           与 /copyall 同用：不完整的元素也保存其开头连续的部分\r\n"
    "  /separate          与 /copyall 同用：视频和声音分开的节目按两个文件保存，不合成\r\n"
    "  /cachefolder 目录  读取这个缓存目录，而不是默认位置（可给出多次）\r\n"
    "  /type video|audio  只报告和保存视频，或只报告和保存音频\r\n"
    "  /?                 显示本说明\r\n"
    "\r\n"
    "分段播放的视频（HLS、DASH）按流列出和保存：各分段按顺序合成一个文件；\r\n"
    "加密的流只列出，不保存。\r\n"
    "视频和声音分开缓存的节目（同一清单的视频流和音频流，或同一网站同时缓存、\r\n"
    "时长相同的视频文件和声音文件）合成一个文件保存。\r\n"
    "\r\n"
    "报告的列：网址、媒体类型、扩展名、类别、完整长度、已有字节、完整、浏览器、\r\n"
    "缓存目录、最后写入时间、流、已有分段、分段总数、加密、截断（这五列只在流的行里有值）、\r\n"
    "合成（与本行合成一个文件的另一轨：视频或音频及其网址）、\r\n"
    "时长（秒）、分辨率、编码（从媒体自身的头部读出，读不出时为空）。\r\n"
    "\r\n"
    "退出码：0 完成；1 参数错误；2 报告或副本无法写入。\r\n"
    "\r\n"
    "例：ElementExtractor.exe /scomma D:\\媒体.csv /copyall D:\\保存 /type video\r\n";

inline constexpr char kUnknownSwitchText[] = "无法识别的参数：%s\r\n";
inline constexpr char kMissingValueText[] = "开关 %s 后面缺少值。\r\n";
inline constexpr char kBadTypeText[] = "/type 的值只能是 video 或 audio，而不是：%s\r\n";
inline constexpr char kRepeatedSwitchText[] = "开关 %s 只能给出一次。\r\n";
inline constexpr char kPartialWithoutCopyText[] = "开关 %s 只能与 /copyall 一起使用。\r\n";
inline constexpr char kNothingToDoText[] = "没有要做的事（%s）：请给出 /scomma、/stab 或 /copyall。\r\n";
inline constexpr char kNoCacheFolderText[] = "缓存目录不存在：%s\r\n";
inline constexpr char kSeeUsageText[] = "用 /? 查看用法。\r\n";

inline constexpr char kReportOpenFailedText[] = "无法写入报告：%s\r\n";
inline constexpr char kCopyFolderFailedText[] = "无法使用保存目录：%s\r\n";
inline constexpr char kReportWrittenText[] = "报告已写入：%s（%d 个元素）\r\n";
inline constexpr char kCopyCountsText[] = "已保存 %d 个，因不完整而跳过 %d 个，失败 %d 个。\r\n";
inline constexpr char kCopyEncryptedText[] = "加密的流不能保存，跳过 %d 个。\r\n";
inline constexpr char kCopyFailedText[] = "无法保存：%s\r\n";
// "<address>：视频和声音没有合成一个文件：<why>。已分别保存。"
inline constexpr char kCopyNotJoinedText[] = "%s：";
inline constexpr char kCopyNotJoinedAfterText[] = "已分别保存。\r\n";
inline constexpr char kCopyJoinedText[] = "其中 %d 个是视频和声音合成的一个文件。\r\n";
inline constexpr char kCopyNoRoomText[] = "保存目录所在的磁盘空间不足，没有保存：%s\r\n";
