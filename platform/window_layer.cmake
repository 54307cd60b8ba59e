# The window layer over Qt Widgets: dialogs from templates, owner-drawn buttons, drawing contexts,
# bitmaps, icons, pop-up menus and file dialogs. Built only with the windowed program.
if(QUEMBREL_BUILD_GUI)
  find_package(Qt6 REQUIRED COMPONENTS Widgets)
  add_library(quembrel_platform_ui STATIC
    ${CMAKE_CURRENT_LIST_DIR}/application.cpp
    ${CMAKE_CURRENT_LIST_DIR}/application.h
    ${CMAKE_CURRENT_LIST_DIR}/auto_radio_button.cpp
    ${CMAKE_CURRENT_LIST_DIR}/auto_radio_button.h
    ${CMAKE_CURRENT_LIST_DIR}/button.cpp
    ${CMAKE_CURRENT_LIST_DIR}/button.h
    ${CMAKE_CURRENT_LIST_DIR}/dialog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog.h
    ${CMAKE_CURRENT_LIST_DIR}/dialog_template.h
    ${CMAKE_CURRENT_LIST_DIR}/dialog_units.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_units.h
    ${CMAKE_CURRENT_LIST_DIR}/dialog_window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialog_window.h
    ${CMAKE_CURRENT_LIST_DIR}/draw_context.cpp
    ${CMAKE_CURRENT_LIST_DIR}/draw_context.h
    ${CMAKE_CURRENT_LIST_DIR}/file_picker.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_picker.h
    ${CMAKE_CURRENT_LIST_DIR}/group_frame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/group_frame.h
    ${CMAKE_CURRENT_LIST_DIR}/icon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/icon.h
    ${CMAKE_CURRENT_LIST_DIR}/message.h
    ${CMAKE_CURRENT_LIST_DIR}/message_box.cpp
    ${CMAKE_CURRENT_LIST_DIR}/message_box.h
    ${CMAKE_CURRENT_LIST_DIR}/owner_draw_button.cpp
    ${CMAKE_CURRENT_LIST_DIR}/owner_draw_button.h
    ${CMAKE_CURRENT_LIST_DIR}/popup_menu.cpp
    ${CMAKE_CURRENT_LIST_DIR}/popup_menu.h
    ${CMAKE_CURRENT_LIST_DIR}/raster_image.cpp
    ${CMAKE_CURRENT_LIST_DIR}/raster_image.h
    ${CMAKE_CURRENT_LIST_DIR}/rect.h
    ${CMAKE_CURRENT_LIST_DIR}/repeating_timer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/repeating_timer.h
    ${CMAKE_CURRENT_LIST_DIR}/signal_watcher.cpp
    ${CMAKE_CURRENT_LIST_DIR}/signal_watcher.h
    ${CMAKE_CURRENT_LIST_DIR}/window.cpp
    ${CMAKE_CURRENT_LIST_DIR}/window.h
  )
  set_target_properties(quembrel_platform_ui PROPERTIES AUTOMOC ON)
  target_include_directories(quembrel_platform_ui PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(quembrel_platform_ui PUBLIC Qt6::Widgets)
endif()
