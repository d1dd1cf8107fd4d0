# The main window's logic (portable) and the program's windows (Win32).
add_library(quellix_main_logic STATIC main_logic.cpp)
target_include_directories(quellix_main_logic PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(quellix_main_logic PUBLIC quellix_shell quellix_blocker)

if(WIN32)
  add_library(quellix_ui STATIC
    dialogs_win.cpp
    layout_win.cpp
    main_commands_win.cpp
    main_hotkey_win.cpp
    main_tray_win.cpp
    main_window_win.cpp
    modal_window_win.cpp
    monitor_host_win.cpp
    popup_log_commands_win.cpp
    popup_log_win.cpp
    single_instance_win.cpp)
  # The generated app/version.h (the About window's version) is in the build folder.
  target_include_directories(quellix_ui PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
  target_link_libraries(quellix_ui PUBLIC quellix_main_logic quellix_shell_win quellix_blocker_win quellix_base
    comctl32 ole32 oleaut32 uuid shell32 shlwapi user32 gdi32)
endif()
