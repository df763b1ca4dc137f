# SPDX-License-Identifier: BSD-2-Clause-Patent
# Host build: the driver sources compiled with the platform seam bound to the
# simulated platform, the simulator itself, tools and tests.
set(EC_HOST_WARNINGS -Wall -Wextra -Werror)
include(cmake/compiler_cache.cmake)

find_package(GTest REQUIRED)
enable_testing()
include(GoogleTest)

# Driver sources as host libraries; their port and boot-flash accesses go to
# whichever simulated platform is active.
add_library(ec_common_host STATIC ${EC_COMMON_SOURCES})
add_library(ec_updater_host STATIC ${EC_UPDATER_SOURCES})
add_library(ec_guard_host STATIC ${EC_GUARD_SOURCES})
target_link_libraries(ec_updater_host PUBLIC ec_common_host ec_sim_binding)
target_link_libraries(ec_guard_host PUBLIC ec_common_host ec_sim_binding)
foreach(lib ec_common_host ec_updater_host ec_guard_host)
  target_include_directories(${lib} PUBLIC ${EC_FIRMWARE_DIR} ${PROJECT_SOURCE_DIR})
  target_compile_options(${lib} PRIVATE ${EC_HOST_WARNINGS})
endforeach()

add_subdirectory(sim)
add_subdirectory(tests)
add_subdirectory(tools)
