# Module resources: umbra_add_resources(<target> LIST <resource list>) compiles the files a
# resource list names into <target>, where FindResourceW(GetModuleHandleW(NULL), ...) finds
# them. The list format is described at the top of tools/rescomp/main.cpp. The generated
# source is rebuilt whenever the list or one of its files changes.
set(UMBRA_PLATFORM_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../platform)

function(umbra_add_resources target)
  cmake_parse_arguments(ARG "" "LIST" "" ${ARGN})
  if(NOT ARG_LIST)
    message(FATAL_ERROR "umbra_add_resources(${target}): LIST is required")
  endif()
  get_filename_component(list ${ARG_LIST} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND umbra_rescomp ${list} ${out} ${out}.d
    DEPENDS umbra_rescomp ${list}
    DEPFILE ${out}.d
    COMMENT "Embedding the resources of ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${out})
  # The generated source registers its table through the stand-in's internal header.
  set_source_files_properties(${out} PROPERTIES INCLUDE_DIRECTORIES ${UMBRA_PLATFORM_SOURCE_DIR})
endfunction()
