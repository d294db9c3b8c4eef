# tandem_utf8_program(target): gives a Windows program the manifest of
# platform/utf8_program.manifest (UTF-8 active code page, long paths). Does
# nothing elsewhere, so any program may call it unconditionally.
if(WIN32)
  enable_language(RC)
  set(TANDEM_UTF8_PROGRAM_RC ${CMAKE_BINARY_DIR}/utf8_program.rc)
  file(CONFIGURE OUTPUT ${TANDEM_UTF8_PROGRAM_RC}
       CONTENT "1 24 \"${PROJECT_SOURCE_DIR}/platform/utf8_program.manifest\"\n")
endif()

function(tandem_utf8_program target)
  if(WIN32)
    target_sources(${target} PRIVATE ${TANDEM_UTF8_PROGRAM_RC})
  endif()
endfunction()
