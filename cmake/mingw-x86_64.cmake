# The Windows programs built for x86-64: a test build for machines that cannot
# run 32-bit programs (64-bit wine), from the same sources.
set(KEL_MINGW_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
