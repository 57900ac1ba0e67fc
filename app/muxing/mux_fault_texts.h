// Why a presentation's picture and sound were not joined, as the user is
// told (GBK, like every text the program shows).  The video track is always
// the muxer's first input, the sound its second.
#pragma once

#include <string>

#include "app/muxing/mux_result.h"

// "视频和声音没有合成一个文件：<why>。"; empty for Done.
std::string MuxFaultText(const MuxResult& result);
