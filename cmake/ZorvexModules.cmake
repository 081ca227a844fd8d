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
# The front: the decisions both faces make over the core, without a toolkit.
set(ZORVEX_SEES_front platform foundation service media transcode library update front)
# ui/ is three modules: the toolkit knows no window and no core but the
# foundation's shared texts (the toast's); the windows reach the core only
# through the session, which posts to the GUI thread by the toolkit's executor.
set(ZORVEX_SEES_ui/toolkit platform foundation ui/toolkit)
set(ZORVEX_SEES_ui/session platform foundation update front ui/toolkit ui/session)
set(ZORVEX_SEES_ui/windows ui/toolkit ui/session ui/windows)
set(ZORVEX_SEES_app platform foundation service media transcode library update front ui/toolkit
  ui/session ui/windows app)
set(ZORVEX_QT_MODULES ui/toolkit ui/session ui/windows app)

# What a module's headers may include, where that is less than its .cpp
# files may: a header passes its includes on to every file that includes
# it. Unset, a module's headers see what its sources see.
# The session's headers offer the windows the front's value types alone, so
# that no window reaches the core through them.
set(ZORVEX_HEADERS_SEE_ui/session front ui/toolkit ui/session)

# Makes zorvex_<module> (ui/x: zorvex_ui_x; ui/windows: zorvex_ui) wait for a
# check of its includes, so that a file reaching past its layer (or a core
# module reaching for Qt) fails the build.
function(zorvex_check_includes module)
  set(stamp "${CMAKE_CURRENT_BINARY_DIR}/includes_checked")
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS
    "${CMAKE_CURRENT_SOURCE_DIR}/*.h" "${CMAKE_CURRENT_SOURCE_DIR}/*.cpp")
  string(REPLACE ";" "|" allowed "${ZORVEX_SEES_${module}}")
  if(DEFINED ZORVEX_HEADERS_SEE_${module})
    string(REPLACE ";" "|" headersAllowed "${ZORVEX_HEADERS_SEE_${module}}")
  else()
    set(headersAllowed "${allowed}")
  endif()
  set(qt OFF)
  if(module IN_LIST ZORVEX_QT_MODULES)
    set(qt ON)
  endif()
  set(script "${PROJECT_SOURCE_DIR}/cmake/check_includes.cmake")
  add_custom_command(OUTPUT "${stamp}"
    COMMAND "${CMAKE_COMMAND}" -DMODULE=${module} "-DDIR=${CMAKE_CURRENT_SOURCE_DIR}"
            "-DALLOWED=${allowed}" "-DHEADERS_ALLOWED=${headersAllowed}" -DQT=${qt}
            "-DSTAMP=${stamp}" -P "${script}"
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
