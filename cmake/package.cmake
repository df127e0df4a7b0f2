# hfchain::hfchain: every core library as one archive (libhfchain.a, the same objects as the
# subsystem libraries), so that a program outside the project links it alone, in any order, with
# its headers below include/hfchain (#include "chain/road.hpp" as inside the project).
#   cmake --install <build> --component cpp --prefix DIR
#   find_package(hfchain) with DIR on CMAKE_PREFIX_PATH; target_link_libraries(... hfchain::hfchain)
# Within another project's build (add_subdirectory) the alias hfchain::hfchain is the same target.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)
find_package(Threads REQUIRED)
find_package(PkgConfig REQUIRED)
pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)
pkg_check_modules(SOXR REQUIRED IMPORTED_TARGET soxr)

set(objects)
set(header_dirs)
foreach(library ${hfchain_libraries})
  get_target_property(type ${library} TYPE)
  if(NOT type STREQUAL "INTERFACE_LIBRARY")
    list(APPEND objects $<TARGET_OBJECTS:${library}>)
  endif()
  get_target_property(dir ${library} SOURCE_DIR)
  list(APPEND header_dirs ${dir})
endforeach()
list(REMOVE_DUPLICATES header_dirs)

set(include_dir ${CMAKE_INSTALL_INCLUDEDIR}/hfchain)
add_library(hfchain_package STATIC ${objects})
add_library(hfchain::hfchain ALIAS hfchain_package)
set_target_properties(hfchain_package PROPERTIES OUTPUT_NAME hfchain EXPORT_NAME hfchain)
target_include_directories(hfchain_package INTERFACE $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>
                                                     $<INSTALL_INTERFACE:${include_dir}>)
target_compile_features(hfchain_package INTERFACE cxx_std_20)
# The audio room's objects call libsndfile and libsoxr: a program linking the archive links them
# too (found again by hfchainConfig.cmake).
target_link_libraries(hfchain_package INTERFACE Threads::Threads PkgConfig::SNDFILE PkgConfig::SOXR)
if(HFCHAIN_SANITIZE)
  # Objects built with the sanitizers need their runtimes in every program linking them.
  target_link_options(hfchain_package INTERFACE -fsanitize=address,undefined)
endif()

install(TARGETS hfchain_package EXPORT hfchainTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT cpp)
foreach(dir ${header_dirs})
  file(RELATIVE_PATH relative ${PROJECT_SOURCE_DIR} ${dir})
  install(DIRECTORY ${dir}/ DESTINATION ${include_dir}/${relative} COMPONENT cpp
          FILES_MATCHING PATTERN "*.hpp")
endforeach()

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/hfchain)
install(EXPORT hfchainTargets NAMESPACE hfchain:: DESTINATION ${config_dir} COMPONENT cpp)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/hfchainConfig.cmake.in
                              ${CMAKE_CURRENT_BINARY_DIR}/hfchainConfig.cmake
                              INSTALL_DESTINATION ${config_dir})
# Before 1.0 a minor version may change the interface.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/hfchainConfigVersion.cmake
                                 COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/hfchainConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/hfchainConfigVersion.cmake
        DESTINATION ${config_dir} COMPONENT cpp)
