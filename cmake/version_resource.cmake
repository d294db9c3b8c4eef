# tandem_add_version_resource(<target> "<description>"): gives a Windows
# binary the version resource Explorer and installers show (file and product
# version from project(), product name, description, original file name).
# Does nothing elsewhere.
if(WIN32)
  enable_language(RC)
endif()

function(tandem_add_version_resource target description)
  if(NOT WIN32)
    return()
  endif()
  set(stage ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc.in)
  set(resource ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${stage} @ONLY)
  # The file name is known only at generation time.
  file(GENERATE OUTPUT ${resource} INPUT ${stage})
  target_sources(${target} PRIVATE ${resource})
endfunction()
