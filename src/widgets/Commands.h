#pragma once
// Command ids of the menus, toolbar, accelerators and popup menus. The main frame keeps one
// action per id; every menu that offers a command triggers that action.
namespace sondrel {

inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_FILE_SAVE_AS = 57604;
inline constexpr int ID_FILE_MRU_FILE1 = 57616;  // recent files: 57616..57619
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;

inline constexpr int ID_ADD_ADDRESS = 32771;
inline constexpr int ID_ADD_GROUP = 32772;
inline constexpr int ID_DELETE_ADDRESS = 32773;
inline constexpr int ID_DELETE_GROUP = 32774;
inline constexpr int ID_CLEAR_ALL = 32778;
inline constexpr int ID_HOW_TO = 32782;
inline constexpr int ID_DELETE_SELECTED = 32783;
inline constexpr int ID_COPY_ADDRESS = 32784;
inline constexpr int ID_MORE_DETAILS = 32786;
inline constexpr int ID_IMPORT = 32787;
inline constexpr int ID_AUTO_POPUP = 32792;
inline constexpr int ID_START = 32793;
inline constexpr int ID_STOP = 32794;
inline constexpr int ID_AUTO_START = 32795;
inline constexpr int ID_STORE_SAMPLES = 32796;

inline constexpr int kRecentFileCount = 4;

}  // namespace sondrel
