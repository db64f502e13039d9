# Builds that do not depend on the folders they are made in: the source and
# build folders are written as relative paths into the debugging information
# and wherever __FILE__ is used. The times the tools write follow
# SOURCE_DATE_EPOCH, which the Makefile sets from the last commit: the PE
# header's (ld and strip) and those of the Debian package's files (CPack).
# The last map that matches wins, and the build folder may lie in the source.
if(NOT MSVC)
  add_compile_options(
    "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
    "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
endif()
