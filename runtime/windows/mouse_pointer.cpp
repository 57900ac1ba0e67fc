// The cursor of a unit's stored mouse pointer: none for 4 zero bytes, a
// shared system pointer for a 4-byte number, else a cursor made from the
// cursor-file data and owned by the unit's window.
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "runtime/windows/cursor_file.h"
#include "runtime/windows/engine_internal.h"
#include "runtime/windows/icon_resource.h"

namespace {

struct UnitCursor {
  HCURSOR shown = nullptr;
  CursorHandle owned;  // set when made from cursor-file data
};

UnitCursor CursorFromPointer(const ByteArray& pointer) {
  UnitCursor cursor;
  if (pointer.size() < 4) return cursor;
  if (pointer.size() == 4) {
    std::uint32_t number = 0;
    std::memcpy(&number, pointer.data(), sizeof number);
    if (number != 0) cursor.shown = LoadCursorA(nullptr, MAKEINTRESOURCEA(number));
    return cursor;
  }
  const std::optional<CursorImage> image =
      CursorFileFirstImage(std::span<const std::uint8_t>(pointer.data(), pointer.size()));
  if (!image) return cursor;
  std::vector<std::uint8_t> resource = CursorResourceBytes(*image);
  cursor.owned.Reset(reinterpret_cast<HCURSOR>(CreateIconFromResourceEx(
      resource.data(), static_cast<DWORD>(resource.size()), FALSE, kIconResourceVersion, 0, 0, 0)));
  cursor.shown = cursor.owned.Get();
  return cursor;
}

}  // namespace

void UnitCursorLoad(WindowObject& window, UnitRecord& unit) {
  UnitCursor cursor = CursorFromPointer(unit.mousePointer);
  unit.cursor = cursor.shown;
  auto& owned = window.ownedCursors;
  auto found =
      std::find_if(owned.begin(), owned.end(), [&](const auto& entry) { return entry.first == unit.id; });
  // The unit's earlier cursor goes only now that the slot no longer shows it.
  if (found != owned.end()) owned.erase(found);
  if (cursor.owned) owned.emplace_back(unit.id, std::move(cursor.owned));
}
