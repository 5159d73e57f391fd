# libbz2: Debian's library on the host; compiled from Debian's source package
# for the Windows builds, so that every Windows program links it statically.
if(WIN32)
  if(NOT BZIP2_SOURCE_DIR OR NOT EXISTS "${BZIP2_SOURCE_DIR}/bzlib.c")
    message(FATAL_ERROR "BZIP2_SOURCE_DIR must name the unpacked bzip2 sources (./run fetches them)")
  endif()
  add_library(bz2 STATIC
    ${BZIP2_SOURCE_DIR}/blocksort.c ${BZIP2_SOURCE_DIR}/huffman.c ${BZIP2_SOURCE_DIR}/crctable.c
    ${BZIP2_SOURCE_DIR}/randtable.c ${BZIP2_SOURCE_DIR}/compress.c ${BZIP2_SOURCE_DIR}/decompress.c
    ${BZIP2_SOURCE_DIR}/bzlib.c)
  target_include_directories(bz2 SYSTEM PUBLIC ${BZIP2_SOURCE_DIR})
  target_compile_options(bz2 PRIVATE -w)
  add_library(BZip2::BZip2 ALIAS bz2)
else()
  find_package(BZip2 REQUIRED)
endif()
