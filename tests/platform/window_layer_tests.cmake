# Tests of the window layer, headless on Qt's offscreen platform.
if(QUEMBREL_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
  quembrel_add_test(NAME platform_dialog_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialog_test.cpp
    LIBS quembrel_platform_ui Qt6::Test LABELS unit)
  quembrel_add_test(NAME platform_owner_draw_button_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/owner_draw_button_test.cpp
    LIBS quembrel_platform_ui Qt6::Test LABELS unit)
  quembrel_add_test(NAME platform_draw_context_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/draw_context_test.cpp
    LIBS quembrel_platform_ui LABELS unit)
  quembrel_add_test(NAME platform_file_picker_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/file_picker_test.cpp
    LIBS quembrel_platform_ui LABELS unit)
  quembrel_add_test(NAME platform_popup_menu_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/popup_menu_test.cpp
    LIBS quembrel_platform_ui Qt6::Test LABELS unit)
endif()
