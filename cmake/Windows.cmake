# Cross builds for Windows (cmake/mingw-i686.cmake, cmake/mingw-x86_64.cmake). The engine is not
# built here: feed.dll imports its five functions from TARN.dll through an import library made
# from engine/tarn.def, and feed.dll exports by ordinal only, as listed in feed/feed.def.

# feed.dll, the test engine's TARN.dll and the test programs side by side, so that the
# programs find both DLLs at run time.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)

if(NOT CMAKE_DLLTOOL)
  find_program(CMAKE_DLLTOOL NAMES ${FEED_MINGW_TRIPLET}-dlltool dlltool REQUIRED)
endif()

# The .def files name the 32-bit __stdcall symbols (Name@bytes); the 64-bit ones carry no
# suffix. Writes the list for this build to output (only when it changed).
function(feed_windows_def source output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
  file(READ ${source} text)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    string(REGEX REPLACE "([A-Za-z_][A-Za-z0-9_]*)@[0-9]+" "\\1" text "${text}")
  endif()
  if(EXISTS ${output})
    file(READ ${output} old)
    if(old STREQUAL text)
      return()
    endif()
  endif()
  file(WRITE ${output} "${text}")
endfunction()

set(FEED_DEF_FILE ${PROJECT_BINARY_DIR}/def/feed.def)
set(FEED_TARN_DEF_FILE ${PROJECT_BINARY_DIR}/def/tarn.def)
feed_windows_def(${PROJECT_SOURCE_DIR}/feed/feed.def ${FEED_DEF_FILE})
feed_windows_def(${PROJECT_SOURCE_DIR}/engine/tarn.def ${FEED_TARN_DEF_FILE})

# The engine as the library links it: the import library of TARN.dll, under the engine
# library's own target name.
set(FEED_TARN_IMPORT_LIB ${PROJECT_BINARY_DIR}/def/libtarn.dll.a)
add_custom_command(OUTPUT ${FEED_TARN_IMPORT_LIB}
  COMMAND ${CMAKE_DLLTOOL} --input-def ${FEED_TARN_DEF_FILE} --dllname TARN.dll
          --output-lib ${FEED_TARN_IMPORT_LIB}
  DEPENDS ${FEED_TARN_DEF_FILE}
  COMMENT "Import library for TARN.dll"
  VERBATIM
)
add_custom_target(tarn_import_library DEPENDS ${FEED_TARN_IMPORT_LIB})
add_library(tarn SHARED IMPORTED GLOBAL)
set_target_properties(tarn PROPERTIES IMPORTED_IMPLIB ${FEED_TARN_IMPORT_LIB})
add_dependencies(tarn tarn_import_library)
