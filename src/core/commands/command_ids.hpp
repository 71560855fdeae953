#pragma once

// Command and menu identifiers shared by menus, accelerators, context menus and the
// commands panes post to each other. The numbers are fixed: saved menus, tests and
// every pane agree on them.

namespace mev {

// Menu and accelerator resources.
inline constexpr int IDR_MAINFRAME = 128;          // main menu and accelerator table
inline constexpr int IDR_IMAGE_MENU = 140;         // single-image browser
inline constexpr int IDR_INDEX_MENU = 141;         // thumbnail index browser
inline constexpr int IDR_AUDIO_MENU = 143;         // audio player browser
inline constexpr int IDR_VIDEO_MENU = 144;         // video player browser
inline constexpr int IDR_FULLSCREEN_MENU = 145;    // full-screen browser
inline constexpr int IDR_AUDIO_LIST_MENU = 148;    // audio file list
inline constexpr int IDR_VIDEO_LIST_MENU = 149;    // video file list
inline constexpr int IDR_FOLDER_TREE_MENU = 156;   // folder tree

// Framework commands (standard numbers).
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_APP_EXIT = 57665;

// Private notifications posted between the panes of a page.
inline constexpr int ID_PRIVATE_RELAYOUT = 32771;        // lay out the children again
inline constexpr int ID_PRIVATE_FOLDER_SELECTED = 32773; // tree selection changed
inline constexpr int ID_PRIVATE_SHOW_IMAGE = 32774;      // show the clicked thumbnail's image
inline constexpr int ID_PRIVATE_LIST_SELECTED = 32787;   // list click changed the selection
inline constexpr int ID_PRIVATE_LIST_DBLCLK = 32820;     // list double click
inline constexpr int ID_PRIVATE_VOLUME_SYNC = 32823;     // slider re-reads the system volume
inline constexpr int ID_PRIVATE_AUDIO_DONE = 32824;      // audio playback finished
inline constexpr int ID_PRIVATE_VIDEO_DONE = 32825;      // video playback finished
inline constexpr int ID_PRIVATE_VOLUME_PLACE = 32827;    // place the volume bar into pane 1

// Menu and accelerator commands.
inline constexpr int ID_VIEW_CHANGEFOLDER = 32772;
inline constexpr int ID_VIEW_FULLSCREEN = 32775;
inline constexpr int ID_VIEW_REFRESH = 32776;
inline constexpr int ID_AUTOPLAY_1S = 32777;
inline constexpr int ID_AUTOPLAY_2S = 32778;
inline constexpr int ID_AUTOPLAY_3S = 32779;
inline constexpr int ID_AUTOPLAY_5S = 32780;
inline constexpr int ID_IMAGE_PREVIOUS = 32781;
inline constexpr int ID_IMAGE_NEXT = 32782;
inline constexpr int ID_IMAGE_FIRST = 32783;
inline constexpr int ID_IMAGE_LAST = 32784;
inline constexpr int ID_INDICATOR_TOTAL = 32788;
inline constexpr int ID_INDICATOR_SELECTED = 32789;
inline constexpr int ID_VIEW_STOP = 32790;
inline constexpr int ID_FILE_COPY_SELECTED = 32791;
inline constexpr int ID_FILE_MOVE_SELECTED = 32792;
inline constexpr int ID_FILE_DELETE_SELECTED = 32793;
inline constexpr int ID_AUTOPLAY_10S = 32794;
inline constexpr int ID_AUTOPLAY_15S = 32795;
inline constexpr int ID_IMAGE_TOGGLESIZE = 32796;
inline constexpr int ID_LIST_REFRESH = 32797;
inline constexpr int ID_WIDTH_32 = 32798;
inline constexpr int ID_WIDTH_64 = 32799;
inline constexpr int ID_WIDTH_80 = 32800;
inline constexpr int ID_WIDTH_120 = 32801;
inline constexpr int ID_WIDTH_240 = 32802;
inline constexpr int ID_WIDTH_FIT = 32803;
inline constexpr int ID_WIDTH_ACTUAL = 32804;
inline constexpr int ID_APP_ABOUT = 32805;
inline constexpr int ID_TOOLS_TAGEDITOR = 32806;
inline constexpr int ID_OPENWITH_SELECT = 32808;
inline constexpr int ID_OPENWITH_FIRST = 32809;   // Open With entries: 32809 ..
inline constexpr int ID_OPENWITH_LAST = 32819;    // .. 32819 (menus use three of them)
inline constexpr int ID_OPENWITH_MENU_COUNT = 3;
inline constexpr int ID_INDICATOR_VOLUME = 32821;
inline constexpr int ID_LIST_AUTOPLAY = 32826;
inline constexpr int ID_FILE_CREATE_AUTORUN = 32828;
inline constexpr int ID_VOLUME_MAX = 32829;       // Ctrl+Up
inline constexpr int ID_VOLUME_MUTE = 32830;      // Ctrl+Down
inline constexpr int ID_VOLUME_DOWN = 32831;      // Ctrl+Left
inline constexpr int ID_VOLUME_UP = 32832;        // Ctrl+Right
inline constexpr int ID_VOLUME_0 = 32833;         // Ctrl+Numpad 0 ..
inline constexpr int ID_VOLUME_90 = 32842;        // .. Ctrl+Numpad 9
inline constexpr int ID_VIEW_LOOP = 32843;
inline constexpr int ID_LIST_CHECK_ALL = 32844;
inline constexpr int ID_LIST_REVERSE_CHECK = 32845;
// The thumbnail index's order and captions.
inline constexpr int ID_SORT_NAME = 32870;
inline constexpr int ID_SORT_DATE = 32871;
inline constexpr int ID_SORT_SIZE = 32872;
inline constexpr int ID_SORT_TYPE = 32873;
inline constexpr int ID_SORT_ASCENDING = 32874;
inline constexpr int ID_SORT_DESCENDING = 32875;
inline constexpr int ID_INDEX_SHOW_NAMES = 32876;
// The single picture on screen: zoom and rotation for viewing, its information, Delete.
inline constexpr int ID_PICTURE_ZOOM_IN = 32900;
inline constexpr int ID_PICTURE_ZOOM_OUT = 32901;
inline constexpr int ID_PICTURE_ACTUAL_SIZE = 32902;
inline constexpr int ID_PICTURE_FIT = 32903;
inline constexpr int ID_PICTURE_ROTATE_LEFT = 32904;
inline constexpr int ID_PICTURE_ROTATE_RIGHT = 32905;
inline constexpr int ID_PICTURE_INFO = 32906;
inline constexpr int ID_PICTURE_DELETE = 32907;
inline constexpr int ID_INDICATOR_PICTURE = 32908;  // the picture's line in the status bar
inline constexpr int ID_LIST_SAVE_PLAYLIST = 32846;  // audio list: checked files to an M3U file

// Status-bar indicator ids without a command of their own.
inline constexpr int ID_SEPARATOR = 0;

// Page message codes sent to the page shown last.
inline constexpr int PAGEMSG_QUERY_AUTOPLAY = 1;
inline constexpr int PAGEMSG_STOP_AUTOPLAY = 2;
inline constexpr int PAGEMSG_NAVIGATE = 3;

} // namespace mev
