#pragma once
// Values of the messages posted to the main view. In the Qt shell each value is the type of a
// custom QEvent (all lie inside Qt's user range, 1000..65535); the console and the engine use
// them only as numbers, so this header stays free of the toolkit.
#include <cstdint>

namespace sondrel {

inline constexpr int WM_USER = 0x400;
inline constexpr int WM_LIST_ADDED = WM_USER + 100;     // address, 0
inline constexpr int WM_LIST_REMOVED = WM_USER + 101;   // address, 0
inline constexpr int WM_LIST_MODIFIED = WM_USER + 102;  // 0, 0
inline constexpr int WM_PING_REPLY = WM_USER + 103;     // address, reply text
inline constexpr int WM_PING_TIMEOUT = WM_USER + 104;   // 0, 0
inline constexpr int WM_TRAY_NOTIFY = WM_USER + 105;    // icon id, mouse message
// A round started at once after the interval changed (the posted timer message of the
// original design; the toolkit's own timer value lies outside the user range).
inline constexpr int WM_ROUND_NOW = WM_USER + 122;
// A box asked for by an engine thread; shown by the main thread.
inline constexpr int WM_ENGINE_MESSAGE = WM_USER + 120;

// Tray icon id and the mouse messages the tray handler reacts to.
inline constexpr uint32_t kTrayIconId = 128;
inline constexpr int WM_LBUTTONDBLCLK = 0x203;
inline constexpr int WM_RBUTTONDOWN = 0x204;

}  // namespace sondrel
