# Windows version information for the deliverables, made from the project's
# version: the file and product version, the description and the original
# file name that a file's properties show.
#
# tessary_version_resource(TARGET DESCRIPTION text)
# Compiles a VERSIONINFO resource for TARGET and links it in. Like the
# plug-in's own resource script, it is compiled to an object directly, so the
# project need not enable the RC language.
set(TESSARY_PRODUCT_NAME "Tessary AI bridge")

function(tessary_version_resource target)
  cmake_parse_arguments(V "" "DESCRIPTION" "" ${ARGN})
  if(NOT V_DESCRIPTION)
    message(FATAL_ERROR "tessary_version_resource(${target}): DESCRIPTION is required")
  endif()
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    set(TESSARY_VERSION_FILETYPE VFT_APP)
  else()
    set(TESSARY_VERSION_FILETYPE VFT_DLL)
  endif()
  set(TESSARY_VERSION_TARGET ${target})
  set(TESSARY_VERSION_DESCRIPTION "${V_DESCRIPTION}")

  # The variables first, then the target's file name (a generator expression).
  set(_dir ${CMAKE_CURRENT_BINARY_DIR}/version)
  set(_stage ${_dir}/${target}.rc.in)
  set(_rc ${_dir}/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${_stage} @ONLY)
  file(GENERATE OUTPUT ${_rc} INPUT ${_stage})

  if(MSVC)
    set(_object ${_dir}/${target}_version.res)
    add_custom_command(
      OUTPUT ${_object}
      COMMAND rc /nologo /fo ${_object} ${_rc}
      DEPENDS ${_rc}
      COMMENT "Compiling the version information of ${target}"
      VERBATIM)
  else()
    if(NOT CMAKE_RC_COMPILER)
      message(FATAL_ERROR "windres is needed for the version information: run scripts/bootstrap.sh")
    endif()
    set(_object ${_dir}/${target}_version.o)
    add_custom_command(
      OUTPUT ${_object}
      COMMAND ${CMAKE_RC_COMPILER} -i ${_rc} -o ${_object}
      DEPENDS ${_rc}
      COMMENT "Compiling the version information of ${target}"
      VERBATIM)
  endif()
  set_source_files_properties(${_object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(${target} PRIVATE ${_object})
endfunction()
