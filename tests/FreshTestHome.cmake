# The tests' home, empty at the start of a ctest run (tests/CMakeLists.txt): what an earlier run
# left there (a font cache, a file a test made) goes. Its runtime folder is the user's alone, as
# the XDG specification asks and the toolkit checks.
if(NOT HOME)
    message(FATAL_ERROR "FreshTestHome.cmake: give -D HOME=<folder>")
endif()
file(REMOVE_RECURSE "${HOME}")
file(MAKE_DIRECTORY "${HOME}/runtime")
file(CHMOD "${HOME}/runtime" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
