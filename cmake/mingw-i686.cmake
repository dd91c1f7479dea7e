# The Windows programs as they ship: 32-bit (i686).
set(KEL_MINGW_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
