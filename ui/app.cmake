# The panels and the application shell on top of the knob, and the quembrel program with what a
# Linux desktop needs to list it: the program, its menu entry and its icon in several sizes.
add_library(quembrel_app STATIC
  ${CMAKE_CURRENT_LIST_DIR}/about_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/about_box.h
  ${CMAKE_CURRENT_LIST_DIR}/bank_menu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bank_menu.h
  ${CMAKE_CURRENT_LIST_DIR}/computer_keyboard.cpp
  ${CMAKE_CURRENT_LIST_DIR}/computer_keyboard.h
  ${CMAKE_CURRENT_LIST_DIR}/file_failure_text.h
  ${CMAKE_CURRENT_LIST_DIR}/knob_param.h
  ${CMAKE_CURRENT_LIST_DIR}/resources.h
  ${CMAKE_CURRENT_LIST_DIR}/riff_panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/riff_panel.h
  ${CMAKE_CURRENT_LIST_DIR}/synth_app.cpp
  ${CMAKE_CURRENT_LIST_DIR}/synth_app.h
  ${CMAKE_CURRENT_LIST_DIR}/synth_panel.cpp
  ${CMAKE_CURRENT_LIST_DIR}/synth_panel.h
)
target_include_directories(quembrel_app PUBLIC ${PROJECT_SOURCE_DIR})
# Qt's keyword macros would rewrite engine identifiers such as a field named `slots`.
target_compile_definitions(quembrel_app PUBLIC QT_NO_KEYWORDS)
target_link_libraries(quembrel_app PUBLIC quembrel_ui quembrel_bank quembrel_output_switch quembrel_audio_stream quembrel_output
                      quembrel_platform_midi quembrel_sequencer quembrel_engine)

add_executable(quembrel ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(quembrel PRIVATE quembrel_app)
# Run from the build tree, the program finds the bank beside it in build/share/quembrel.
add_dependencies(quembrel quembrel_bank_files)

install(TARGETS quembrel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_LIST_DIR}/quembrel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
foreach(size 16 24 32 48 64 128 256)
  install(FILES ${CMAKE_CURRENT_BINARY_DIR}/resources/icon_${size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps RENAME quembrel.png)
endforeach()
