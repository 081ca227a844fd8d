# Which modules each module may include: dependencies point one way, from
# platform through foundation and the core modules to ui/ and app/, and
# sibling core modules meet only through interfaces that app/ connects.
set(ZORVEX_SEES_platform platform)
set(ZORVEX_SEES_foundation platform foundation)
set(ZORVEX_SEES_service platform service)
set(ZORVEX_SEES_transcode platform foundation transcode)
set(ZORVEX_SEES_library platform foundation transcode library)
set(ZORVEX_SEES_update platform foundation update)
set(ZORVEX_SEES_ui platform foundation service transcode library update ui)
set(ZORVEX_SEES_app platform foundation service transcode library update ui app)
set(ZORVEX_QT_MODULES ui app)

# Makes zorvex_<module> wait for a check of its includes, so that a file
# reaching past its layer (or a core module reaching for Qt) fails the build.
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
  add_custom_target(zorvex_${module}_includes DEPENDS "${stamp}")
  add_dependencies(zorvex_${module} zorvex_${module}_includes)
endfunction()
