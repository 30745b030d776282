# The FLTK backend, for the dialog program on Linux and other X11 systems. Included by
# ui/CMakeLists.txt; builds tiltwise_ui_fltk only when the GUI is wanted and this is not Windows.
if(NOT TILTWISE_GUI OR WIN32)
  return()
endif()

# Debian's FLTKConfig.cmake names library paths that do not exist; a known header directory
# makes FindFLTK search for the libraries itself instead of loading that file.
find_path(FLTK_INCLUDE_DIR FL/Fl.H)
set(FLTK_SKIP_OPENGL ON)
set(FLTK_SKIP_FORMS ON)
set(FLTK_SKIP_IMAGES ON)
set(FLTK_SKIP_FLUID ON)
find_package(FLTK QUIET)
find_package(X11 QUIET)
if(NOT FLTK_FOUND OR NOT FLTK_BASE_LIBRARY OR NOT X11_X11_LIB)
  message(FATAL_ERROR
    "TILTWISE_GUI is ON but FLTK 1.3 (with X11) was not found. Install it (Debian: "
    "libfltk1.3-dev) or configure with -DTILTWISE_GUI=OFF to build without the dialog program.")
endif()
message(STATUS "FLTK backend: ${FLTK_BASE_LIBRARY}")

add_library(tiltwise_ui_fltk OBJECT ${CMAKE_CURRENT_LIST_DIR}/fltk.cc
  ${CMAKE_CURRENT_LIST_DIR}/fltk_message.cc ${CMAKE_CURRENT_LIST_DIR}/fltk_list.cc
  ${CMAKE_CURRENT_LIST_DIR}/fltk_paintlog.cc ${CMAKE_CURRENT_LIST_DIR}/fltk.h)
if(TILTWISE_TEST_HOOKS)
  target_compile_definitions(tiltwise_ui_fltk PRIVATE TILTWISE_TEST_HOOKS)
endif()
target_include_directories(tiltwise_ui_fltk SYSTEM PRIVATE ${FLTK_INCLUDE_DIR} ${X11_INCLUDE_DIR})
# Only what the backend calls: libfltk brings its own dependencies.
target_link_libraries(tiltwise_ui_fltk PUBLIC tiltwise_ui ${FLTK_BASE_LIBRARY} ${X11_X11_LIB})

if(TILTWISE_TESTS)
  # The cases skip in a plain run; the gui entry runs them on a private X server.
  tiltwise_add_test(tiltwise_ui_fltk_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/fltk_live_test.cc ${CMAKE_CURRENT_LIST_DIR}/fltk_list_live_test.cc
    LIBS tiltwise_ui_fltk tiltwise_res tiltwise_ui ${FLTK_BASE_LIBRARY})
  target_include_directories(tiltwise_ui_fltk_test SYSTEM PRIVATE ${FLTK_INCLUDE_DIR})
  add_test(NAME tiltwise_ui_fltk_live
           COMMAND env TILTWISE_FLTK_LIVE=1 bash ${PROJECT_SOURCE_DIR}/scripts/with-xvfb.sh 120
                   $<TARGET_FILE:tiltwise_ui_fltk_test> --gtest_filter=FltkLive*)
  set_tests_properties(tiltwise_ui_fltk_live PROPERTIES
    LABELS gui SKIP_RETURN_CODE 77 TIMEOUT 180)
endif()
