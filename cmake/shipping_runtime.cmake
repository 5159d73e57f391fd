# The programs that ship (Setup.exe, the uninstaller, dsetup.dll) link the C++
# runtime of mingw-w64's win32 thread model. The posix model's runtime rests
# on winpthread, which imports GetTickCount64 (Vista and later) and so keeps
# a program from loading on XP; every C++ program pulls it in (static guards,
# the exception allocator). The code is compiled once, with the posix
# compiler, because the tests and the package writer use std::thread; the
# shipping programs start no threads, and a posix-only runtime function they
# came to use would fail their link (or the XP import test).
if(NOT WIN32)
  return()
endif()
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++.a
                OUTPUT_VARIABLE _posix_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_posix_runtime_dir "${_posix_libstdcxx}" DIRECTORY)
string(REGEX REPLACE "-posix$" "-win32" DISC_WIN32_RUNTIME_DIR "${_posix_runtime_dir}")
if(DISC_WIN32_RUNTIME_DIR STREQUAL _posix_runtime_dir OR NOT EXISTS "${DISC_WIN32_RUNTIME_DIR}/libstdc++.a")
  message(FATAL_ERROR "no win32 thread model runtime beside ${_posix_runtime_dir} "
                      "(Debian's g++-mingw-w64-*-win32 packages install it)")
endif()

# Release builds of the Windows programs are optimised for size (-Os halves
# the code of -O3); the 64-bit build the tests run is made the same way, so
# that they test the code that ships.
set(CMAKE_C_FLAGS_RELEASE "-Os -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-Os -DNDEBUG")

# Every function and datum in a section of its own, so that the shipping
# programs keep only what they reach (much of the core library serves the
# tools and tests alone).
add_compile_options(-ffunction-sections -fdata-sections)

# -B puts the win32 model's libstdc++, libgcc and libgcc_eh first on the
# library path; winpthread stays on the link line but nothing asks for it.
# Release programs go out stripped: the DWARF sections come from the static
# runtime libraries and would double the files.
function(disc_shipping_program target)
  target_link_options(${target} PRIVATE "-B${DISC_WIN32_RUNTIME_DIR}/" -Wl,--gc-sections
                      $<$<CONFIG:Release,MinSizeRel>:-s>)
endfunction()

# The manifest a program carries (resources/program.manifest.in): common
# controls 6 for visual styles, every Windows version from Vista to 11 as
# supported (so that version queries tell the truth on 8.1 and later), DPI
# awareness, and the UAC level, so that no file depends on the installer
# detection's guess from its name. disctool project build gives Setup.exe the
# project's level; the runtime as built runs as the invoker (without a
# project it installs nothing).
function(disc_program_manifest target name level)
  set(DISC_PROGRAM_NAME ${name})
  set(DISC_EXECUTION_LEVEL ${level})
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${name}.manifest)
  configure_file(${PROJECT_SOURCE_DIR}/resources/program.manifest.in ${manifest} @ONLY)
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${name}_manifest.rc)
  file(WRITE ${rc} "1 24 \"${manifest}\"\n")
  target_sources(${target} PRIVATE ${rc})
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest})
endfunction()
