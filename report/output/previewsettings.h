#pragma once
// How a report's pages are shown: the preview control's zoom states and the standard preview
// window's settings that a report carries.
#include <cstdint>

namespace strandel {

enum class TPgxZoomState : uint8_t { pgxZoomToFit = 0, pgxZoomToWidth = 1, pgxZoomOther = 2 };
enum class TPgxFormStyle : uint8_t { fsNormal = 0, fsMDIChild = 1, fsMDIForm = 2, fsStayOnTop = 3 };
enum class TPgxWindowState : uint8_t { wsNormal = 0, wsMinimized = 1, wsMaximized = 2 };

} // namespace strandel
