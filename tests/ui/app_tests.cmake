# Tests of the panels and the application shell, headless with the scripted sound layer.
set(quembrel_app_test_libs quembrel_ui quembrel_sound PkgConfig::SNDFILE Qt6::Test)

quembrel_add_test(NAME ui_synth_panel_test SOURCES synth_panel_test.cpp
                  LIBS ${quembrel_app_test_libs} LABELS unit)
quembrel_add_test(NAME ui_riff_panel_test SOURCES riff_panel_test.cpp
                  LIBS ${quembrel_app_test_libs} LABELS unit)
quembrel_add_test(NAME ui_computer_keyboard_test SOURCES computer_keyboard_test.cpp
                  LIBS quembrel_ui Qt6::Test LABELS unit)

quembrel_add_test(NAME ui_synth_app_test SOURCES synth_app_test.cpp
                  LIBS ${quembrel_app_test_libs} LABELS unit)
target_compile_definitions(ui_synth_app_test PRIVATE QUEMBREL_PROGRAM="$<TARGET_FILE:quembrel>")
add_dependencies(ui_synth_app_test quembrel)

quembrel_add_test(NAME ui_recording_test SOURCES recording_test.cpp
                  LIBS ${quembrel_app_test_libs} LABELS unit)
target_compile_definitions(ui_recording_test PRIVATE QUEMBREL_RENDER="$<TARGET_FILE:quembrel-render>")
add_dependencies(ui_recording_test quembrel-render)

set(quembrel_shot_dir ${CMAKE_BINARY_DIR}/artifacts/screenshots)
quembrel_add_test(NAME ui_screenshot_test SOURCES screenshot_test.cpp
                  LIBS ${quembrel_app_test_libs} LABELS unit)
target_compile_definitions(ui_screenshot_test PRIVATE QUEMBREL_ARTIFACT_DIR="${quembrel_shot_dir}")

# The panel tests compare the bank menus with the bank's texts, and load the converted files.
foreach(test ui_synth_panel_test ui_riff_panel_test)
  add_dependencies(${test} quembrel_bank_files)
  target_compile_definitions(${test} PRIVATE QUEMBREL_BANK_SOURCE="${PROJECT_SOURCE_DIR}/bank")
endforeach()

quembrel_add_test(NAME ui_quit_signal_test SOURCES quit_signal_test.cpp
                  LIBS ${quembrel_app_test_libs} LABELS unit)

quembrel_add_test(NAME ui_file_failure_test SOURCES file_failure_test.cpp
                  LIBS ${quembrel_app_test_libs} LABELS unit)
