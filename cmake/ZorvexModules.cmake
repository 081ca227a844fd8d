# Which modules each module may include: dependencies point one way, from
# platform through foundation and the core modules to ui/ and app/, and
# sibling core modules meet only through interfaces that app/ connects.
set(ZORVEX_SEES_platform platform)
set(ZORVEX_SEES_foundation platform foundation)
set(ZORVEX_SEES_service platform service)
# media/ (FFmpeg, the media probe, output names) lies below the two core
# modules that both need it.
set(ZORVEX_SEES_media platform foundation media)
set(ZORVEX_SEES_transcode platform foundation media transcode)
set(ZORVEX_SEES_library platform foundation media library)
set(ZORVEX_SEES_update platform foundation update)
# ui/ is three modules: the toolkit knows no window and no core, the
# windows reach the core only through the session.
set(ZORVEX_SEES_ui/toolkit platform ui/toolkit)
set(ZORVEX_SEES_ui/session platform foundation service media transcode library update ui/session)
set(ZORVEX_SEES_ui/windows ui/toolkit ui/session ui/windows)
set(ZORVEX_SEES_app platform foundation service media transcode library update ui/toolkit ui/session
  ui/windows app)
set(ZORVEX_QT_MODULES ui/toolkit ui/session ui/windows app)

# Makes zorvex_<module> (ui/x: zorvex_ui_x; ui/windows: zorvex_ui) wait for a
# check of its includes, so that a file reaching past its layer (or a core
# module reaching for Qt) fails the build.
function(zorvex_check_includes module)
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/includes_checked")
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/*.h" "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  string(REPLACE ";" "|" allowed "${ZORVEX_SEES_${module}}")
  set(qt OFF)
  if(module IN_LIST ZORVEX_QT_MODULES)
    set(qt ON)
  endif()
  set(script "${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" -DMODULE=${module} "-DDIR=${CMAKE_CURRENT_SOURCE_DIR}"
            "-DALLOWED=${allowed}" -DQT=${qt} "-DSTAMP=${stamp}" -P "${script}"
    DEPENDS ${sources} "${script}" "${PROJECT_SOURCE_DIR}/cmake/ZorvexModules.cmake"
    COMMENT "Checking what ${module}/ includes"
    VERBATIM)
  string(REPLACE "/" "_" target "zorvex_${module}")
  if(target STREQUAL "zorvex_ui_windows")
    set(target zorvex_ui)
  endif()
  add_custom_target(${target}_includes DEPENDS "${stamp}")
  add_dependencies(${target} ${target}_includes)
endfunction()
