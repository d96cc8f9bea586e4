# The posix thread model gives std::thread and std::mutex; with -static its
# winpthread is linked in, so nothing but system DLLs is needed at run time.
set(CMAKE_C_COMPILER ${KESTREL_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KESTREL_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KESTREL_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${KESTREL_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
