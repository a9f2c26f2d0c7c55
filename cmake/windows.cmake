# Cross build: Quorrin.exe, the message text file, and the test driver.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00)
set(QUORRIN_WIN_LINK -static -municode)

add_executable(Quorrin WIN32
  app/chrome_win.cpp
  app/command_line_win.cpp
  app/main_win.cpp
  codec/ansi_win.cpp
  macro/macro_dialog_win.cpp
  macro/macro_from_capture_win.cpp
  macro/macro_send_win.cpp
  net/link_net_win.cpp
  plot/plot_draw_win.cpp
  plot/plot_out_win.cpp
  plot/plot_reader_win.cpp
  plot/plot_window_win.cpp
  record/record_files_win.cpp
  record/record_view_win.cpp
  find/find_win.cpp
  find/find_search_win.cpp
  find/go_to_time_win.cpp
  record/recorder_win.cpp
  send/input_send_win.cpp
  send/send_format_dialog_win.cpp
  send/transmit_win.cpp
  serial/dcb_dialog_win.cpp
  serial/dcb_win.cpp
  serial/line_status_win.cpp
  serial/line_watch_win.cpp
  serial/port_dialog_win.cpp
  serial/port_identity_win.cpp
  serial/port_win.cpp
  serial/presence_win.cpp
  serial/receive_win.cpp
  settings/color_dialog_win.cpp
  settings/language_dialog_win.cpp
  settings/settings_dialogs_win.cpp
  settings/settings_win.cpp
  timeline/export_win.cpp
  timeline/link_stats_win.cpp
  tools/ascii_table_win.cpp
  macro/auto_answer_win.cpp
  tools/cell_strip_win.cpp
  tools/checksum_calc_win.cpp
  transfer/transfer_win.cpp
  send/repeat_win.cpp
  modbus/modbus_dialog_win.cpp
  modbus/modbus_monitor_win.cpp
  send/preset_editor_win.cpp
  send/preset_send_win.cpp
  send/strings_file_win.cpp
  ui/dialog_look_win.cpp
  ui/dpi_win.cpp
  ui/file_chooser_win.cpp
  ui/file_sink_win.cpp
  ui/rule_list_win.cpp
  view/cell_tip_win.cpp
  view/data_view_win.cpp
  view/highlight_win.cpp
  view/highlight_dialog_win.cpp
  view/fonts_win.cpp
  view/logfile_win.cpp
  resources/quorrin.rc
)
# One version everywhere: VERSION gives the About box, the version
# resource of both programs, the manual's title page and the package's name.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/VERSION)
file(STRINGS ${CMAKE_SOURCE_DIR}/VERSION QUORRIN_VERSION LIMIT_COUNT 1)
string(STRIP "${QUORRIN_VERSION}" QUORRIN_VERSION)
string(REPLACE "." ";" quorrin_version_parts "${QUORRIN_VERSION}")
list(APPEND quorrin_version_parts 0 0 0 0)
list(SUBLIST quorrin_version_parts 0 4 quorrin_version_parts)
string(REPLACE ";" "," QUORRIN_VERSION_WORDS "${quorrin_version_parts}")
configure_file(${CMAKE_SOURCE_DIR}/resources/quorrin_version.h.in ${CMAKE_BINARY_DIR}/quorrin_version.h)
string(REPLACE ";" "." QUORRIN_VERSION_DOTTED "${quorrin_version_parts}")
# Each program's manifest (resources/manifest.xml.in), built into it by its
# version resource.
set(QUORRIN_MANIFEST_NAME Quorrin)
set(QUORRIN_MANIFEST_DESCRIPTION "Quorrin serial line debugger")
configure_file(${CMAKE_SOURCE_DIR}/resources/manifest.xml.in ${CMAKE_BINARY_DIR}/quorrin.manifest @ONLY)
set(QUORRIN_MANIFEST_NAME pivotle)
set(QUORRIN_MANIFEST_DESCRIPTION "Quorrin restart helper")
configure_file(${CMAKE_SOURCE_DIR}/resources/manifest.xml.in ${CMAKE_BINARY_DIR}/pivotle.manifest @ONLY)

target_include_directories(Quorrin PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR})
target_compile_options(Quorrin PRIVATE -Wall -Wextra)
target_link_options(Quorrin PRIVATE ${QUORRIN_WIN_LINK})
target_link_libraries(Quorrin PRIVATE quorrin_core comdlg32 comctl32 shell32 dwmapi gdi32 user32 advapi32 setupapi cfgmgr32 ws2_32 ole32 gdiplus winmm)
set_target_properties(Quorrin PROPERTIES OUTPUT_NAME Quorrin)
# Files the resource script pulls in: a change to any of them rebuilds it.
set_source_files_properties(resources/quorrin.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/color_dialog.rc;${CMAKE_SOURCE_DIR}/resources/ascii_table.rc;${CMAKE_SOURCE_DIR}/resources/line_status.rc;${CMAKE_SOURCE_DIR}/resources/preset_send.rc;${CMAKE_SOURCE_DIR}/resources/preset_editor.rc;${CMAKE_SOURCE_DIR}/resources/checksum_calc.rc;${CMAKE_SOURCE_DIR}/resources/modbus_dialog.rc;${CMAKE_SOURCE_DIR}/resources/port_dialog.rc;${CMAKE_SOURCE_DIR}/resources/dcb_dialog.rc;${CMAKE_SOURCE_DIR}/resources/macro_dialog.rc;${CMAKE_SOURCE_DIR}/resources/link_stats.rc;${CMAKE_SOURCE_DIR}/resources/modbus_monitor.rc;${CMAKE_SOURCE_DIR}/resources/resource.h;${CMAKE_SOURCE_DIR}/resources/quorrin.ico;${CMAKE_SOURCE_DIR}/resources/toolbar_light.bmp;${CMAKE_SOURCE_DIR}/resources/toolbar_dark.bmp;${CMAKE_SOURCE_DIR}/resources/toolbar_light_24.bmp;${CMAKE_SOURCE_DIR}/resources/toolbar_dark_24.bmp;${CMAKE_SOURCE_DIR}/resources/toolbar_light_32.bmp;${CMAKE_SOURCE_DIR}/resources/toolbar_dark_32.bmp;${CMAKE_SOURCE_DIR}/resources/auto_answer.rc;${CMAKE_SOURCE_DIR}/resources/find.rc;${CMAKE_SOURCE_DIR}/resources/transfer.rc;${CMAKE_SOURCE_DIR}/resources/highlight.rc;${CMAKE_SOURCE_DIR}/resources/repeat.rc;${CMAKE_SOURCE_DIR}/resources/plot.rc;${CMAKE_SOURCE_DIR}/resources/version.rc;${CMAKE_BINARY_DIR}/quorrin_version.h;${CMAKE_BINARY_DIR}/quorrin.manifest")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/quorrin_char2.ini
  COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/resources/texts/make_text_file.py
          ${CMAKE_SOURCE_DIR}/resources/texts/messages.tsv ${CMAKE_BINARY_DIR}/quorrin_char2.ini
  DEPENDS ${CMAKE_SOURCE_DIR}/resources/texts/messages.tsv ${CMAKE_SOURCE_DIR}/resources/texts/make_text_file.py
          ${CMAKE_SOURCE_DIR}/settings/message_text.h
  COMMENT "Message text file")
add_custom_target(message_texts ALL DEPENDS ${CMAKE_BINARY_DIR}/quorrin_char2.ini)

# The end-to-end tests' hands: finds Quorrin's windows, posts commands,
# clicks, types, reads texts, answers message boxes and file dialogs.
add_executable(qdriver tests/e2e/driver/driver_win.cpp)
target_link_options(qdriver PRIVATE -static)
target_link_libraries(qdriver PRIVATE user32 gdi32 advapi32)

# Loaded into Quorrin by qdriver's window hook to read its menu bar.
add_library(qhook SHARED tests/e2e/driver/qhook_win.cpp serial/dcb_win.cpp)
set_target_properties(qhook PROPERTIES PREFIX "")
target_include_directories(qhook PRIVATE ${CMAKE_SOURCE_DIR})
target_link_options(qhook PRIVATE -static)
target_link_libraries(qhook PRIVATE user32 gdi32)

# The restart launcher: links nothing of Quorrin (its one portable file is
# compiled in).
add_executable(pivotle WIN32 restart/pivotle_win.cpp restart/pivotle_command.cpp restart/pivotle.rc)
target_include_directories(pivotle PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/resources ${CMAKE_BINARY_DIR})
set_source_files_properties(restart/pivotle.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/resources/version.rc;${CMAKE_BINARY_DIR}/quorrin_version.h;${CMAKE_BINARY_DIR}/pivotle.manifest")
target_compile_options(pivotle PRIVATE -Wall -Wextra)
target_link_options(pivotle PRIVATE ${QUORRIN_WIN_LINK})
target_link_libraries(pivotle PRIVATE shell32 user32 gdi32)
