# SPDX-License-Identifier: BSD-2-Clause-Patent
# The host and sanitizer builds compile through ccache when it is installed,
# so a fresh clone on a machine that has built the same sources before (CI,
# a second checkout) takes its objects from the cache instead of compiling
# for minutes. Paths under the checkout are hashed relative to it and the
# build folder is left out of the hash, so clones in different folders share
# entries; a definition that names an absolute path (a library's location)
# still tells them apart. Cached objects keep the debug paths of the clone
# that first built them. The driver images never go through it.
find_program(EC_CCACHE ccache)
if(EC_CCACHE)
  set(CMAKE_CXX_COMPILER_LAUNCHER env CCACHE_BASEDIR=${PROJECT_SOURCE_DIR} CCACHE_NOHASHDIR=true
                                  ${EC_CCACHE})
endif()
