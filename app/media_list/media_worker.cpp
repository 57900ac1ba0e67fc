#include "app/media_list/media_worker.h"

namespace {

constexpr UINT kWakeMessage = WM_APP + 1;
constexpr char kNoticeClass[] = "EEMediaWorkerNotices";

}  // namespace

MediaWorker::MediaWorker(std::function<void()> woken) : woken_(std::move(woken)) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = NoticeProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kNoticeClass;
  RegisterClassA(&windowClass);  // fails harmlessly when registered before
  notice_.Reset(CreateWindowExA(0, kNoticeClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr));
  if (notice_) SetWindowLongPtrA(notice_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

MediaWorker::~MediaWorker() {
  stop_ = true;
  Join();
  // A wake posted but not yet seen must not reach a freed worker.
  if (notice_) SetWindowLongPtrA(notice_.Get(), GWLP_USERDATA, 0);
}

void MediaWorker::Join() {
  if (thread_.joinable()) thread_.join();
}

bool MediaWorker::Start(std::function<void(MediaWorker& worker)> work) {
  if (busy_ || !notice_) return false;
  Join();
  stop_ = false;
  busy_ = true;
  try {
    thread_ = std::thread([this, work = std::move(work)] {
      work(*this);
      busy_ = false;
      // The last wake comes after busy_ fell, so the owner sees the end.
      wakePending_ = false;
      Wake();
    });
  } catch (...) {
    busy_ = false;
    return false;
  }
  return true;
}

void MediaWorker::Wake() {
  if (wakePending_.exchange(true)) return;
  PostMessageA(notice_.Get(), kWakeMessage, 0, 0);
}

LRESULT CALLBACK MediaWorker::NoticeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kWakeMessage) {
    if (auto* worker = reinterpret_cast<MediaWorker*>(GetWindowLongPtrA(window, GWLP_USERDATA))) {
      worker->wakePending_ = false;
      if (worker->woken_) worker->woken_();
    }
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
