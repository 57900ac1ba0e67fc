#include "control_host.h"

namespace {

constexpr char kHostClass[] = "ChooserTestHost";

void HostClassRegister(WNDPROC procedure) {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kHostClass;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  RegisterClassA(&windowClass);  // a second registration fails harmlessly
}

}  // namespace

ControlHost::ControlHost() {
  HostClassRegister(WindowProc);
  window_ = CreateWindowExA(0, kHostClass, "host", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0, 420, 320,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

ControlHost::~ControlHost() {
  driveBox.reset();
  dirBox.reset();
  DestroyWindow(window_);
}

DriverBox& ControlHost::DriveBoxCreate(DriverBoxCreateArgs args) {
  args.parent = window_;
  args.controlId = 100;
  if (args.width == 0) {
    args.left = 8;
    args.top = 260;
    args.width = 303;
    args.height = 21;
    args.extraStyle = WS_TABSTOP | WS_VISIBLE;
  }
  driveBox = DriverBox::Create(args, [this](std::int32_t event) {
    driveEvents.push_back(event);
    driveAtEvent.emplace_back(driveBox->Drive().c_str());
  });
  return *driveBox;
}

DirBox& ControlHost::DirBoxCreate(DirBoxCreateArgs args) {
  args.parent = window_;
  args.controlId = 110;
  if (args.width == 0) {
    args.left = 8;
    args.top = 52;
    args.width = 303;
    args.height = 203;
    args.extraStyle = WS_TABSTOP | WS_VISIBLE;
  }
  dirBox = DirBox::Create(args, [this](std::int32_t event) { dirEvents.push_back(event); });
  return *dirBox;
}

LRESULT CALLBACK ControlHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* host = reinterpret_cast<ControlHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (host != nullptr) {
    switch (message) {
      case WM_COMMAND:
        if (host->driveBox && reinterpret_cast<HWND>(lParam) == host->driveBox->Window()) {
          host->driveBox->CommandHandle(HIWORD(wParam));
          return 0;
        }
        break;
      case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (host->dirBox && header->hwndFrom == host->dirBox->Window())
          return host->dirBox->NotifyHandle(*header);
        break;
      }
      case WM_CTLCOLORLISTBOX:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORSTATIC:
        if (host->driveBox) {
          if (HBRUSH brush = host->driveBox->ColourHandle(reinterpret_cast<HDC>(wParam))) {
            return reinterpret_cast<LRESULT>(brush);
          }
        }
        break;
      default:
        break;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void MessagesPump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}
