#include "app/muxing/mux_fault_texts.h"

namespace {

const char* TrackFaultText(TrackFault fault) {
  switch (fault) {
    case TrackFault::NotReadable:
      return "已损坏或不完整";
    case TrackFault::NotFragmented:
      return "不是分片的 MP4";
    case TrackFault::Encrypted:
      return "已加密";
    case TrackFault::UnknownCodec:
      return "的编码格式不能合成";
    case TrackFault::BadTiming:
      return "的时间信息不正确";
    case TrackFault::None:
      break;
  }
  return "不能读取";
}

}  // namespace

std::string MuxFaultText(const MuxResult& result) {
  std::string why;
  switch (result.outcome) {
    case MuxOutcome::Done:
      return {};
    case MuxOutcome::TrackRefused:
      why = result.track == 1 ? "声音" : "视频";
      why += TrackFaultText(result.fault);
      break;
    case MuxOutcome::NotAPair:
      why = "两个文件不是一个视频加一个声音";
      break;
    case MuxOutcome::ContainersDiffer:
      why = "一个是 MP4，另一个是 WebM，不能放进同一个文件";
      break;
    case MuxOutcome::ReadFailed:
      why = "读取时浏览器改动了缓存";
      break;
    case MuxOutcome::WriteFailed:
      why = "无法写入文件";
      break;
  }
  return "视频和声音没有合成一个文件：" + why + "。";
}
